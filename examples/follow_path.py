"""A pointing trajectory followed with the array companion.

The arm sweeps its joints along a straight line, the controller sees only the
pointing directions and must recover joints that stay on the arm's branch.
follow_path solves every pose nearest to the one before; the smallest-norm
rule of ik_from_direction without `near` lands on another branch. The
candidate slots show how far the nearest other branch is along the way.
"""

from __future__ import annotations

import numpy as np
from numpy.typing import NDArray

import quorvel_torso_kinematics_batch as batch
from quorvel_torso_kinematics import QuorvelArmKinematics

STEPS = 200
START = (1.2, 0.1)
END = (1.4, -0.3)


def branch_gap(joints: NDArray[np.float64], candidates: NDArray[np.float64], reaches: NDArray[np.bool_]) -> float:
    """The smallest joint-space distance from the followed pairs to any other reaching candidate."""
    distance = np.linalg.norm(candidates - joints[:, np.newaxis, :], axis=-1)
    others = np.where(reaches & (distance > 1e-9), distance, np.inf)
    return float(others.min())


def main() -> None:
    arm = QuorvelArmKinematics.default_left()
    planned = np.linspace(START, END, STEPS)
    directions, closed = batch.direction(arm, planned)
    assert closed.all()
    # Sensor noise on the observed directions: still solvable, since they are normalised.
    observed = directions * np.linspace(1.0, 3.0, STEPS)[:, np.newaxis]

    followed, found, _ = batch.follow_path(arm, observed, START)
    smallest, _ = batch.ik_from_direction(arm, observed)
    candidates, _, reaches = batch.direction_candidates(arm, observed)

    print(f"left arm, {STEPS} poses from {START} to {END} (radians), solved from directions only")
    print(f"  {'pose':>4}  {'planned':>18}  {'follow_path':>18}  {'no near':>18}")
    for i in (0, 1, STEPS // 2, STEPS - 1):
        row = [f"({a:+.4f}, {b:+.4f})" for a, b in (planned[i], followed[i], smallest[i])]
        print(f"  {i:4d}  {row[0]:>18}  {row[1]:>18}  {row[2]:>18}")
    kept = bool(found.all() and np.allclose(followed, planned, atol=1e-9))
    steps = np.abs(np.diff(followed, axis=0)).max()
    print(f"  branch kept by follow_path: {kept} (largest step {steps:.4f} rad)")
    print(f"  branch kept without near:   {bool(np.allclose(smallest, planned, atol=1e-9))}")
    print(f"  nearest other branch along the path: {branch_gap(followed, candidates, reaches):.3f} rad away")


if __name__ == "__main__":
    main()
