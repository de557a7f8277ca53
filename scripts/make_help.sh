#!/usr/bin/env bash
# Prints every make target with the `## ` text on its line, and fails if a .PHONY target has none.
# Usage: make_help.sh MAKEFILE...
set -euo pipefail
awk '
  /^\.PHONY:/ { for (i = 2; i <= NF; i++) phony[$i] = 1; next }
  /^[a-zA-Z][a-zA-Z0-9_-]*:.*## / {
    target = substr($0, 1, index($0, ":") - 1)
    text = substr($0, index($0, "## ") + 3)
    printf "  %-18s %s\n", target, text
    documented[target] = 1
  }
  END {
    for (t in phony) if (!(t in documented)) { printf "make help: target %s has no ## line\n", t > "/dev/stderr"; bad = 1 }
    exit bad
  }' "$@"
