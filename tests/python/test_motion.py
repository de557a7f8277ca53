"""The companion's motion functions against central differences and step-free identities, on random closing
poses of three geometries; path following that never jumps; options that raise; workers that change nothing."""
import math

import numpy as np
import pytest
from scipy.spatial.transform import Rotation

import quorvel_torso_kinematics_batch as qb
from quorvel_torso_kinematics import QuorvelArmKinematics as Arm

ARMS = {
    "left": Arm.default_left(),
    "right": Arm.default_right(),
    "negative long": Arm.from_json('{"arm_arc": 1.1, "coupler_arc": 0.8, "branch": "negative"}'),
}
H = 1e-6


def closing_poses(arm, n=400, band=0.05, seed=3):
    """Random closing joint pairs away from every singular band, where the derivatives are tame."""
    joints = np.random.default_rng(seed).uniform(-math.pi, math.pi, size=(n, 2))
    m = qb.singularity_measures(arm, joints)
    keep = (np.abs(m.serial_a) > band) & (np.abs(m.serial_b) > band) & (np.abs(m.parallel) > band)
    assert keep.sum() > 40
    return joints[keep]


def central(f, x, k):
    step = np.zeros(x.shape[-1])
    step[k] = H
    return (f(x + step) - f(x - step)) / (2 * H)


def log_rate(rotations, x, k):
    """ω from R(x + h e_k) R(x - h e_k)ᵀ = exp([2hω]×): rotations in the base frame."""
    step = np.zeros(x.shape[-1])
    step[k] = H
    relative = rotations(x + step) @ np.swapaxes(rotations(x - step), -1, -2)
    return Rotation.from_matrix(relative).as_rotvec() / (2 * H)


def tangent_2x2(arm, joints):
    r, _ = qb.fk(arm, joints)
    jv, _ = qb.direction_jacobian(arm, joints)
    return np.swapaxes(r[..., :, :2], -1, -2) @ jv  # [e1 e2]ᵀ J_v


# A row per function: what it is checked against. Each check takes an arm and closing poses.
def direction_jacobian_by_differences(arm, q):
    jv, closed = qb.direction_jacobian(arm, q)
    assert closed.all()
    for k in range(2):
        assert np.allclose(jv[..., k], central(lambda x: qb.direction(arm, x)[0], q, k), rtol=0, atol=1e-6)
    direction = qb.direction(arm, q)[0]
    assert np.allclose(np.einsum("ni,nik->nk", direction, jv), 0, atol=1e-12)  # v_3ᵀ J_v = 0


def angular_jacobian_by_log_map(arm, q):
    jw, closed = qb.angular_jacobian(arm, q)
    assert closed.all()
    for k in range(2):
        assert np.allclose(jw[..., k], log_rate(lambda x: qb.fk(arm, x)[0], q, k), rtol=0, atol=2e-6)
    # J_v's columns are ω_j × v_3: the pointing direction moves as the frame turns.
    v3 = qb.direction(arm, q)[0]
    jv, _ = qb.direction_jacobian(arm, q)
    assert np.allclose(np.cross(jw, v3[:, :, None], axisa=1, axisb=1, axisc=1), jv, rtol=0, atol=1e-12)


def singularity_measures_by_identities(arm, q):
    m = qb.singularity_measures(arm, q)
    j2 = tangent_2x2(arm, q)
    assert np.allclose(np.linalg.det(j2), m.serial_a * m.serial_b / m.parallel, rtol=1e-9, atol=0)
    assert np.allclose(m.manipulability, np.abs(np.linalg.det(j2)), rtol=1e-9, atol=0)
    s = np.linalg.svd(j2, compute_uv=False)
    assert np.allclose(m.condition, s[:, 0] / s[:, 1], rtol=1e-9, atol=0)
    assert (np.sign(m.parallel) == (1 if qb.geometry(arm)["branch"] == "positive" else -1)).all()


