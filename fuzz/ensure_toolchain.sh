#!/usr/bin/env bash
# Makes sure clang++ can build a libFuzzer target with ASan and UBSan,
# installing the Debian packages (through the project's bootstrap) if not.
set -euo pipefail
cd "$(dirname "$0")/.."

links() {
  local dir
  dir=$(mktemp -d)
  trap 'rm -rf "$dir"' RETURN
  printf '%s\n' '#include <cstddef>' '#include <cstdint>' \
    'extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t*, std::size_t) { return 0; }' >"$dir/probe.cpp"
  clang++ -std=c++20 -fsanitize=fuzzer,address,undefined "$dir/probe.cpp" -o "$dir/probe" >/dev/null 2>&1
}

command -v clang++ >/dev/null 2>&1 || scripts/bootstrap.sh clang
if ! links; then
  major=$(clang++ -dumpversion | cut -d. -f1)
  scripts/bootstrap.sh "libclang-rt-${major}-dev"
  links || { echo "fuzz: clang++ cannot link -fsanitize=fuzzer,address,undefined" >&2; exit 1; }
fi
