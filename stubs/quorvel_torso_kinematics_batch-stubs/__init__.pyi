"""The kinematics of quorvel_torso_kinematics over NumPy arrays of poses.

Every input is anything NumPy converts safely to float64 (a C-contiguous
float64 array is read in place); strings, objects and complex numbers raise
TypeError, a wrong trailing shape ValueError, both naming the argument.
Results are new float64 arrays and bool masks; a mask is False wherever its
row holds a NaN. Angles are radians. `workers` (keyword only) splits the rows
over that many threads, -1 for every core; the results are the same bits for
any value.
"""

from typing import Final, Literal, TypedDict, final

from _typeshed import structseq

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

@final
class SingularityMeasures(structseq[_Floats], tuple[_Floats, _Floats, _Floats, _Floats, _Floats]):
    """The arrays singularity_measures() returns, one value per joint pair (a named tuple)."""

    __match_args__: Final = ("serial_a", "serial_b", "parallel", "condition", "manipulability")
    @property
    def serial_a(self) -> _Floats: ...
    @property
    def serial_b(self) -> _Floats: ...
    @property
    def parallel(self) -> _Floats: ...
    @property
    def condition(self) -> _Floats: ...
    @property
    def manipulability(self) -> _Floats: ...

def direction_jacobian(arm: QuorvelArmKinematics, joints: npt.ArrayLike, *, workers: int = 1) -> tuple[_Floats, _Flags]:
    """joints (..., 2) -> (J_v (..., 3, 2), closed (...)): dv_3/dt = J_v @ (dθ_A/dt, dθ_B/dt), base frame.

    Columns perpendicular to v_3, infinite on a parallel singularity; NaN rows with closed False where the loop
    does not close.
    """

def angular_jacobian(arm: QuorvelArmKinematics, joints: npt.ArrayLike, *, workers: int = 1) -> tuple[_Floats, _Flags]:
    """joints (..., 2) -> (J_w (..., 3, 2), closed (...)): ω = J_w @ (dθ_A/dt, dθ_B/dt), dR/dt = [ω]x R, base frame."""

def singularity_measures(arm: QuorvelArmKinematics, joints: npt.ArrayLike, *, workers: int = 1) -> SingularityMeasures:
    """joints (..., 2) -> serial_a, serial_b, parallel, condition (1 best, inf singular), manipulability, each (...).

    serial_a = det[u_A, v_2, v_3] and serial_b = det[u_B, v_4, v_3] vanish where an input arm lies in line with
    its coupler; parallel = det[v_2, v_4, v_3] where the couplers stretch or fold. NaN where the loop does not close.
    """

def joint_rates(
    arm: QuorvelArmKinematics, joints: npt.ArrayLike, v3_rate: npt.ArrayLike, damping: float = 0.0, *, workers: int = 1
) -> tuple[_Floats, _Flags]:
    """joints (..., 2), v3_rate (..., 3) broadcast -> (rates (..., 2) rad/s, ok (...)).

    The rates that move v_3 by the tangent part of v3_rate: exact with damping 0 (ok False at a serial
    singularity), the damped least-squares minimiser of |J_v q - v|^2 + damping^2 |q|^2 otherwise.
    ValueError for a negative or non-finite damping.
    """

def workspace_margin(arm: QuorvelArmKinematics, v3: npt.ArrayLike, *, workers: int = 1) -> _Floats:
    """v3 (..., 3) -> the signed angle (radians) to the edge of the reachable directions: > 0 inside, < 0 outside.

    Exact to 1e-9 rad; NaN for a zero or non-finite direction.
    """

def nearest_reachable_direction(
    arm: QuorvelArmKinematics, v3: npt.ArrayLike, *, workers: int = 1
) -> tuple[_Floats, _Floats]:
    """v3 (..., 3) -> (the nearest reachable unit direction (..., 3), the angle to it (...), radians).

    v3 itself, normalised, with angle 0 where reachable; otherwise the nearest edge direction moved inside
    by at most 1e-4 rad so that ik_from_direction solves it (the edge direction itself where no step does,
    as for a reachable set with no inside). NaN for a zero or non-finite direction, and where the geometry
    reaches no direction.
    """

def neck_angular_jacobian(joints: npt.ArrayLike, *, workers: int = 1) -> _Floats:
    """[yaw, pitch, roll] (..., 3) -> J (..., 3, 3): ω = J @ [dyaw, dpitch, droll] in the body (torso) frame."""

def neck_joint_rates(joints: npt.ArrayLike, omega: npt.ArrayLike, *, workers: int = 1) -> tuple[_Floats, _Flags]:
    """[yaw, pitch, roll] (..., 3), omega (..., 3) body frame -> (angle rates (..., 3), ok (...)).

    ok False with NaN rates within the gimbal-lock margin (1 - |sin pitch| < 1e-6).
    """

def neck_look_at(
    directions: npt.ArrayLike, previous: npt.ArrayLike | None = None, *, workers: int = 1
) -> tuple[_Floats, _Flags]:
    """directions (..., 3) body frame -> ([yaw, pitch, 0] (..., 3), ok (...)): the head's x axis along each direction.

    With previous [yaw, pitch, roll] ((3,) or (..., 3)), yaw stays within π of the previous yaw, and is the
    previous yaw within the gimbal margin of straight up or down. ok False for zero or non-finite directions.
    """

class _Geometry(TypedDict):
    arm_arc: float
    coupler_arc: float
    branch: Literal["positive", "negative"]
    mirror: bool

def geometry(arm: QuorvelArmKinematics) -> _Geometry:
    """The arm's geometry as a dict; TypeError when arm is not a QuorvelArmKinematics."""

def to_json(arm: QuorvelArmKinematics) -> str:
    """A geometry document QuorvelArmKinematics.from_json reads back exactly; ValueError for a non-finite arc."""
