#!/usr/bin/env bash
# Prints a sanitized run's reports (the files in DIR, the UBSan lines of LOG) and fails when there is any.
# Usage: sanitizer_reports.sh DIR LOG NAME
# GCC's UBSan runtime ignores log_path next to ASan and writes to stderr, so
# its "runtime error:" lines are counted in the run's log.
set -uo pipefail
dir=${1:?usage: sanitizer_reports.sh DIR LOG NAME} log=${2:?} name=${3:?}
n=$(find "$dir" -type f | wc -l)
if [ "$n" -ne 0 ]; then for f in "$dir"/*; do echo "== $f"; cat "$f"; done; fi
u=$(grep -c 'runtime error:' "$log" || true)
if [ "$u" -ne 0 ]; then grep -A12 'runtime error:' "$log"; fi
echo "sanitize: $name: $((n + u)) sanitizer report(s)"
[ "$((n + u))" -eq 0 ]
