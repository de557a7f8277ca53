import math

import numpy
import pytest
from hypothesis import given, settings, strategies as st
from scipy.spatial.transform import Rotation

from quorvel_torso_kinematics import QuorvelNeckKinematics as Neck

NECK = Neck()
LOCK = "Gimbal lock: pitch is too close to ±π/2."
PITCH_LIMIT = math.pi / 2 - 0.0015
NAN, INF = float("nan"), float("inf")
IDENTITY = [[1.0, 0.0, 0.0], [0.0, 1.0, 0.0], [0.0, 0.0, 1.0]]


def angular_gap(a, b):
    return abs(math.remainder(a - b, math.tau))


def with_r20(value, base=IDENTITY):
    return [list(base[0]), list(base[1]), [value, base[2][1], base[2][2]]]


@pytest.mark.parametrize("call, message", [
    (lambda: Neck(0), "QuorvelNeckKinematics.__new__() takes 0 positional arguments but 1 was given"),
    (lambda: Neck(a=1), "QuorvelNeckKinematics.__new__() got an unexpected keyword argument 'a'"),
    (lambda: NECK.fk(), "QuorvelNeckKinematics.fk() missing 1 required positional argument: 'joints'"),
    (lambda: NECK.ik(), "QuorvelNeckKinematics.ik() missing 1 required positional argument: 'r'"),
    (lambda: NECK.fk([0, 0, 0], [0]), "QuorvelNeckKinematics.fk() takes 1 positional arguments but 2 were given"),
    (lambda: NECK.fk([0, 0, 0], joints=[0, 0, 0]), "QuorvelNeckKinematics.fk() got multiple values for argument 'joints'"),
    (lambda: NECK.fk(joints=[0, 0, 0], r=1), "QuorvelNeckKinematics.fk() got an unexpected keyword argument 'r'"),
    (lambda: NECK.ik(joints=IDENTITY), "QuorvelNeckKinematics.ik() got an unexpected keyword argument 'joints'"),
    (lambda: NECK.fk(0.5), "argument 'joints': 'float' object cannot be converted to 'Sequence'"),
    (lambda: NECK.fk({0: 1, 1: 2, 2: 3}), "argument 'joints': 'dict' object cannot be converted to 'Sequence'"),
    (lambda: NECK.fk([0, "x", 0]), "argument 'joints': must be real number, not str"),
    (lambda: NECK.ik(5), "argument 'r': 'int' object cannot be converted to 'Sequence'"),
    (lambda: NECK.ik([[1, 0, 0], None, [0, 0, 1]]), "argument 'r': 'NoneType' object cannot be converted to 'Sequence'"),
    (lambda: NECK.ik([[1, 0, 0], [0, 1, 0], [0, 0, "x"]]), "argument 'r': must be real number, not str"),
])
def test_type_errors(call, message):
    with pytest.raises(TypeError) as info:
        call()
    assert type(info.value) is TypeError and str(info.value) == message


@pytest.mark.parametrize("call, n", [
    (lambda: NECK.fk([0.1, 0.2]), 2), (lambda: NECK.fk(range(4)), 4), (lambda: NECK.ik([[1, 0, 0], [0, 1, 0]]), 2),
    (lambda: NECK.ik([[1, 0, 0], [0, 1], [0, 0, 1]]), 2), (lambda: NECK.ik([[1, 0, 0], [0, 1, 0], "abcd"]), 4),
])
def test_length_errors(call, n):
    with pytest.raises(ValueError) as info:
        call()
    assert type(info.value) is ValueError and str(info.value) == f"expected a sequence of length 3 (got {n})"


def test_identity_and_result_types():
    assert type(Neck()) is Neck
    m = NECK.fk([0, 0, 0])
    assert m == IDENTITY and type(m) is list and all(type(row) is list for row in m)
    assert all(type(x) is float for row in m for x in row)
    angles = NECK.ik(IDENTITY)
    assert type(angles) is tuple and all(type(x) is float for x in angles)
    assert angles == (0.0, 0.0, 0.0)
    assert [math.copysign(1.0, x) for x in angles] == [1.0, -1.0, 1.0]  # pitch is asin(-0.0)


C, S = math.cos(0.5), math.sin(0.5)


@pytest.mark.parametrize("joints, expected", [
    ([0.5, 0, 0], [[C, -S, 0], [S, C, 0], [0, 0, 1]]),
    ([0, 0.5, 0], [[C, 0, S], [0, 1, 0], [-S, 0, C]]),
    ([0, 0, 0.5], [[1, 0, 0], [0, C, -S], [0, S, C]]),
])
def test_elementary_rotations_are_exact(joints, expected):
    assert NECK.fk(joints) == expected


WORKED = [[0.730682, -0.682536, -0.015794], [0.226026, 0.263669, -0.937758], [0.644218, 0.681633, 0.346929]]


@pytest.mark.parametrize("joints", [[0.3, -0.7, 1.1], (0.3, -0.7, 1.1), numpy.array([0.3, -0.7, 1.1])])
def test_worked_example_and_round_trip(joints):
    m = NECK.fk(joints)
    assert NECK.fk(joints=joints) == m
    assert numpy.allclose(m, WORKED, atol=5e-7, rtol=0)
    assert NECK.ik(m) == pytest.approx((0.3, -0.7, 1.1), abs=1e-14)
    assert NECK.ik(r=numpy.array(m)) == NECK.ik(m)