def joint_rates_invert_the_jacobian(arm, q):
    rng = np.random.default_rng(4)
    wanted = rng.normal(size=q.shape)
    jv, _ = qb.direction_jacobian(arm, q)
    v3_rate = np.einsum("nik,nk->ni", jv, wanted)
    rates, ok = qb.joint_rates(arm, q, v3_rate + 0.3 * qb.direction(arm, q)[0])  # the radial part is dropped
    assert ok.all() and np.allclose(rates, wanted, rtol=1e-9, atol=1e-9)
    damped, ok = qb.joint_rates(arm, q, v3_rate, 0.2)
    normal = np.swapaxes(jv, -1, -2) @ jv + 0.04 * np.eye(2)
    assert ok.all() and np.allclose(np.einsum("nij,nj->ni", normal, damped),
                                    np.einsum("nki,nk->ni", jv, v3_rate), rtol=1e-9, atol=1e-9)


def workspace_margin_bounds_the_reachable_set(arm, q):
    rng = np.random.default_rng(5)
    v = np.concatenate([qb.direction(arm, q)[0], rng.normal(size=(400, 3))])
    margin = qb.workspace_margin(arm, v)
    reachable = np.array([arm.is_reachable_direction(d.tolist()) for d in v])
    clear = np.abs(margin) > 1e-6  # the solver's own acceptance blurs the edge by 1e-6
    assert clear.sum() > 300 and (reachable[clear] == (margin[clear] > 0)).all()
    nearest, angle = qb.nearest_reachable_direction(arm, v)
    u = v / np.linalg.norm(v, axis=1, keepdims=True)
    inside = margin > 0
    assert np.array_equal(nearest[inside], u[inside]) and (angle[inside] == 0).all()
    outside = ~inside
    # Outside, the nearest direction is the edge point moved inside by the least of 0, 1e-10, ..., 1e-4 rad
    # that ik_from_direction solves: never nearer than the exact edge, never more than 1e-4 farther.
    assert (angle[outside] >= -margin[outside] - 1e-12).all() and (angle[outside] <= -margin[outside] + 1e-4).all()
    assert np.allclose(np.arccos(np.clip(np.einsum("ni,ni->n", nearest, u), -1, 1))[outside], angle[outside], atol=1e-7)
    on_edge = qb.workspace_margin(arm, nearest[outside])
    assert (on_edge > -1e-9).all() and (on_edge < 1e-4).all()
    assert all(arm.is_reachable_direction(d.tolist()) for d in nearest[outside])


MOTION = {
    "direction_jacobian": direction_jacobian_by_differences,
    "angular_jacobian": angular_jacobian_by_log_map,
    "singularity_measures": singularity_measures_by_identities,
    "joint_rates": joint_rates_invert_the_jacobian,
    "workspace_margin and nearest_reachable_direction": workspace_margin_bounds_the_reachable_set,
}


@pytest.mark.parametrize("arm_name", ARMS)
@pytest.mark.parametrize("name", MOTION)
def test_motion_functions_against_their_references(name, arm_name):
    arm = ARMS[arm_name]
    MOTION[name](arm, closing_poses(arm))


def test_reference_values_of_the_default_arm_at_rest():
    m = qb.singularity_measures(ARMS["left"], [0.0, 0.0])
    assert m.serial_a == pytest.approx(0.305, abs=1e-3) and m.serial_b == pytest.approx(-0.305, abs=1e-3)
    assert m.parallel == pytest.approx(0.0805, abs=1e-4) and m.condition == pytest.approx(5.5, abs=0.05)
    assert qb.singularity_measures(ARMS["left"], [-1.26, 0.87]).condition == pytest.approx(1.005, abs=0.01)


