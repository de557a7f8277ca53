import gc
import math
import sys

import numpy
import pytest
from hypothesis import assume, example, given, settings, strategies as st

from quorvel_torso_kinematics import QuorvelArmKinematics as Arm

LEFT, RIGHT = Arm.default_left(), Arm.default_right()
WORKSPACE = "Target orientation is outside the spherical 5-bar workspace."
ALPHA_PLUS_BETA, ALPHA_MINUS_BETA = 1.2, 0.2  # arm_arc ± coupler_arc of the presets
NAN = float("nan")

arms = st.sampled_from([LEFT, RIGHT])
angle = st.floats(-math.pi, math.pi, exclude_min=True, exclude_max=True)
finite = st.floats(-10.0, 10.0)
anything = st.floats(allow_nan=True, allow_infinity=True)
PROPERTY = settings(max_examples=400, deadline=None)


def outcome(solve, *args, **kwargs):
    """The pair a solver returns (checked to be a tuple of two floats), or None for the workspace error."""
    try:
        result = solve(*args, **kwargs)
    except RuntimeError as error:
        assert type(error) is RuntimeError and str(error) == WORKSPACE
        return None
    assert type(result) is tuple and len(result) == 2 and all(type(x) is float for x in result)
    return result


def frobenius(a, b):
    return math.sqrt(sum((x - y) ** 2 for ra, rb in zip(a, b) for x, y in zip(ra, rb)))


def angular_gap(a, b):
    return abs(math.remainder(a - b, math.tau))


def pair_tolerance(arm, pair):
    """1e-9, widened where an elbow closure of the inverse nearly touches (the inverse is then
    ill-conditioned like a square root: a 1e-16 input error becomes up to ~1e-8)."""
    d = arm.direction(*pair)
    m = -1.0 if arm.mirror() else 1.0
    arcs = (math.acos(max(-1.0, min(1.0, d[2]))), math.acos(max(-1.0, min(1.0, m * d[0]))))
    margin = min(abs(x - t) for x in arcs for t in (ALPHA_PLUS_BETA, ALPHA_MINUS_BETA))
    return 1e-9 if margin > 1e-9 else 1e-7


@PROPERTY
@given(arms, angle, angle)
def test_ik_of_fk_returns_the_pair(arm, a, b):
    assume(arm.is_reachable_joints(a, b))
    target = arm.fk(a, b)
    result = outcome(arm.ik, target)
    assert result is not None, (a, b)
    assert frobenius(arm.fk(*result), target) < 1e-6
    if abs(a + b) > 1e-4:  # on the diagonal a mirror-symmetric pair gives the same rotation
        tol = pair_tolerance(arm, (a, b))
        assert angular_gap(result[0], a) < tol and angular_gap(result[1], b) < tol, (a, b, result)


@PROPERTY
@given(arms, angle, angle)
def test_ik_from_direction_near_the_pair_returns_it(arm, a, b):
    assume(arm.is_reachable_joints(a, b))
    result = outcome(arm.ik_from_direction, arm.direction(a, b), near=(a, b))
    tol = pair_tolerance(arm, (a, b))
    assert result is not None and angular_gap(result[0], a) < tol and angular_gap(result[1], b) < tol


