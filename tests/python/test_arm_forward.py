import math

import pytest
from hypothesis import given, strategies as st

from quorvel_torso_kinematics import QuorvelArmKinematics as Arm, QuorvelNeckKinematics as Neck

LOOP_MESSAGE = "Spherical 5-bar loop does not close: v_2 and v_4 are too far apart for the coupler."
NAN, INF = math.nan, math.inf
LEFT = Arm.default_left()


def same(a, b):
    return a == b or (math.isnan(a) and math.isnan(b))


@pytest.mark.parametrize("args, kwargs, expected", [
    ((), {}, (0.7, 0.5, False)),
    ((0.9,), {"mirror": True}, (0.9, 0.5, True)),
    ((1, 2, False), {}, (1.0, 2.0, False)),
    ((), {"coupler_arc": 0.0, "mirror": False}, (0.7, 0.0, False)),
    ((-1.0,), {}, (-1.0, 0.5, False)),
    ((NAN, -INF), {}, (NAN, -INF, False)),
    ((4.0, 1e300, True), {}, (4.0, 1e300, True)),
])
def test_constructor_stores_geometry_unchanged(args, kwargs, expected):
    arm = Arm(*args, **kwargs)
    assert type(arm) is Arm
    got = (arm.arm_arc(), arm.coupler_arc(), arm.mirror())
    assert [type(v) for v in got] == [float, float, bool]
    assert all(same(g, e) for g, e in zip(got[:2], expected[:2])) and got[2] is expected[2]


@pytest.mark.parametrize("preset, mirror", [("default_left", False), ("default_right", True)])
def test_presets(preset, mirror):
    for arm in (getattr(Arm, preset)(), getattr(Arm(1.0, 1.0), preset)()):
        assert type(arm) is Arm
        assert (arm.arm_arc(), arm.coupler_arc(), arm.mirror()) == (0.7, 0.5, mirror)
    assert getattr(Arm, preset)() is not getattr(Arm, preset)()


@pytest.mark.parametrize("mirror, thetas, e1, e2, v3", [
    (False, (0, 0), (0.334817, -0.880792, 0.334817), (0.707107, 0.0, -0.707107), (0.622814, 0.473503, 0.622814)),
    (False, (0.3, -0.2), (0.232089, -0.755315, 0.612890), (0.712017, -0.297360, -0.636088),
     (0.662696, 0.584017, 0.468783)),
    (True, (0, 0), (-0.334817, 0.880792, 0.334817), (-0.707107, 0.0, -0.707107), (-0.622814, -0.473503, 0.622814)),
    (True, (0.3, -0.2), (-0.232089, 0.755315, 0.612890), (-0.712017, 0.297360, -0.636088),
     (-0.662696, -0.584017, 0.468783)),
])
def test_fk_example_values(mirror, thetas, e1, e2, v3):
    arm = Arm.default_right() if mirror else Arm.default_left()
    rotation = arm.fk(*thetas)
    assert type(rotation) is list and len(rotation) == 3
    for row in rotation:
        assert type(row) is list and [type(x) for x in row] == [float, float, float]
    columns = [[row[j] for row in rotation] for j in range(3)]
    assert columns == [pytest.approx(list(c), abs=1e-6) for c in (e1, e2, v3)]
    direction = arm.direction(*thetas)
    assert [type(x) for x in direction] == [float, float, float]
    assert direction == columns[2]  # exactly the third column
    assert arm.is_reachable_joints(*thetas) is True
    if thetas == (0, 0):
        assert abs(rotation[1][1]) < 1e-12


@pytest.mark.parametrize("thetas", [(1, -1), (True, False), (-1, 0)])
def test_numeric_arguments_convert_like_floats(thetas):
    as_floats = tuple(float(t) for t in thetas)
    assert LEFT.fk(*thetas) == LEFT.fk(*as_floats)
    assert LEFT.direction(*thetas) == LEFT.direction(*as_floats)


@pytest.mark.parametrize("arm, thetas", [
    (Arm.default_left(), (0, math.pi)),
    (Arm.default_right(), (0.0, -math.pi)),
    (Arm(math.pi / 4), (0, 0)),  # elbows coincide
    (Arm(coupler_arc=0.1), (0.3, -0.2)),
])
def test_loop_not_closing(arm, thetas):
    for method in (arm.fk, arm.direction):
        with pytest.raises(RuntimeError) as info:
            method(*thetas)
        assert str(info.value) == LOOP_MESSAGE and type(info.value) is RuntimeError
    assert arm.is_reachable_joints(*thetas) is False


@pytest.mark.parametrize("thetas", [(NAN, 0.0), (0.0, NAN), (INF, 0.0)])
def test_nan_flows_through(thetas):
    assert LEFT.is_reachable_joints(*thetas) is True
    rotation = LEFT.fk(*thetas)
    assert all(math.isnan(row[2]) for row in rotation)
    assert all(math.isnan(x) for x in LEFT.direction(*thetas))


@pytest.mark.parametrize("method, args", [
    ("fk", (0, 0)), ("direction", (0, 0)), ("is_reachable_joints", (0, 0)),
    ("arm_arc", ()), ("coupler_arc", ()), ("mirror", ()),
])
@pytest.mark.parametrize("receiver", [object(), Neck(), 0.5])
def test_foreign_receiver_is_refused(method, args, receiver):
    with pytest.raises(TypeError):
        getattr(Arm, method)(receiver, *args)


angles = st.floats(-2 * math.pi, 2 * math.pi)
arcs = st.floats(0.05, 1.5)


@given(arcs, arcs, angles, angles)
def test_mirrored_arm_turns_v3_half_a_turn(arm_arc, coupler_arc, theta_a, theta_b):
    left, right = Arm(arm_arc, coupler_arc, False), Arm(arm_arc, coupler_arc, True)
    reachable = left.is_reachable_joints(theta_a, theta_b)
    assert right.is_reachable_joints(theta_a, theta_b) is reachable
    if reachable:
        x, y, z = left.direction(theta_a, theta_b)
        assert right.direction(theta_a, theta_b) == [-x, -y, z]
        assert [row[2] for row in right.fk(theta_a, theta_b)] == [-x, -y, z]
