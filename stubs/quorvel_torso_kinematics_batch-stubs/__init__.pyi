"""The kinematics of quorvel_torso_kinematics over NumPy arrays of poses.

Every input is anything NumPy converts safely to float64 (a C-contiguous
float64 array is read in place); strings, objects and complex numbers raise
TypeError, a wrong trailing shape ValueError, both naming the argument.
Results are new float64 arrays and bool masks; a mask is False wherever its
row holds a NaN. Angles are radians. `workers` (keyword only) splits the rows
over that many threads, -1 for every core; the results are the same bits for
any value.
"""

import numpy as np
import numpy.typing as npt
from quorvel_torso_kinematics import QuorvelArmKinematics

_Floats = npt.NDArray[np.float64]
_Flags = npt.NDArray[np.bool_]
_Slots = npt.NDArray[np.int8]

def fk(arm: QuorvelArmKinematics, joints: npt.ArrayLike, *, workers: int = 1) -> tuple[_Floats, _Flags]:
    """joints (..., 2) -> (rotations (..., 3, 3), closed (...)); NaN rows where the loop does not close."""

def direction(arm: QuorvelArmKinematics, joints: npt.ArrayLike, *, workers: int = 1) -> tuple[_Floats, _Flags]:
    """joints (..., 2) -> (directions v_3 (..., 3), closed (...)); NaN rows where the loop does not close."""

def is_reachable_joints(arm: QuorvelArmKinematics, joints: npt.ArrayLike, *, workers: int = 1) -> _Flags:
    """joints (..., 2) -> whether each pair closes the loop (...)."""

def ik(arm: QuorvelArmKinematics, r_target: npt.ArrayLike, *, workers: int = 1) -> tuple[_Floats, _Flags]:
    """r_target (..., 3, 3) row-major -> (joints (..., 2), found (...)); NaN rows without a solution."""

def ik_from_direction(
    arm: QuorvelArmKinematics,
    v3: npt.ArrayLike,
    near: npt.ArrayLike | None = None,
    *,
    joint_limits: npt.ArrayLike | None = None,
    workers: int = 1,
) -> tuple[_Floats, _Flags]:
    """v3 (..., 3), near None, (2,) or (..., 2) broadcast -> (joints (..., 2), found (...)).

    joint_limits [[lo_A, hi_A], [lo_B, hi_B]] (radians, inclusive) leaves out the candidates outside.
    ValueError when near's leading shape does not broadcast with v3's, or the limits have lo > hi or a NaN.
    """

def follow_path(
    arm: QuorvelArmKinematics,
    directions: npt.ArrayLike,
    start: npt.ArrayLike,
    *,
    max_step: float | None = None,
    joint_limits: npt.ArrayLike | None = None,
    workers: int = 1,
) -> tuple[_Floats, _Flags, _Slots]:
    """directions (N, 3), start (2,) -> (joints (N, 2), found (N,), slot (N,) int8, -1 where not found).

    Each row is solved nearest the last pair found (the reference); with max_step (radians), a row farther
    than that from the reference is not found and the reference holds, so the path never jumps silently.
    joint_limits [[lo_A, hi_A], [lo_B, hi_B]] (inclusive) leaves out the candidates outside. ValueError for
    a non-finite start, max_step <= 0, or limits with lo > hi or a NaN. Runs on one thread.
    """

def direction_candidates(arm: QuorvelArmKinematics, v3: npt.ArrayLike, *, workers: int = 1) -> tuple[_Floats, _Flags, _Flags]:
    """v3 (..., 3) -> (joints (..., 4, 2), exists (..., 4), reaches (..., 4)), slots (+,+), (+,-), (-,+), (-,-)."""

def nearest_pointing(arm: QuorvelArmKinematics, r_target: npt.ArrayLike, *, workers: int = 1) -> tuple[_Floats, _Floats, _Flags]:
    """r_target (..., 3, 3) -> (joints (..., 2), Frobenius residual (...), found (...)); NaN where v_3 is out of reach."""

def neck_fk(joints: npt.ArrayLike, *, workers: int = 1) -> _Floats:
    """[yaw, pitch, roll] (..., 3) -> head rotations in the body frame (..., 3, 3)."""

def neck_ik(r: npt.ArrayLike, *, workers: int = 1) -> tuple[_Floats, _Flags]:
    """r (..., 3, 3) -> ([yaw, pitch, roll] (..., 3), ok (...)); NaN rows with ok False near gimbal lock."""
