#!/bin/sh
# The release wheel's C++ compiler: zig's clang and libc++ linked against an old glibc, for a low manylinux tag.
# scripts/release_wheel.sh sets QUORVEL_ZIG (the zig binary of the pinned ziglang package) and QUORVEL_ZIG_TARGET
# (x86_64-linux-gnu.2.17 or aarch64-linux-gnu.2.17).
exec "${QUORVEL_ZIG:?set QUORVEL_ZIG to the zig binary (make test-wheel does)}" c++ \
  -target "${QUORVEL_ZIG_TARGET:?set QUORVEL_ZIG_TARGET, for example x86_64-linux-gnu.2.17}" "$@"
