"""Reads memcheck's XML reports in DIR and fails on an invalid read or write or a block definitely lost through the module."""
# Prints each such error with its stack, and the counts of every kind. The
# interpreter's own blocks left at exit are counted but never fail the run.
# Each <error> record is parsed on its own: a child forked by subprocess writes
# its XML preamble into the parent's file before it execs, so a file as a
# whole is not always well-formed.
import collections
import glob
import os
import re
import sys
import xml.etree.ElementTree as ET

ours = ("quorvel_torso_kinematics.", "quorvel_fault_probe.")


def frames(error):
    for frame in error.iter("frame"):
        yield frame.findtext("obj") or "", frame.findtext("fn") or "?", frame.findtext("file"), frame.findtext("line")


def through_module(error):
    return any(os.path.basename(obj).startswith(ours) for obj, *_ in frames(error))


kinds, bad, processes = collections.Counter(), [], 0
for path in sorted(glob.glob(os.path.join(sys.argv[1], "memcheck.*.xml"))):
    processes += 1
    with open(path, encoding="utf-8", errors="replace") as report:
        records = re.findall(r"<error>.*?</error>", report.read(), re.S)
    for error in map(ET.fromstring, records):
        kind = error.findtext("kind")
        if kind.startswith("Leak_"):
            key = kind + (" (through the module)" if through_module(error) else " (interpreter)")
        else:
            key = kind + (" (through the module)" if through_module(error) else "")
        kinds[key] += 1
        if kind in ("InvalidRead", "InvalidWrite") or (kind == "Leak_DefinitelyLost" and through_module(error)):
            bad.append((path, error))
for path, error in bad:
    what = error.find("what")
    text = what.text if what is not None else error.findtext("xwhat/text")
    print(f"== {os.path.basename(path)}: {text}")
    for obj, fn, file, line in frames(error):
        print(f"     {fn} ({file}:{line})" if file else f"     {fn} ({obj})")
invalid = sum(n for k, n in kinds.items() if k.startswith(("InvalidRead", "InvalidWrite")))
lost = kinds["Leak_DefinitelyLost (through the module)"]
print(f"valgrind: {processes} process(es) checked")
for key in sorted(kinds):
    print(f"valgrind:   {kinds[key]:6d} {key}")
print(f"valgrind: invalid reads/writes: {invalid}; definitely lost through the module: {lost}")
sys.exit(1 if invalid or lost else 0)
