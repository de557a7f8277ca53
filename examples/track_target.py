"""One arm and the head tracking a moving target at 500 Hz.

The left arm points at the target by damped resolved-rate control: each tick it
measures the pointing error, asks joint_rates for the joint rates that close it
(damped, so the rates stay bounded near a singularity) and moves at most
MAX_STEP radians. Where the target leaves the workspace the arm aims at the
nearest reachable direction instead of freezing. The head looks at the same
target with neck_look_at, its yaw kept continuous from tick to tick. Prints the
largest joint step, the smallest workspace margin and the worst condition number
the arm met.

    python examples/track_target.py
"""

from __future__ import annotations

import math

import numpy as np
from numpy.typing import NDArray

import quorvel_torso_kinematics_batch as batch
from quorvel_torso_kinematics import QuorvelArmKinematics

RATE_HZ = 500
SECONDS = 8.0
GAIN = 20.0  # 1/s: how fast a pointing error is closed
DAMPING = 0.05  # damped least squares: bounded rates near singularities
MAX_STEP = 0.01  # radians of joint motion per tick at most (5 rad/s)


CENTRE = (-1.0, 0.6)  # the joint pair whose direction the target circles: a well-conditioned pose
WIDTH, HEIGHT = 0.4, 0.2  # of the figure-eight about CENTRE's direction: one lobe leaves the workspace


def figure_eight_frame() -> tuple[NDArray[np.float64], NDArray[np.float64], NDArray[np.float64]]:
    """CENTRE's direction and two unit vectors across it, the figure-eight's plane."""
    c = np.array(QuorvelArmKinematics.default_left().direction(*CENTRE))
    across = np.cross(c, [0.0, 0.0, 1.0])
    across /= np.linalg.norm(across)
    return c, across, np.cross(c, across)


FRAME = figure_eight_frame()


def target(t: float) -> NDArray[np.float64]:
    """The target's position in the torso frame (1.5 m away): a figure-eight about CENTRE's direction."""
    c, across, up = FRAME
    return 1.5 * (c + WIDTH * math.sin(0.8 * t) * across + HEIGHT * math.sin(1.6 * t) * up)


def unit(v: NDArray[np.float64]) -> NDArray[np.float64]:
    return np.asarray(v / np.linalg.norm(v))


def main() -> None:
    arm = QuorvelArmKinematics.default_left()
    dt = 1.0 / RATE_HZ
    joints = np.array(CENTRE)  # where the target starts: its candidate is the one to stay on
    head = batch.neck_look_at(target(0.0))[0]
    largest_step, smallest_margin, worst_condition, worst_error = 0.0, math.inf, 1.0, 0.0
    outside_ticks, held_ticks, largest_yaw_step = 0, 0, 0.0
    for tick in range(int(SECONDS * RATE_HZ)):
        t = tick * dt
        wanted = unit(target(t))
        margin = float(batch.workspace_margin(arm, wanted))
        smallest_margin = min(smallest_margin, margin)
        if margin < 0.0:  # out of reach: point along the nearest edge direction instead
            outside_ticks += 1
            wanted = batch.nearest_reachable_direction(arm, wanted)[0]
        pointing, closed = batch.direction(arm, joints)
        assert closed, "the controller left the closing region"
        worst_error = max(worst_error, math.acos(min(1.0, float(pointing @ wanted))))
        worst_condition = max(worst_condition, float(batch.singularity_measures(arm, joints).condition))
        rates, ok = batch.joint_rates(arm, joints, GAIN * (wanted - pointing), DAMPING)
        step = rates * dt if ok else np.zeros(2)
        length = float(np.linalg.norm(step))
        if length > MAX_STEP:
            step *= MAX_STEP / length
        # Where the couplers straighten (parallel = 0) the loop stops closing: never step across,
        # shorten the step instead, and hold still if even a small one would leave.
        while step.any() and not batch.is_reachable_joints(arm, joints + step):
            step = step / 2 if np.linalg.norm(step) > 1e-6 else np.zeros(2)
            held_ticks += not step.any()
        largest_step = max(largest_step, float(np.linalg.norm(step)))
        joints = joints + step
        previous_yaw = float(head[0])
        head = batch.neck_look_at(target(t), previous=head)[0]
        largest_yaw_step = max(largest_yaw_step, abs(float(head[0]) - previous_yaw))

    ticks = int(SECONDS * RATE_HZ)
    print(f"left arm and head tracked the target for {SECONDS:g} s at {RATE_HZ} Hz ({ticks} ticks)")
    print(f"largest joint step: {largest_step:.4f} rad (limit {MAX_STEP}), worst pointing error {worst_error:.4f} rad")
    print(f"smallest workspace margin of the target: {smallest_margin:+.4f} rad "
          f"({outside_ticks} ticks outside, pointed at the nearest reachable direction)")
    print(f"worst condition number: {worst_condition:.2f} ({held_ticks} ticks held at the edge of the closing region)")
    print(f"head: largest yaw step {largest_yaw_step:.4f} rad a tick, final yaw {float(head[0]):+.4f} rad")


if __name__ == "__main__":
    main()
