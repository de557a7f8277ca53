# The aarch64 release wheel, built on an x86_64 machine: zig's clang and libc++
# for aarch64 against glibc 2.17 (scripts/zig_cxx.sh; scripts/release_wheel.sh
# sets QUORVEL_ZIG_TARGET). Told it is cross-compiling, FindPython asks the
# target's own interpreter, through CMAKE_CROSSCOMPILING_EMULATOR, for what it
# would otherwise take from this machine's python, the module suffix first
# (policy CMP0190, which release_wheel.sh sets: here it would come too late).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_CXX_COMPILER "${CMAKE_CURRENT_LIST_DIR}/zig_cxx.sh")