def perturbed(arm, a, b, entry, delta):
    assume(arm.is_reachable_joints(a, b))
    m = arm.fk(a, b)
    m[entry // 3][entry % 3] += delta
    return m


matrices = st.one_of(
    st.lists(st.lists(anything, min_size=3, max_size=3), min_size=3, max_size=3),
    st.builds(perturbed, arms, angle, angle, st.integers(0, 8),
              st.sampled_from([0.0, 1e-12, 1e-8, 5e-7, 9e-7, 1.1e-6, 1e-5, 1e-3, NAN, math.inf])),
)


@PROPERTY
@given(arms, matrices)
def test_is_reachable_orientation_agrees_with_ik(arm, m):
    result = outcome(arm.ik, m)
    assert arm.is_reachable_orientation(m) is (result is not None)
    if result is not None:
        assert frobenius(arm.fk(*result), m) < 1e-6


def scaled_direction(arm, a, b, scale, entry, delta):
    assume(arm.is_reachable_joints(a, b))
    v = [scale * x for x in arm.direction(a, b)]
    v[entry] += delta
    return v


directions = st.one_of(
    st.lists(anything, min_size=3, max_size=3),
    st.lists(finite, min_size=3, max_size=3),
    st.builds(scaled_direction, arms, angle, angle, st.sampled_from([1.0, 1e-11, 1e-13, 3.0, 1e8]),
              st.integers(0, 2), st.sampled_from([0.0, 1e-9, 1e-6, 1e-3, NAN, math.inf])),
)


@PROPERTY
@given(arms, directions)
# Two mirror-image candidates meeting near a fold of the solution, where the
# angles move by about sqrt(eps) when the normalised direction moves by eps.
@example(LEFT, [9.0, -1.192092896e-07, 9.0])
def test_is_reachable_direction_agrees_and_scale_is_irrelevant(arm, v):
    result = outcome(arm.ik_from_direction, v)
    assert arm.is_reachable_direction(v) is (result is not None)
    if result is not None:
        u = [x / math.hypot(*v) for x in v]
        assert math.dist(arm.direction(*result), u) < 1e-6
        if math.hypot(*v) < 1e150:  # the module squares the components
            scaled = outcome(arm.ik_from_direction, [7 * x for x in v])
            assert scaled is not None and math.dist(arm.direction(*scaled), u) < 1e-6
            # Only a tie of the smallest norm may flip; near a fold the norms
            # of the two branches are only known to about sqrt(eps).
            if scaled != pytest.approx(result, abs=1e-9):
                assert math.hypot(*scaled) == pytest.approx(math.hypot(*result), abs=1e-7), (result, scaled)


A = 1.300074  # twice the azimuth of the left arm's direction at (0, 0)


@pytest.mark.parametrize("near, expected", [
    (None, (0.0, 0.0)),
    ((1.3, 0), (A, 0.0)),
    ((0, -1.3), (0.0, -A)),
    ((NAN, 0.0), (A, 0.0)),  # a NaN metric never replaces the first survivor
    ((1.2, -1.3), (0.0, -A)),  # nearest is (A, -A), whose v_3 is off the direction: filtered out
])
def test_worked_example(near, expected):
    d = LEFT.direction(0, 0)
    assert d == pytest.approx([0.622814, 0.473503, 0.622814], abs=1e-6)
    result = outcome(LEFT.ik_from_direction, d, near)
    assert result == pytest.approx(expected, abs=1e-6) and result == LEFT.ik_from_direction(v3=d, near=near)
    if near is None:
        assert LEFT.ik_from_direction(d) == result
    assert LEFT.ik(LEFT.fk(0, 0)) == pytest.approx((0.0, 0.0), abs=1e-12)
    assert LEFT.ik(r_target=LEFT.fk(0, 0)) == LEFT.ik(LEFT.fk(0, 0))


@pytest.mark.parametrize("arm", [LEFT, RIGHT])
def test_result_types(arm):
    assert outcome(arm.ik, arm.fk(0.3, -0.2)) == pytest.approx((0.3, -0.2), abs=1e-9)
    assert outcome(arm.ik_from_direction, arm.direction(0.3, -0.2)) == pytest.approx((0.3, -0.2), abs=1e-9)
    assert arm.is_reachable_orientation(arm.fk(0.3, -0.2)) is True
    assert arm.is_reachable_direction(arm.direction(0.3, -0.2)) is True


@pytest.mark.parametrize("arm", [LEFT, RIGHT])
@pytest.mark.parametrize("v", [[0, 0, 0], [0, 5e-13, 0], [0, 0, 1], [0, 0, -1], [1, 0, 0], [-1, 0, 0],
                               [NAN, 0.5, 0.5], [0.6, NAN, 0.6], [math.inf, 0, 0]])
def test_unreachable_directions(arm, v):
    with pytest.raises(RuntimeError) as info:
        arm.ik_from_direction(v)
    assert str(info.value) == WORKSPACE
    with pytest.raises(RuntimeError, match=f"^{WORKSPACE}$"):
        arm.ik_from_direction(v, (0.0, 0.0))
    assert arm.is_reachable_direction(v) is False


@pytest.mark.parametrize("m", [
    [[x + 1e-3 * (i == 1 and j == 0) for j, x in enumerate(row)] for i, row in enumerate(LEFT.fk(0.3, -0.2))],
    [[0, 0, 0]] * 3, [[1, 0, 0], [0, 1, 0], [0, 0, 1]], [[NAN] * 3] * 3,
    [[row[0], row[1], 2 * row[2]] for row in LEFT.fk(0.3, -0.2)],  # third column of length 2
    [[-x for x in row] for row in LEFT.fk(0.3, -0.2)],  # not a proper rotation
])
def test_unreachable_orientations(m):
    with pytest.raises(RuntimeError) as info:
        LEFT.ik(m)
    assert str(info.value) == WORKSPACE
    assert LEFT.is_reachable_orientation(m) is False


class Seq:
    def __init__(self, *items):
        self.items = items

    def __len__(self):
        return len(self.items)

    def __getitem__(self, i):
        return self.items[i]


V = LEFT.direction(0.3, -0.2)
M = LEFT.fk(0.3, -0.2)
IKD = "QuorvelArmKinematics.ik_from_direction()"


@pytest.mark.parametrize("call, kind, message", [
    (lambda: LEFT.ik_from_direction(V, [0.1, 0.2]), TypeError,
     "argument 'near': 'list' object cannot be converted to 'PyTuple'"),
    (lambda: LEFT.ik_from_direction(V, near=(0.1,)), ValueError, "expected tuple of length 2, but got tuple of length 1"),
    (lambda: LEFT.ik_from_direction(V, near=(0.1, 0.2, 0.3)), ValueError,
     "expected tuple of length 2, but got tuple of length 3"),
    (lambda: LEFT.ik_from_direction(V, near=(0.1, "x")), TypeError, "argument 'near': must be real number, not str"),
    (lambda: LEFT.ik_from_direction({}, near=[1]), TypeError, "argument 'v3': 'dict' object cannot be converted to 'Sequence'"),
    (lambda: LEFT.ik_from_direction([0, 0], near=[1]), ValueError, "expected a sequence of length 3 (got 2)"),
    (lambda: LEFT.is_reachable_direction(V, near=(0, 0)), TypeError,
     "QuorvelArmKinematics.is_reachable_direction() got an unexpected keyword argument 'near'"),
    (lambda: LEFT.ik_from_direction([0, 0, 1], None, 1), TypeError,
     f"{IKD} takes from 1 to 2 positional arguments but 3 were given"),
    (lambda: LEFT.ik_from_direction(near=(0, 0)), TypeError, f"{IKD} missing 1 required positional argument: 'v3'"),
    (lambda: LEFT.ik_from_direction(V, v3=V), TypeError, f"{IKD} got multiple values for argument 'v3'"),
    (lambda: LEFT.ik(M, M), TypeError, "QuorvelArmKinematics.ik() takes 1 positional arguments but 2 were given"),
    (lambda: LEFT.ik([[1, 0, 0], [0, 1, 0]]), ValueError, "expected a sequence of length 3 (got 2)"),
    (lambda: LEFT.ik([[1, 0, 0], [0, 1], [0, 0, 1]]), ValueError, "expected a sequence of length 3 (got 2)"),
    (lambda: LEFT.is_reachable_orientation([[1, 0, 0], [0, 1, 0], [0, 0, 1, 0]]), ValueError,
     "expected a sequence of length 3 (got 4)"),
    (lambda: LEFT.ik([[1, 0, 0], 5, [0, 0, 1]]), TypeError, "argument 'r_target': 'int' object cannot be converted to 'Sequence'"),
    (lambda: LEFT.is_reachable_orientation(None), TypeError,
     "argument 'r_target': 'NoneType' object cannot be converted to 'Sequence'"),
    (lambda: LEFT.is_reachable_direction(5), TypeError, "argument 'v3': 'int' object cannot be converted to 'Sequence'"),
    (lambda: LEFT.is_reachable_direction({0, 1, 2}), TypeError, "argument 'v3': 'set' object cannot be converted to 'Sequence'"),
    (lambda: LEFT.ik_from_direction("abc"), TypeError, "argument 'v3': must be real number, not str"),
    (lambda: LEFT.ik(["abc", [0, 1, 0], [0, 0, 1]]), TypeError, "argument 'r_target': must be real number, not str"),
])
def test_argument_errors(call, kind, message):
    with pytest.raises(kind) as info:
        call()
    assert type(info.value) is kind and str(info.value) == message


@pytest.mark.parametrize("v", [[1, 0, 2], (1.0, 0.0, 2.0), [True, False, 2], Seq(1, 0.0, 2),
                               numpy.array([1.0, 0.0, 2.0]), [numpy.float32(1), numpy.int64(0), 2]])
def test_vector_forms_are_accepted(v):
    expected = LEFT.ik_from_direction([1.0, 0.0, 2.0])
    assert expected == pytest.approx((-0.834444, 0.377970), abs=1e-6)
    assert LEFT.ik_from_direction(v) == expected and LEFT.is_reachable_direction(v) is True
    assert LEFT.ik_from_direction(v, near=(1, 0)) == LEFT.ik_from_direction([1.0, 0.0, 2.0], (1.0, 0.0))


@pytest.mark.parametrize("v, same_as", [(range(3), [0.0, 1.0, 2.0]), (b"abc", [97.0, 98.0, 99.0])])
def test_other_sequences_convert_item_by_item(v, same_as):
    for arm in (LEFT, RIGHT):
        assert outcome(arm.ik_from_direction, v) == outcome(arm.ik_from_direction, same_as)
        assert arm.is_reachable_direction(v) is arm.is_reachable_direction(same_as)


@pytest.mark.parametrize("m", [tuple(map(tuple, M)), Seq(*M), numpy.array(M), [Seq(*row) for row in M]])
def test_matrix_forms_are_accepted(m):
    assert LEFT.ik(m) == LEFT.ik(M) and LEFT.is_reachable_orientation(m) is True


@pytest.mark.parametrize("name, signature, doc", [
    ("ik", "($self, r_target)",
     "Inverse kinematics: 3×3 rotation → `(θ_A, θ_B)`.\nRaises `RuntimeError` when the target orientation isn't reachable."),
    ("ik_from_direction", "($self, v3, near=None)",
     "Inverse kinematics from just the end-effector pointing direction\n(3-vector, automatically normalized). "
     "When multiple `(θ_A, θ_B)`\nbranches reach the same direction, `near` (an optional current\njoint pair) "
     "picks the closest one; otherwise the smallest-norm\nsolution wins."),
    ("is_reachable_orientation", "($self, r_target)", "Whether `r_target` is on the reachable manifold (IK succeeds)."),
    ("is_reachable_direction", "($self, v3)",
     "Whether the pointing direction `v3` (3-vector, auto-normalized)\nis on the reachable manifold."),
])
def test_documentation(name, signature, doc):
    for method in (getattr(Arm, name), getattr(LEFT, name)):
        assert method.__text_signature__ == signature and method.__doc__ == doc


def raising(kind, text):
    def method(*args):
        raise kind(text)  # a fresh instance: re-raising one object would grow its traceback
    return method


def hostile(**methods):
    return type("Hostile", (), methods)()


BAD_ITEM = hostile(__float__=raising(ZeroDivisionError, "item"))
HOSTILE = [
    (hostile(__len__=lambda s: 3, __getitem__=lambda s, i: [0.1, 0.2][i]), IndexError),  # len lies
    (hostile(__len__=raising(ValueError, "len"), __getitem__=lambda s, i: 0.0), ValueError),
    (hostile(__len__=raising(TypeError, "len"), __getitem__=lambda s, i: 0.0), TypeError),
    (hostile(__len__=lambda s: -1, __getitem__=lambda s, i: 0.0), ValueError),
    (hostile(__len__=lambda s: 3, __getitem__=lambda s, i: "x"), TypeError),
    (hostile(__len__=lambda s: 3, __getitem__=lambda s, i: [1, 2]), TypeError),
    (hostile(__len__=lambda s: 3, __getitem__=lambda s, i: BAD_ITEM), ZeroDivisionError),
    (hostile(__len__=lambda s: 3, __getitem__=lambda s, i: hostile(__float__=lambda t: "1")), TypeError),
    (hostile(__len__=lambda s: 3, __getitem__=raising(KeyError, "k")), KeyError),
]


@pytest.mark.parametrize("bad, kind", HOSTILE)
def test_hostile_arguments_fail_cleanly_without_leaks(bad, kind):
    as_vector = [lambda: LEFT.ik_from_direction(bad), lambda: LEFT.is_reachable_direction(bad),
                 lambda: LEFT.ik([M[0], M[1], bad]), lambda: LEFT.is_reachable_orientation([bad, M[1], M[2]])]
    elsewhere = [lambda: LEFT.ik_from_direction(V, (0.0, bad)), lambda: LEFT.ik(bad), lambda: LEFT.ik([bad] * 3)]
    gc.collect()
    before = sys.getrefcount(bad), sys.getrefcount(BAD_ITEM), sys.getrefcount(LEFT)
    for _ in range(300):
        for call in as_vector:
            with pytest.raises(kind) as info:
                call()
            assert type(info.value) is kind
            if kind is TypeError:
                assert str(info.value).startswith(("argument 'v3': ", "argument 'r_target': "))
        for call in elsewhere:
            with pytest.raises(Exception):
                call()
    del info
    gc.collect()  # the exceptions' tracebacks form cycles through this frame
    assert (sys.getrefcount(bad), sys.getrefcount(BAD_ITEM), sys.getrefcount(LEFT)) == before


def test_bad_v3_is_reported_before_near_is_looked_at():
    touched = []
    spy = hostile(__float__=lambda s: touched.append(1) or 0.0)
    with pytest.raises(TypeError, match="^argument 'v3': "):
        LEFT.ik_from_direction("abc", (spy, spy))
    assert touched == []
    LEFT.ik_from_direction(V, (spy, spy))
    assert touched == [1, 1]


def test_successful_calls_release_everything():
    item = 0.25 + 0.5  # a float object only this test refers to
    v, m, near = [item, 1.0, 1.0], [[item, 0, 0], [0, 1, 0], [0, 0, 1]], (item, item)
    before = sys.getrefcount(item), sys.getrefcount(LEFT)
    for _ in range(1000):
        LEFT.ik_from_direction(v, near), LEFT.is_reachable_direction(v), LEFT.is_reachable_orientation(m)
    assert (sys.getrefcount(item), sys.getrefcount(LEFT)) == before
