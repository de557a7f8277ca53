"""Lists, sorted, the files under DIR that the compile_commands.json in BUILD_DIR compiles: compiled_sources.py BUILD_DIR DIR"""
import json
import os
import sys

build_dir, under = sys.argv[1], os.path.abspath(sys.argv[2]) + os.sep
with open(os.path.join(build_dir, "compile_commands.json"), encoding="utf-8") as commands:
    print("\n".join(sorted({entry["file"] for entry in json.load(commands) if entry["file"].startswith(under)})))
