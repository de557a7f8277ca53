#!/usr/bin/env bash
# Configures, builds and runs examples/cpp in BUILD_DIR against the installed
# package in PREFIX, and checks the package was found in PREFIX and nowhere
# else. Quiet on success; logs on failure. Usage: run_example.sh BUILD_DIR PREFIX
set -euo pipefail
build=${1:?usage: run_example.sh BUILD_DIR PREFIX}
prefix=$(realpath "${2:?usage: run_example.sh BUILD_DIR PREFIX}")
cd "$(dirname "$0")/../.."

rm -rf "$build"
cmake -S examples/cpp -B "$build" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
found=$(sed -n 's/^quorvel_torso_kinematics_DIR:PATH=//p' "$build/CMakeCache.txt")
if [ "$found" != "$prefix/lib/cmake/quorvel_torso_kinematics" ]; then
  echo "run_example: the package was found at '$found', not in $prefix" >&2
  exit 1
fi
cmake --build "$build" -j2 >"$build/build.log" 2>&1 || { cat "$build/build.log"; exit 1; }
"$build/quorvel_cpp_example" >"$build/run.log" 2>&1 || { cat "$build/run.log"; exit 1; }
