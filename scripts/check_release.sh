#!/usr/bin/env bash
# The release check of `make test-wheel`: the x86_64 manylinux wheel, built as
# a release is built (scripts/release_wheel.sh), smoke-tested alone in a clean
# venv from outside the tree and compared with the project build bit for bit;
# then the sdist: its file list, the one-line stop without nlohmann/json, a pip
# build with build isolation and the same smoke test; then the metadata of both.
# The aarch64 wheel has its own check (scripts/check_wheel_aarch64.sh).
#
# usage: QUORVEL_ZIG=ZIG PY=PYTHON scripts/check_release.sh
#   ZIG     the pinned zig binary (mk/wheel.mk installs it)
#   PYTHON  the project venv's python, with the module, auditwheel, build and mypy
set -euo pipefail
source "$(dirname "$0")/release_lib.sh"

sdist_check=build/sdist-check
json_hint="quorvel_torso_kinematics needs the nlohmann/json 3 headers: install nlohmann-json3-dev (Debian/Ubuntu) or json-devel (Fedora)"

mkdir -p dist "$wheel_smoke" "$sdist_check" && rm -rf dist/quorvel_torso_kinematics-*.tar.gz
scripts/release_wheel.sh x86_64
wheel=$(echo dist/quorvel_torso_kinematics-*_x86_64.whl)

# The smoke venv gets the wheel and the project venv's NumPy version, nothing else.
new_venv "$wheel_smoke/venv"
"$py" -m pip --python "$wheel_smoke/venv/bin/python" install -q "$wheel" \
  "numpy==$("$py" -c 'import numpy; print(numpy.__version__)')" \
  >"$wheel_smoke/install.log" 2>&1 || { cat "$wheel_smoke/install.log"; echo "wheel: install into the clean venv failed"; exit 1; }
run_outside "$root/$wheel_smoke/venv/bin/python" -I "$root/tests/wheel/smoke.py" "$root/$wheel" "$py_abs"
# The inputs are kept for builds on other CPUs (scripts/check_wheel_aarch64.sh).
"$py" tests/wheel/results_dump.py "$wheel_smoke/results.project" --save-inputs "$wheel_smoke/inputs.pickle" >/dev/null
counted=$("$wheel_smoke/venv/bin/python" -I tests/wheel/results_dump.py "$wheel_smoke/results.wheel" \
  --load-inputs "$wheel_smoke/inputs.pickle")
# Every number bit for bit (0 ulp). A NaN's sign may differ: which operand's NaN an operation passes on is
# the compiler's choice of operand order (zig's clang here, g++ there), not a different result.
"$py" tests/wheel/results_compare.py "$wheel_smoke/results.project" "$wheel_smoke/results.wheel" \
  --label "wheel: against the project build" --ulp 0 --abs 0 || { echo "wheel: results differ from the project build"; exit 1; }
echo "wheel: results equal to the project build's bit for bit, NaN signs aside: $counted"
# Here rather than in the aarch64 check, so that `make test` runs them.
"$py" -m pytest -q -p no:cacheprovider tests/wheel/test_results_compare.py >"$wheel_smoke/compare-test.log" 2>&1 \
  || { cat "$wheel_smoke/compare-test.log"; echo "wheel: the results comparer fails its tests"; exit 1; }
echo "wheel: results comparer (other CPUs' wheels): $(tail -n 1 "$wheel_smoke/compare-test.log")"

"$py" -m build --sdist --no-isolation -o dist . >"$sdist_check/sdist.log" 2>&1 \
  || { cat "$sdist_check/sdist.log"; echo "sdist: python -m build --sdist failed"; exit 1; }
sdists=(dist/quorvel_torso_kinematics-*.tar.gz)
sdist=${sdists[0]}
"$py" tests/wheel/check_sdist.py "$sdist" .
rm -rf "$sdist_check/src" && mkdir -p "$sdist_check/src" && tar -xzf "$sdist" -C "$sdist_check/src"
rm -rf "$sdist_check/no-json"
if cmake -S "$sdist_check"/src/quorvel_torso_kinematics-* -B "$sdist_check/no-json" \
  -DCMAKE_DISABLE_FIND_PACKAGE_nlohmann_json=TRUE >"$sdist_check/no-json.log" 2>&1; then
  echo "sdist: configured although nlohmann/json was hidden"; exit 1
fi
grep -qFx "   $json_hint" "$sdist_check/no-json.log" \
  || { cat "$sdist_check/no-json.log"; echo "sdist: without nlohmann/json the configure did not stop with the one-line hint"; exit 1; }
echo "sdist: without nlohmann/json the configure stops with one line: $json_hint"

# As a user's pip does it: build isolation, dependencies from the index.
# pip keeps the wheels it builds; the log must show that this run built one.
new_venv "$sdist_check/venv"
"$py" -m pip cache remove quorvel_torso_kinematics >/dev/null 2>&1 || true
"$py" -m pip --python "$sdist_check/venv/bin/python" install -v "$sdist" >"$sdist_check/install.log" 2>&1 \
  || { tail -n 60 "$sdist_check/install.log"; echo "sdist: pip install of the sdist failed"; exit 1; }
grep -q "Building wheel for quorvel_torso_kinematics" "$sdist_check/install.log" \
  || { echo "sdist: pip installed without building the sdist (see $sdist_check/install.log)"; exit 1; }
run_outside "$root/$sdist_check/venv/bin/python" -I "$root/tests/wheel/smoke.py" "$root/$sdist" "$py_abs" \
  | sed 's/^wheel smoke: /sdist build and smoke: /'
"$py" tests/wheel/check_metadata.py "$wheel" "$sdist"
