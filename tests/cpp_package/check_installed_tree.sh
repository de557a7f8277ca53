#!/usr/bin/env bash
# Checks an installed C++ package prefix for what a consumer must and must not
# find there. Usage: check_installed_tree.sh PREFIX
set -euo pipefail
prefix=${1:?usage: check_installed_tree.sh PREFIX}
inc="$prefix/include/quorvel"
cfg="$prefix/lib/cmake/quorvel_torso_kinematics"
faults=()

for f in "$prefix/lib/libquorvel_core.a" "$cfg/quorvel_torso_kinematicsConfig.cmake" \
         "$cfg/quorvel_torso_kinematicsConfigVersion.cmake" "$cfg/quorvel_torso_kinematicsTargets.cmake" \
         "$inc/arm/forward_kinematics.hpp" "$inc/arm/inverse_solvers.hpp" \
         "$inc/neck/neck_kinematics.hpp" "$inc/geometry_doc/geometry_document.hpp"; do
  [ -f "$f" ] || faults+=("missing ${f#"$prefix"/}")
done

# Every header under the project's own directory, where no other package's
# linalg/ or arm/ can collide with it.
while IFS= read -r h; do
  faults+=("header outside include/quorvel/: ${h#"$prefix"/}")
done < <(find "$prefix" -type f \( -name '*.hpp' -o -name '*.h' \) ! -path "$inc/*" -print)

# Consumers get include/ on their path, never include/quorvel itself (its
# arm/ and linalg/ would then be top-level names again).
dirs=$(sed -n 's/^ *INTERFACE_INCLUDE_DIRECTORIES "\(.*\)"$/\1/p' "$cfg/quorvel_torso_kinematicsTargets.cmake" 2>/dev/null)
[ "$dirs" = '${_IMPORT_PREFIX}/include' ] \
  || faults+=("the exported core's include path is '$dirs', not '\${_IMPORT_PREFIX}/include'")

# Each header compiles on its own with only include/ on the path: its
# includes of the others resolve inside the installed tree, and none needs a
# header that stayed private.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
while IFS= read -r h; do
  printf '#include <quorvel/%s>\n' "${h#"$inc"/}" >"$scratch/use.cpp"
  "${CXX:-c++}" -std=c++17 -fsyntax-only -I "$prefix/include" "$scratch/use.cpp" >"$scratch/err" 2>&1 \
    || faults+=("${h#"$prefix"/} does not compile on its own: $(grep -m1 'error' "$scratch/err")")
done < <(find "$inc" -name '*.hpp' 2>/dev/null | sort)

# A consumer has neither the JSON library nor Python; a header needing either
# would break its build.
while IFS= read -r h; do
  faults+=("installed header needs nlohmann or Python: ${h#"$prefix"/}")
done < <(grep -rlE '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"](nlohmann/|Python\.h|pybind11/)' "$prefix" || true)

# The extension module and its stubs belong to the wheel only.
while IFS= read -r f; do
  faults+=("Python or shared-library file in the C++ package: ${f#"$prefix"/}")
done < <(find "$prefix" \( -name '*.so' -o -name '*.so.*' -o -name '*.pyi' -o -name '*.py' \) -print)

# The headers' inline formulas must be compiled without contraction in the consumer too.
grep -q 'INTERFACE_COMPILE_OPTIONS "[^"]*-ffp-contract=off' "$cfg/quorvel_torso_kinematicsTargets.cmake" 2>/dev/null \
  || faults+=("the exported core does not pass -ffp-contract=off to its consumers")

if ((${#faults[@]})); then
  printf 'installed tree %s:\n' "$prefix" >&2
  printf '  %s\n' "${faults[@]}" >&2
  exit 1
fi
echo "$(find "$inc" -name '*.hpp' | wc -l)"
