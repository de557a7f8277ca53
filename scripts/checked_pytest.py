"""Runs pytest (the other arguments) after checking that both modules imported are the ones built under DIR (the first)."""
# The venv holds an installed copy too, and testing that one by mistake would
# prove nothing.
import runpy
import sys

# As for `python -m pytest`: the working directory, not scripts/, heads the path.
sys.path[0] = ""

import quorvel_torso_kinematics  # noqa: E402
import quorvel_torso_kinematics_batch  # noqa: E402

expected, sys.argv = sys.argv[1], ["pytest", *sys.argv[2:]]
for module in (quorvel_torso_kinematics, quorvel_torso_kinematics_batch):
    print("module under test:", module.__file__, flush=True)
    if not module.__file__.startswith(expected + "/"):
        sys.exit(f"expected the module built under {expected}")
runpy.run_module("pytest", run_name="__main__", alter_sys=True)