def test_rows_that_do_not_close_are_nan_with_false_masks():
    arm, open_pair = ARMS["left"], [0.0, math.pi]
    for call in (qb.direction_jacobian, qb.angular_jacobian):
        values, closed = call(arm, [open_pair, [0.3, -0.2]])
        assert np.isnan(values[0]).all() and closed.tolist() == [False, True]
    assert all(math.isnan(field) for field in qb.singularity_measures(arm, open_pair))
    rates, ok = qb.joint_rates(arm, [open_pair, [math.nan, 0.0]], [0.0, 0.1, 0.0])
    assert np.isnan(rates).all() and not ok.any()
    for bad in ([0.0, 0.0, 0.0], [math.nan, 0.0, 1.0], [math.inf, 0.0, 0.0]):
        assert math.isnan(qb.workspace_margin(arm, bad)) and np.isnan(qb.nearest_reachable_direction(arm, bad)[0]).all()


# ---------------------------------------------------------------------- neck


def test_neck_rates_and_look_at():
    rng = np.random.default_rng(6)
    q = rng.uniform([-3, -1.4, -3], [3, 1.4, 3], size=(300, 3))
    jacobian = qb.neck_angular_jacobian(q)
    for k in range(3):
        assert np.allclose(jacobian[..., k], log_rate(qb.neck_fk, q, k), rtol=0, atol=2e-6)
    wanted = rng.normal(size=q.shape)
    rates, ok = qb.neck_joint_rates(q, np.einsum("nik,nk->ni", jacobian, wanted))
    assert ok.all() and np.allclose(rates, wanted, rtol=1e-8, atol=1e-8)
    assert not qb.neck_joint_rates([0.2, math.pi / 2, 0.1], [0.0, 0.0, 1.0])[1]  # gimbal lock

    directions = rng.normal(size=(300, 3)) * rng.uniform(0.1, 10, size=(300, 1))
    angles, ok = qb.neck_look_at(directions)
    head_x = qb.neck_fk(angles)[..., :, 0]
    assert ok.all() and (angles[:, 2] == 0).all() and (angles[:, 0] > -math.pi).all()
    assert np.allclose(head_x, directions / np.linalg.norm(directions, axis=1, keepdims=True), atol=1e-12)
    # With the previous angles, yaw continues across ±π and holds at the zenith.
    previous = np.array([[3.1, 0.0, 0.0], [-3.1, 0.2, 0.0], [1.0, 0.0, 0.0]])
    toward = np.array([[-1.0, -0.01, 0.0], [-1.0, 0.01, 0.0], [0.0, 0.0, 1.0]])
    angles, ok = qb.neck_look_at(toward, previous)
    assert ok.all() and np.abs(angles[:2, 0] - previous[:2, 0]).max() < 0.1 and angles[2, 0] == 1.0
    assert not qb.neck_look_at([[0.0, 0.0, 0.0], [math.nan, 1.0, 0.0]])[1].any()


# ------------------------------------------------------------- path following


def figure_eight(arm, steps=4034):
    """Directions a controller tracks at 500 Hz: a figure-eight about the rest direction."""
    t = np.linspace(0, 2 * math.pi, steps)
    center = np.array(arm.direction(0.3, -0.3))
    e1 = np.cross(center, [0.0, 0.0, 1.0])
    e1 /= np.linalg.norm(e1)
    e2 = np.cross(center, e1)
    return center + 0.45 * np.sin(t)[:, None] * e1 + 0.25 * np.sin(2 * t)[:, None] * e2


