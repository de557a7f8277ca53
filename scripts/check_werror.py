"""Checks that every compile command of each build carries -Werror (on) or that none does (off): check_werror.py on|off BUILD_DIR..."""
# Read from what the build system was generated with, so it holds for every
# target and not only for what the CMake cache says the option is.
import json
import pathlib
import shlex
import sys

expect, build_dirs = sys.argv[1], sys.argv[2:]
if expect not in ("on", "off") or not build_dirs:
    sys.exit(__doc__)
failed = False
for build_dir in map(pathlib.Path, build_dirs):
    commands_file = build_dir / "compile_commands.json"
    if not commands_file.is_file():
        sys.exit(f"werror: no {commands_file}")
    commands = json.loads(commands_file.read_text(encoding="utf-8"))
    split = [entry.get("arguments") or shlex.split(entry["command"]) for entry in commands]
    with_werror = sum("-Werror" in arguments for arguments in split)
    ok = bool(split) and with_werror == (len(split) if expect == "on" else 0)
    failed |= not ok
    verdict = "" if ok else f" (expected {'all' if expect == 'on' else 'none'})"
    print(f"werror: {build_dir}: {with_werror} of {len(split)} compile commands carry -Werror{verdict}")
sys.exit(1 if failed else 0)