def test_whole_turns_are_not_unwrapped():
    yaw, pitch, roll = NECK.ik(NECK.fk([3 * math.pi, 0.2, -0.1]))
    assert angular_gap(yaw, math.pi) < 1e-12 and abs(yaw) <= math.pi
    assert (pitch, roll) == pytest.approx((0.2, -0.1), abs=1e-14)
    assert NECK.fk(range(3)) == NECK.fk([0.0, 1.0, 2.0])


@pytest.mark.parametrize("matrix", [
    with_r20(1.0), with_r20(-1.0), with_r20(0.9999995), with_r20(-0.9999995), with_r20(1.5), with_r20(-1.5),
    with_r20(INF), with_r20(-INF), [[0, 0, 1], [0, 1, 0], [-1, 0, 0]], NECK.fk([0.2, math.pi / 2, 0.3]),
    NECK.fk([0.2, -math.pi / 2 + 1e-4, 0.3]),
])
def test_gimbal_lock(matrix):
    with pytest.raises(ValueError) as info:
        NECK.ik(matrix)
    assert type(info.value) is ValueError and str(info.value) == LOCK


@pytest.mark.parametrize("r20", [0.999998, -0.999998, 0.5])
def test_just_outside_the_margin(r20):
    assert NECK.ik(with_r20(r20)) == (0.0, math.asin(-r20), 0.0)


def test_matrix_is_not_validated_and_only_five_entries_are_read():
    ugly = [[2, 2, 2], [2, 2, 2], [0, 2, 2]]
    assert NECK.ik(ugly) == pytest.approx((math.pi / 4, 0.0, math.pi / 4), abs=1e-15)
    m = NECK.fk([0.3, -0.7, 1.1])
    unread = [[m[0][0], NAN, -INF], [m[1][0], 1e300, NAN], m[2]]
    assert NECK.ik(unread) == NECK.ik(m)
    yaw, pitch, roll = NECK.ik(with_r20(NAN))
    assert math.isnan(pitch) and (yaw, roll) == (0.0, 0.0)


@pytest.mark.parametrize("index", [0, 1, 2])
@pytest.mark.parametrize("bad", [NAN, INF, -INF])
def test_non_finite_angle_makes_everything_nan(index, bad):
    joints = [0.0, 0.0, 0.0]
    joints[index] = bad
    assert all(math.isnan(x) for row in NECK.fk(joints) for x in row)


@pytest.mark.parametrize("cls, name, signature, doc", [
    (Neck, "fk", "($self, joints)", "Forward kinematics. `joints = [yaw, pitch, roll]` in radians.\n"
                                    "Returns the 3×3 rotation matrix of the head frame in the body frame."),
    (Neck, "ik", "($self, r)", "Inverse kinematics. `r` is a 3×3 rotation matrix (row-major).\nReturns "
                               "`(yaw, pitch, roll)` in radians.\n\nRaises `ValueError` near gimbal lock "
                               "(|pitch| ≈ π/2). The neck's\npitch range is well under that limit in practice."),
])
def test_documentation(cls, name, signature, doc):
    for method in (getattr(cls, name), getattr(NECK, name)):
        assert method.__text_signature__ == signature and method.__doc__ == doc
    assert (Neck.__text_signature__, Neck.__doc__) == ("()", "")


@settings(max_examples=300, deadline=None)
@given(st.floats(-math.pi, math.pi, exclude_min=True, exclude_max=True),
       st.floats(-PITCH_LIMIT, PITCH_LIMIT),
       st.floats(-math.pi, math.pi, exclude_min=True, exclude_max=True))
def test_round_trip(yaw, pitch, roll):
    back = NECK.ik(NECK.fk([yaw, pitch, roll]))
    assert all(angular_gap(x, y) < 1e-11 for x, y in zip(back, (yaw, pitch, roll))), back


def test_agrees_with_scipy():
    rng = numpy.random.default_rng(20240607)
    cases = 4000
    yaw, roll = rng.uniform(-math.pi, math.pi, (2, cases))
    pitch = rng.uniform(-PITCH_LIMIT, PITCH_LIMIT, cases)
    peer = Rotation.from_euler("ZYX", numpy.column_stack([yaw, pitch, roll])).as_matrix()
    peer_angles = Rotation.from_matrix(peer).as_euler("ZYX")
    mine_fk = numpy.array([NECK.fk(a) for a in zip(yaw.tolist(), pitch.tolist(), roll.tolist())])
    mine_ik = numpy.array([NECK.ik(m) for m in peer.tolist()])
    worst_fk = float(numpy.max(numpy.abs(mine_fk - peer)))
    worst_ik = float(numpy.max(numpy.abs(numpy.remainder(mine_ik - peer_angles + math.pi, math.tau) - math.pi)))
    report = f"SciPy peer: {cases} poses, worst |fk - peer| = {worst_fk:.3e}, worst |ik - peer| = {worst_ik:.3e} rad"
    print(report)
    assert worst_fk < 1e-12 and worst_ik < 1e-12, report
