#!/usr/bin/env bash
# The aarch64 wheel, built (scripts/release_wheel.sh) and run for real under
# qemu-user with the Python 3.13 and NumPy of a Debian 13 arm64 tree
# (scripts/emulated_tree.sh): smoke-tested like the x86_64 wheel, then its
# results on the inputs the x86_64 wheel was called on compared with that
# wheel's: every call must agree within 4 ulp or 1e-15, booleans, shapes and
# exceptions exactly. Needs `make test-wheel` to have run (its results).
#
# usage: QUORVEL_ZIG=ZIG PY=PYTHON scripts/check_wheel_aarch64.sh
set -euo pipefail
source "$(dirname "$0")/release_lib.sh"

check=build/wheel-aarch64
for kept in results.wheel inputs.pickle; do
  [ -f "$wheel_smoke/$kept" ] || { echo "aarch64: no $wheel_smoke/$kept: run make test-wheel first"; exit 1; }
done
scripts/release_wheel.sh aarch64
wheel=$(echo dist/quorvel_torso_kinematics-*_aarch64.whl)
tree=$(scripts/emulated_tree.sh)
# Each arm64 program finds the tree's loader and libraries through this, those
# started by another (the smoke test's interpreter, mypy's probe) as well: the
# kernel hands them to qemu through binfmt_misc, environment and all.
export QEMU_LD_PREFIX=$tree

# A venv over the tree's own interpreter that sees the tree's NumPy. pip runs
# here, not under emulation (two minutes there): told the target's tags, it
# still refuses a wheel that does not fit cp313 on manylinux_2_17_aarch64.
new_venv "$check/venv" "$tree/usr/bin/python3.13" --system-site-packages
site=$check/venv/lib/python3.13/site-packages
"$py" -m pip install -q --no-index --no-deps --only-binary=:all: --platform manylinux_2_17_aarch64 \
  --python-version 3.13 --implementation cp --abi cp313 --target "$site" "$wheel" \
  >"$check/install.log" 2>&1 || { cat "$check/install.log"; echo "aarch64: install into the tree's venv failed"; exit 1; }
run_outside "$root/$check/venv/bin/python" -I "$root/tests/wheel/smoke.py" "$root/$wheel" "$py_abs" \
  | sed 's/^wheel smoke: /aarch64 smoke (qemu): /; s/in a clean venv$/in a venv over the Debian arm64 tree/'

# Pickled unencoded: encoding the results is most of a run's time under emulation.
"$check/venv/bin/python" -I tests/wheel/results_dump.py "$check/results.pickle" \
  --load-inputs "$wheel_smoke/inputs.pickle" >/dev/null
"$py" tests/wheel/results_compare.py "$wheel_smoke/results.wheel" "$check/results.pickle" \
  --label "aarch64: results against the x86_64 wheel"
