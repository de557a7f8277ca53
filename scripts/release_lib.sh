# Sourced by the release scripts: runs from the repository root with the
# project venv's python (PY, with the module, auditwheel, build and mypy) and
# the pinned zig (QUORVEL_ZIG); mk/wheel.mk sets both.
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root=$PWD
py=${PY:?set PY to the project venv python (make test-wheel does)}
py_abs=$(realpath -s "$py")
venv_bin=$(dirname "$py_abs")
export QUORVEL_ZIG=${QUORVEL_ZIG:?set QUORVEL_ZIG to the pinned zig binary (make test-wheel does)}

# The x86_64 wheel's smoke directory also holds the inputs and results every
# other build is compared with.
wheel_smoke=build/wheel-smoke

# A fresh venv without pip (`pip --python` installs into it): new_venv DIR [BASE_PYTHON [VENV_OPTION...]].
# The base interpreter is the one the project venv was made from unless one is named.
new_venv() {
  local dir=$1 base=${2:-}
  [ -n "$base" ] || base=$("$py" -c 'import sys; print(sys._base_executable)')
  rm -rf "$dir" && "$base" -m venv --without-pip "${@:3}" "$dir"
}

# Runs a command from an empty directory outside the tree, removed afterwards.
run_outside() {
  local outside status=0
  outside=$(mktemp -d)
  (cd "$outside" && "$@") || status=$?
  rm -rf "$outside"
  return "$status"
}
