#!/usr/bin/env bash
# Brings a fresh machine to the point where the project builds: the Debian
# packages it needs, a Python 3.13 and the project's virtual environment.
# Extra Debian package names given as arguments are installed too when missing
# (for example `scripts/bootstrap.sh clang-tidy cppcheck` for `make lint`).
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(g++ cmake make nlohmann-json3-dev libgtest-dev binutils "$@")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "bootstrap: installing ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
fi

find_python() {
  local candidate
  for candidate in python3.13 "$(command -v pyenv >/dev/null 2>&1 && pyenv root)/versions/3.13"*/bin/python3.13; do
    [ -n "$candidate" ] || continue
    if "$candidate" -c 'import sys; sys.exit(sys.version_info[:2] != (3, 13))' >/dev/null 2>&1; then
      command -v "$candidate" 2>/dev/null || echo "$candidate"
      return 0
    fi
  done
  return 1
}

if [ ! -x .venv/bin/python ] || ! .venv/bin/python -c 'import sys; sys.exit(sys.version_info[:2] != (3, 13))'; then
  python=$(find_python) || { echo "bootstrap: no Python 3.13 found (python3.13 on PATH or pyenv)" >&2; exit 1; }
  echo "bootstrap: creating .venv with $python"
  rm -rf .venv
  "$python" -m venv .venv
  .venv/bin/python -m pip install -q --upgrade pip
fi
