from typing import Protocol, Self, SupportsFloat, SupportsIndex, TypeAlias, TypeVar, final

__all__ = ["QuorvelArmKinematics", "QuorvelNeckKinematics"]

# What the float converter takes: __float__, else __index__ (so int and bool
# too); str is refused.
_Real: TypeAlias = SupportsFloat | SupportsIndex
_T_co = TypeVar("_T_co", covariant=True)

# What the sequence converters take: anything with a length and integer
# indexing (lists, tuples, ranges, NumPy arrays), not only registered
# Sequences. Dicts also fit this shape but are refused at run time. The
# length (exactly 3) is checked at run time only.
class _SequenceLike(Protocol[_T_co]):
    def __len__(self) -> int: ...
    def __getitem__(self, index: int, /) -> _T_co: ...

_Vector3: TypeAlias = _SequenceLike[_Real]
# Three rows of three numbers, row-major.
_Matrix3: TypeAlias = _SequenceLike[_SequenceLike[_Real]]

@final
class QuorvelArmKinematics:
    """One spherical five-bar arm: two input joints A (axis +z) and B (axis +x, or -x when mirrored), elbows
    v_2 and v_4, and the coupler point v_3, the end-effector's pointing direction. Angles and arcs in radians.
    Immutable; one object may be shared between threads."""
    # `mirror` also takes NumPy booleans at run time, which cannot be named here
    # without depending on NumPy; ints are refused.
    def __new__(cls, arm_arc: _Real = 0.7, coupler_arc: _Real = 0.5, mirror: bool = False) -> Self:
        """An arm with input arcs `arm_arc` and coupler arcs `coupler_arc` (radians, stored unchecked);
        `mirror=True` makes a right arm. Always the positive loop-closure branch."""
    @staticmethod
    def default_left() -> QuorvelArmKinematics:
        """The default left arm: arm_arc 0.7, coupler_arc 0.5, not mirrored."""
    @staticmethod
    def default_right() -> QuorvelArmKinematics:
        """The default right arm: the left preset mirrored (joint B's axis is -x)."""
    @staticmethod
    def from_json(json: str) -> QuorvelArmKinematics:
        """An arm from a geometry document: {"arm_arc", "coupler_arc", "branch", "mirror"} or the same
        fields as an array. Raises ValueError "Invalid arms.json: ... at line L column C" when rejected."""
    def fk(self, theta_a: _Real, theta_b: _Real) -> list[list[float]]:
        """Forward kinematics: the end-effector rotation in the base frame, three rows; its columns are
        e1, e2 and e3 = v_3. Raises RuntimeError when the loop cannot close at this joint pair. NaN flows."""
    def ik(self, r_target: _Matrix3) -> tuple[float, float]:
        """Inverse kinematics: (theta_a, theta_b) whose fk is within 1e-6 (Frobenius) of `r_target` (rows),
        angles in [-pi, pi]. Raises RuntimeError when no joint pair reaches it. `r_target` is not checked
        to be a rotation."""
    # `near` must be a tuple: a list is refused at run time.
    def ik_from_direction(self, v3: _Vector3, near: tuple[_Real, _Real] | None = None) -> tuple[float, float]:
        """The joint pair that points v_3 along `v3` (any length >= 1e-12, normalised): of up to four, the
        nearest to `near` (a tuple, no wrapping by 2*pi), else the smallest. Raises RuntimeError when none."""
    def direction(self, theta_a: _Real, theta_b: _Real) -> list[float]:
        """The pointing direction v_3 (the third column of fk) as [x, y, z]. Raises RuntimeError when the
        loop cannot close."""
    def is_reachable_joints(self, theta_a: _Real, theta_b: _Real) -> bool:
        """Whether the loop closes at this joint pair (fk would succeed)."""
    def is_reachable_orientation(self, r_target: _Matrix3) -> bool:
        """Whether ik would find a joint pair for `r_target`."""
    def is_reachable_direction(self, v3: _Vector3) -> bool:
        """Whether ik_from_direction would find a joint pair for `v3`."""
    def arm_arc(self) -> float:
        """The input arms' arc length, radians."""
    def coupler_arc(self) -> float:
        """The coupler segments' arc length, radians."""
    def mirror(self) -> bool:
        """True for a right (mirrored) arm."""

@final
class QuorvelNeckKinematics:
    """The neck: yaw about z, then pitch about y, then roll about x (R = Rz(yaw) Ry(pitch) Rx(roll)),
    radians. Holds no state."""
    def __new__(cls) -> Self:
        """The neck takes no arguments."""
    def fk(self, joints: _Vector3) -> list[list[float]]:
        """The head frame's rotation in the body frame (rows) for joints = [yaw, pitch, roll]. NaN flows."""
    def ik(self, r: _Matrix3) -> tuple[float, float, float]:
        """(yaw, pitch, roll) of the rotation `r` (rows), pitch in [-pi/2, pi/2]. Raises ValueError near
        gimbal lock (1 - |r[2][0]| < 1e-6). `r` is not checked to be a rotation."""
