"""Peak memory of the companion's fk over N poses, run by run_bench.py in a child
process (python peak_memory.py N); prints the peak, the resident size before the
arrays and the arrays' size, in bytes, as JSON."""

import json
import sys

import numpy as np
import quorvel_torso_kinematics_batch as qb
from quorvel_torso_kinematics import QuorvelArmKinematics


# VmHWM, not ru_maxrss: Linux carries the parent's peak across fork and exec
# into ru_maxrss, while VmHWM belongs to the child's own address space.
def status(key: str) -> int:
    for line in open("/proc/self/status"):
        if line.startswith(key + ":"):
            return int(line.split()[1]) * 1024
    raise RuntimeError(key + " not in /proc/self/status")


n = int(sys.argv[1])
arm = QuorvelArmKinematics.default_left()
before = status("VmRSS")
joints = np.empty((n, 2))
joints[:, 0] = 0.3
joints[:, 1] = -0.2
rotations, closed = qb.fk(arm, joints)
assert closed.all()
print(json.dumps({"peak": status("VmHWM"), "before": before,
                  "arrays": joints.nbytes + rotations.nbytes + closed.nbytes}))