@pytest.mark.parametrize("arm_name", ARMS)
def test_a_followed_path_never_steps_further_than_asked_and_stays_in_its_limits(arm_name):
    arm = ARMS[arm_name]
    directions = figure_eight(arm)
    start = qb.ik_from_direction(arm, directions[0])[0]
    limits = [[-1.2, 1.2], [-1.0, 1.0]]
    joints, found, slot = qb.follow_path(arm, directions, start, max_step=0.02, joint_limits=limits)
    assert found.any()
    reference = np.array(start)
    for pair, ok in zip(joints, found):
        if ok:
            assert math.dist(pair, reference) <= 0.02 and -1.2 <= pair[0] <= 1.2 and -1.0 <= pair[1] <= 1.0
            reference = pair
        else:
            assert np.isnan(pair).all()
    assert (slot[~found] == -1).all()
    free, free_found, _ = qb.follow_path(arm, directions, start)
    assert free_found.sum() >= found.sum()
    limited, within = qb.ik_from_direction(arm, directions, joint_limits=limits)
    assert ((np.abs(limited[within]) <= [1.2, 1.0]).all())


BAD_OPTIONS = {
    "negative damping": (lambda a: qb.joint_rates(a, [0, 0], [0, 1, 0], -0.1), "damping"),
    "infinite damping": (lambda a: qb.joint_rates(a, [0, 0], [0, 1, 0], math.inf), "damping"),
    "zero max_step": (lambda a: qb.follow_path(a, np.ones((2, 3)), (0, 0), max_step=0.0), "max_step"),
    "NaN max_step": (lambda a: qb.follow_path(a, np.ones((2, 3)), (0, 0), max_step=math.nan), "max_step"),
    "NaN start": (lambda a: qb.follow_path(a, np.ones((2, 3)), (math.nan, 0)), "start"),
    "limits upside down": (lambda a: qb.follow_path(a, np.ones((2, 3)), (0, 0), joint_limits=[[1, -1], [-1, 1]]),
                           "joint_limits"),
    "limits with NaN": (lambda a: qb.ik_from_direction(a, [0, 1, 1], joint_limits=[[-1, 1], [math.nan, 1]]),
                        "joint_limits"),
    "limits of three rows": (lambda a: qb.ik_from_direction(a, [0, 1, 1], joint_limits=np.zeros((3, 2))),
                             "joint_limits"),
    "no workers": (lambda a: qb.fk(a, [0, 0], workers=0), "workers"),
    "workers -2": (lambda a: qb.neck_look_at([1, 0, 0], workers=-2), "workers"),
}


@pytest.mark.parametrize("call, name", BAD_OPTIONS.values(), ids=BAD_OPTIONS.keys())
def test_bad_options_raise_value_error_naming_the_option(call, name):
    with pytest.raises(ValueError, match=f"^argument '{name}': "):
        call(ARMS["left"])


@pytest.mark.parametrize("value", [1.5, True, "2"])
def test_workers_must_be_an_int(value):
    with pytest.raises(TypeError, match="^argument 'workers': "):
        qb.fk(ARMS["left"], [0, 0], workers=value)


WORKER_ARGUMENTS = {
    "direction_jacobian": lambda a, q, v: (a, q),
    "angular_jacobian": lambda a, q, v: (a, q),
    "singularity_measures": lambda a, q, v: (a, q),
    "joint_rates": lambda a, q, v: (a, q, v, 0.1),
    "workspace_margin": lambda a, q, v: (a, v),
    "nearest_reachable_direction": lambda a, q, v: (a, v),
    "neck_angular_jacobian": lambda a, q, v: (v,),
    "neck_joint_rates": lambda a, q, v: (v, v[::-1]),
    "neck_look_at": lambda a, q, v: (v, v[:1]),
}


@pytest.mark.parametrize("name", WORKER_ARGUMENTS)
def test_workers_give_the_same_bits(name):
    rng = np.random.default_rng(7)
    arguments = WORKER_ARGUMENTS[name](ARMS["right"], rng.uniform(-3, 3, size=(9000, 2)), rng.normal(size=(9000, 3)))
    function = getattr(qb, name)
    one = function(*arguments)
    for workers in (2, 3, -1):
        many = function(*arguments, workers=workers)
        pairs = zip(one, many) if isinstance(one, tuple) else [(one, many)]
        assert all(np.array_equal(a.view(np.uint8), b.view(np.uint8)) for a, b in pairs)
