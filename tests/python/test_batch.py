"""The array companion against the per-call module: row by row, bit for bit,
over several leading shapes and input kinds; its errors, empty inputs, path
following and threads."""

import math
import subprocess
import sys
import textwrap
import threading
import time
import weakref

import numpy as np
import pytest

import quorvel_torso_kinematics_batch as qb
from quorvel_torso_kinematics import QuorvelArmKinematics as Arm, QuorvelNeckKinematics as Neck

ARMS = {
    "left": Arm.default_left(),
    "right": Arm.default_right(),
    "negative": Arm.from_json('{"arm_arc": 0.8, "coupler_arc": 0.45, "branch": "negative", "mirror": true}'),
}
NECK = Neck()
LEADING = {"none": (), "flat": (24,), "grid": (4, 6)}


def outcome(call, *args, **kwargs):
    """The per-call result, or None where the method raises for that pose."""
    try:
        return call(*args, **kwargs)
    except (RuntimeError, ValueError):
        return None


def same_bits(a, b):
    a, b = np.asarray(a, dtype=np.float64), np.asarray(b, dtype=np.float64)
    return a.shape == b.shape and np.array_equal(a.view(np.uint64), b.view(np.uint64))


def check_rows(values, mask, expected):
    """values[i] equals expected[i] bit for bit, or is NaN where that is None; mask[i] is True exactly where
    there is a row and it holds no NaN."""
    values = values.reshape(len(expected), -1)
    mask = mask.reshape(len(expected))
    for i, want in enumerate(expected):
        if want is None:
            assert not mask[i] and np.isnan(values[i]).all(), i
        else:
            assert same_bits(values[i], np.ravel(want)), (i, values[i], want)
            assert mask[i] == (not np.isnan(values[i]).any()), (i, values[i])


def joint_rows(rng, n):
    rows = rng.uniform(-3.5, 3.5, size=(n, 2))
    rows[:6] = [[0.0, math.pi], [math.nan, 0.0], [0.0, 0.0], [-0.0, 0.3], [math.inf, 0.0], [0.3, -0.2]]
    return rows


def rotation_rows(arm, rng, n):
    joints = rng.uniform(-3.0, 3.0, size=(n, 2))
    rows = np.array([outcome(arm.fk, a, b) or np.full((3, 3), 0.5) for a, b in joints])
    rows[1] += 1e-3  # just off the reachable set
    rows[2] = np.eye(3)  # pointing along joint axis A
    rows[3, 0, 0] = math.nan
    rows[4] = NECK.fk([0.3, -0.7, 1.1])
    return rows


def direction_rows(arm, rng, n):
    joints = rng.uniform(-3.0, 3.0, size=(n, 2))
    rows = np.array([outcome(arm.direction, a, b) or rng.normal(size=3) for a, b in joints])
    rows[:5] = [[0.0, 0.0, 0.0], [0.0, 0.0, 1.0], [1.0, 0.0, 0.0], [math.nan, 0.0, 1.0], [0.0, 5e-13, 0.0]]
    rows[5] *= 7.0  # any length
    return rows


def shaped(rows, lead, trailing):
    count = math.prod(lead)
    return rows[:count].reshape(*lead, *trailing), rows[:count]


# --------------------------------------------------------------- bit identity


def neck_angle_rows(rng, n):
    angles = rng.uniform(-3.2, 3.2, size=(n, 3))
    angles[:4] = [[0, 0, 0], [0.3, math.pi / 2, 0], [math.nan, 0, 0], [0.2, -0.0, -0.4]]  # row 1: gimbal lock
    return angles


# A row per function: its input arrays (24 rows each), the batch call, and the reference for one row: the
# per-call method's result, None where it raises.
IDENTITY = {
    "fk": (lambda arm, rng: [joint_rows(rng, 24)], qb.fk, lambda arm, j: outcome(arm.fk, *j)),
    "direction": (lambda arm, rng: [joint_rows(rng, 24)], qb.direction, lambda arm, j: outcome(arm.direction, *j)),
    "is_reachable_joints": (lambda arm, rng: [joint_rows(rng, 24)], qb.is_reachable_joints,
                            lambda arm, j: arm.is_reachable_joints(*j)),
    "ik": (lambda arm, rng: [rotation_rows(arm, rng, 24)], qb.ik, lambda arm, r: outcome(arm.ik, r.tolist())),
    "ik_from_direction": (lambda arm, rng: [direction_rows(arm, rng, 24)], qb.ik_from_direction,
                          lambda arm, v: outcome(arm.ik_from_direction, v.tolist())),
    "ik_from_direction near": (lambda arm, rng: [direction_rows(arm, rng, 24), rng.uniform(-2, 2, size=(24, 2))],
                               qb.ik_from_direction,
                               lambda arm, v, p: outcome(arm.ik_from_direction, v.tolist(), tuple(p))),
    "neck_fk": (lambda arm, rng: [neck_angle_rows(rng, 24)], lambda arm, j, **options: qb.neck_fk(j, **options),
                lambda arm, j: NECK.fk(j.tolist())),
    "neck_ik": (lambda arm, rng: [np.array([NECK.fk(a.tolist()) for a in neck_angle_rows(rng, 24)])],
                lambda arm, r, **options: qb.neck_ik(r, **options), lambda arm, r: outcome(NECK.ik, r.tolist())),
}


def check_function(name, arm, inputs, lead):
    _, batch, reference = IDENTITY[name]
    shaped_inputs = [x[:math.prod(lead)].reshape(*lead, *x.shape[1:]) for x in inputs]
    flat = list(zip(*[x[:math.prod(lead)] for x in inputs]))
    expected = [reference(arm, *row) for row in flat]
    result = batch(arm, *shaped_inputs)
    outputs = result if isinstance(result, tuple) else (result,)
    assert all(out.shape[:len(lead)] == lead for out in outputs)
    if len(outputs) == 1 and outputs[0].dtype == np.bool_:
        assert outputs[0].ravel().tolist() == expected
    elif len(outputs) == 1:
        assert outputs[0].dtype == np.float64
        assert all(same_bits(got, np.ravel(want)) for got, want in zip(outputs[0].reshape(len(flat), -1), expected))
    else:
        assert outputs[0].dtype == np.float64 and outputs[-1].dtype == np.bool_
        check_rows(outputs[0], outputs[-1], expected)


@pytest.mark.parametrize("lead", LEADING.values(), ids=LEADING.keys())
@pytest.mark.parametrize("arm_name", ARMS)
@pytest.mark.parametrize("name", IDENTITY)
def test_every_function_matches_its_reference_row_by_row(name, arm_name, lead):
    arm = ARMS[arm_name]
    check_function(name, arm, IDENTITY[name][0](arm, np.random.default_rng(1)), lead)


@pytest.mark.parametrize("name", IDENTITY)
def test_any_number_of_workers_gives_the_same_bits(name):
    arm = ARMS["negative"]
    inputs = [np.concatenate([x] * 400) for x in IDENTITY[name][0](arm, np.random.default_rng(2))]  # 9,600 rows
    one = IDENTITY[name][1](arm, *inputs)
    for workers in (2, 3, -1):
        many = IDENTITY[name][1](arm, *inputs, workers=workers)
        pairs = zip(one, many) if isinstance(one, tuple) else [(one, many)]
        assert all(np.array_equal(a.view(np.uint8), b.view(np.uint8)) for a, b in pairs)


@pytest.mark.parametrize("near_shape, v3_shape, result_lead", [
    ((2,), (5, 3), (5,)),
    ((1, 2), (5, 3), (5,)),
    ((4, 1, 2), (5, 3), (4, 5)),
    ((4, 5, 2), (5, 3), (4, 5)),
    ((5, 2), (3,), (5,)),
    ((3, 1, 2), (1, 4, 3), (3, 4)),
])
def test_near_broadcasts_against_v3(near_shape, v3_shape, result_lead):
    arm = ARMS["left"]
    rng = np.random.default_rng(3)
    v3 = direction_rows(arm, rng, 40)[-math.prod(v3_shape[:-1]):].reshape(v3_shape)
    near = rng.uniform(-2, 2, size=near_shape)
    joints, found = qb.ik_from_direction(arm, v3, near)
    assert joints.shape == (*result_lead, 2)
    v_rows = np.broadcast_to(v3, (*result_lead, 3)).reshape(-1, 3)
    n_rows = np.broadcast_to(near, (*result_lead, 2)).reshape(-1, 2)
    check_rows(joints, found, [outcome(arm.ik_from_direction, v.tolist(), tuple(p)) for v, p in zip(v_rows, n_rows)])


def test_near_as_a_tuple_or_none_is_the_per_call_near():
    arm = ARMS["left"]
    v = arm.direction(0, 0)
    assert qb.ik_from_direction(arm, v, (1.3, 0.0))[0].tolist() == list(arm.ik_from_direction(v, near=(1.3, 0.0)))
    assert qb.ik_from_direction(arm, v, near=None)[0].tolist() == list(arm.ik_from_direction(v))


def splitting_near(a, b):
    """A point nearer to a than to b, but nearer to b once θ_B's difference counts twice."""
    d = b - a
    step = np.array([-d[0], 0.75 * d[0] * d[0] / d[1]])
    return (a + b) / 2 + 1e-3 * step / np.linalg.norm(step)


@pytest.mark.parametrize("name", ARMS)
def test_candidates_hold_every_solution_in_fixed_slots(name):
    arm = ARMS[name]
    rng = np.random.default_rng(5)
    v3 = direction_rows(arm, rng, 60)
    joints, exists, reaches = qb.direction_candidates(arm, v3)
    assert joints.shape == (60, 4, 2) and exists.shape == reaches.shape == (60, 4)
    assert not (reaches & ~exists).any() and np.isnan(joints[~exists]).all()
    nears = rng.uniform(-3, 3, size=(60, 3, 2))
    for row, (pairs, hit) in enumerate(zip(joints, reaches)):
        reaching = pairs[hit]
        apart = [(a, b) for a in reaching for b in reaching if (a != b).all()]  # slots differing in both joints
        if apart:
            nears[row, 0] = splitting_near(*apart[0])
    chosen_near, _ = qb.ik_from_direction(arm, v3[:, None, :], nears)  # broadcast to (60, 3)
    weighting_would_differ = 0
    for v, pairs, has, hit, row_nears, row_chosen in zip(v3, joints, exists, reaches, nears, chosen_near):
        solved = outcome(arm.ik_from_direction, v.tolist())
        assert hit.any() == (solved is not None)
        if solved is not None:
            # The solver's choice: the reaching slot of smallest norm, earlier on a tie; with `near`, the one
            # nearest in plain Euclidean distance (both joints weigh the same).
            norms = [(p[0] * p[0] + p[1] * p[1], k) for k, p in enumerate(pairs) if hit[k]]
            assert same_bits(pairs[min(norms)[1]], solved)
            for near, got in zip(row_nears, row_chosen):
                plain = min((((p - near) ** 2).sum(), k) for k, p in enumerate(pairs) if hit[k])[1]
                skewed = min(((p[0] - near[0]) ** 2 + 2 * (p[1] - near[1]) ** 2, k)
                             for k, p in enumerate(pairs) if hit[k])[1]
                assert same_bits(pairs[plain], got)
                weighting_would_differ += plain != skewed
        # Slots sharing a side share that joint's angle.
        for k, l in ((0, 1), (2, 3)):
            if has[k] and has[l]:
                assert same_bits(pairs[k, 0], pairs[l, 0])
        for k, l in ((0, 2), (1, 3)):
            if has[k] and has[l]:
                assert same_bits(pairs[k, 1], pairs[l, 1])
    assert weighting_would_differ > 0  # the table tells the two metrics apart
    left = ARMS["left"]
    rest = qb.direction_candidates(left, left.direction(0, 0))
    assert rest[1].tolist() == [True] * 4 and rest[2].sum() == 3


@pytest.mark.parametrize("name", ARMS)
def test_nearest_pointing_reaches_the_third_column(name):
    arm = ARMS[name]
    rng = np.random.default_rng(6)
    targets = rotation_rows(arm, rng, 40)
    twist = 0.02
    targets[10:20, :, :2] = targets[10:20, :, :2] @ np.array([[math.cos(twist), -math.sin(twist)],
                                                                [math.sin(twist), math.cos(twist)]])
    joints, residual, found = qb.nearest_pointing(arm, targets)
    for r, pair, e, ok in zip(targets, joints, residual, found):
        reachable = arm.is_reachable_direction(r[:, 2].tolist())
        assert ok == (reachable and not math.isnan(e))
        if not reachable:
            assert np.isnan(pair).all() and math.isnan(e)
            continue
        reached = arm.fk(*pair)
        total = 0.0
        for i in range(3):
            for j in range(3):
                total += (reached[i][j] - r[i, j]) ** 2
        assert same_bits(e, math.sqrt(total)) or (math.isnan(e) and math.isnan(total))
        exact = outcome(arm.ik, r.tolist())
        if exact is not None:
            assert e < 1e-6 and np.allclose(pair, exact, atol=1e-9)
    assert np.nanmax(residual[10:20]) > 1e-3  # a twist cannot be made, only measured


# --------------------------------------------------------------- input kinds


def input_kinds():
    base = joint_rows(np.random.default_rng(7), 12)
    wide = np.zeros((12, 4))
    wide[:, ::2] = base
    return base, {
        "list": base.tolist(),
        "strided view": wide[:, ::2],
        "Fortran order": np.asfortranarray(base),
        "big-endian": base.astype(">f8"),
        "read-only": np.frombuffer(base.tobytes(), dtype=np.float64).reshape(12, 2),
        "reversed": base[::-1].copy()[::-1],
    }


@pytest.mark.parametrize("kind", input_kinds()[1])
def test_array_likes_give_the_float64_results(kind):
    base, kinds = input_kinds()
    arm = ARMS["right"]
    for got, want in zip(qb.fk(arm, kinds[kind]), qb.fk(arm, base)):
        assert same_bits(got, want)


@pytest.mark.parametrize("values, dtype", [([[1, -2], [0, 3]], np.int64), ([[1, 0]], np.int8), ([[1, 0]], np.uint32),
                                           ([[0.5, 0.25]], np.float32), ([[True, False]], np.bool_)])
def test_real_dtypes_are_cast_safely(values, dtype):
    arm = ARMS["left"]
    got = qb.fk(arm, np.array(values, dtype=dtype))
    want = qb.fk(arm, np.array(values, dtype=dtype).astype(np.float64))
    assert all(same_bits(g, w) for g, w in zip(got, want))


def test_a_contiguous_float64_input_is_read_in_place_and_released_after():
    joints = joint_rows(np.random.default_rng(8), 10)
    qb.fk(ARMS["left"], joints)
    assert weakref.getweakrefcount(joints) == 0  # no pin left behind
    joints.resize((5, 2), refcheck=False)


# ------------------------------------------------------------------- errors

arm = ARMS["left"]
ERRORS = {
    "joints trailing 3": (lambda: qb.fk(arm, np.zeros((5, 3))), ValueError,
                          "argument 'joints': expected an array of shape (..., 2), got (5, 3)"),
    "joints scalar": (lambda: qb.direction(arm, 1.0), ValueError,
                      "argument 'joints': expected an array of shape (..., 2), got ()"),
    "r_target rows": (lambda: qb.ik(arm, np.zeros((4, 3, 2))), ValueError,
                      "argument 'r_target': expected an array of shape (..., 3, 3), got (4, 3, 2)"),
    "v3 trailing 2": (lambda: qb.ik_from_direction(arm, [1.0, 0.0]), ValueError,
                      "argument 'v3': expected an array of shape (..., 3), got (2,)"),
    "near trailing 3": (lambda: qb.ik_from_direction(arm, [0.0, 1.0, 1.0], [1.0, 0.0, 0.0]), ValueError,
                        "argument 'near': expected an array of shape (..., 2), got (3,)"),
    "near not broadcasting": (lambda: qb.ik_from_direction(arm, np.ones((4, 3)), np.zeros((5, 2))), ValueError,
                              "argument 'near': expected an array of shape (2,) or (..., 2) whose leading shape "
                              "broadcasts with the leading shape (4,) of 'v3', got leading shape (5,)"),
    "path of one direction": (lambda: qb.follow_path(arm, [0.0, 1.0, 1.0], (0, 0)), ValueError,
                              "argument 'directions': expected an array of shape (N, 3), got (3,)"),
    "start of many pairs": (lambda: qb.follow_path(arm, np.ones((2, 3)), np.zeros((2, 2))), ValueError,
                            "argument 'start': expected an array of shape (2,), got (2, 2)"),
    "candidates trailing 4": (lambda: qb.direction_candidates(arm, np.ones((1, 4))), ValueError,
                              "argument 'v3': expected an array of shape (..., 3), got (1, 4)"),
    "pointing one row": (lambda: qb.nearest_pointing(arm, np.ones((3,))), ValueError,
                         "argument 'r_target': expected an array of shape (..., 3, 3), got (3,)"),
    "neck joints": (lambda: qb.neck_fk(np.zeros((2, 2))), ValueError,
                    "argument 'joints': expected an array of shape (..., 3), got (2, 2)"),
    "neck r": (lambda: qb.neck_ik(np.zeros((3, 4))), ValueError,
               "argument 'r': expected an array of shape (..., 3, 3), got (3, 4)"),
    "strings": (lambda: qb.fk(arm, [["0.1", "0.2"]]), TypeError,
                "argument 'joints': expected an array of real numbers (safely castable to float64), got dtype <U3"),
    "objects": (lambda: qb.ik(arm, np.empty((3, 3), dtype=object)), TypeError,
                "argument 'r_target': expected an array of real numbers (safely castable to float64), "
                "got dtype object"),
    "complex": (lambda: qb.neck_fk([1j, 0, 0]), TypeError,
                "argument 'joints': expected an array of real numbers (safely castable to float64), "
                "got dtype complex128"),
    "None as near is fine, None as v3 is not": (lambda: qb.ik_from_direction(arm, None), TypeError,
                                                "argument 'v3': expected an array of real numbers (safely castable "
                                                "to float64), got dtype object"),
    "long double": (lambda: qb.neck_ik(np.eye(3, dtype=np.longdouble)), TypeError,
                    "argument 'r': expected an array of real numbers (safely castable to float64), "
                    "got dtype float128"),
    "ragged": (lambda: qb.fk(arm, [[1.0, 2.0], [3.0]]), ValueError,
               "argument 'joints': setting an array element with a sequence. The requested array has an "
               "inhomogeneous shape after 1 dimensions. The detected shape was (2,) + inhomogeneous part."),
    "arm is a neck": (lambda: qb.fk(NECK, [0.0, 0.0]), TypeError,
                      "argument 'arm': 'QuorvelNeckKinematics' object cannot be converted to 'QuorvelArmKinematics'"),
    "arm is None": (lambda: qb.follow_path(None, np.ones((1, 3)), (0, 0)), TypeError,
                    "argument 'arm': 'NoneType' object cannot be converted to 'QuorvelArmKinematics'"),
    "arm checked first": (lambda: qb.ik(3, "x"), TypeError,
                          "argument 'arm': 'int' object cannot be converted to 'QuorvelArmKinematics'"),
    "missing argument": (lambda: qb.fk(arm), TypeError, "fk() missing 1 required positional argument: 'joints'"),
    "unknown keyword": (lambda: qb.neck_fk(joints=[0, 0, 0], r=1), TypeError,
                        "neck_fk() got an unexpected keyword argument 'r'"),
    "too many": (lambda: qb.ik_from_direction(arm, [0, 1, 1], None, None), TypeError,
                 "ik_from_direction() takes from 2 to 3 positional arguments but 4 were given"),
}


@pytest.mark.parametrize("call, kind, message", ERRORS.values(), ids=ERRORS.keys())
def test_bad_arguments_raise_naming_the_argument(call, kind, message):
    with pytest.raises(kind) as raised:
        call()
    assert type(raised.value) is kind
    assert str(raised.value) == message


EMPTY = {
    "fk": (lambda: qb.fk(arm, np.zeros((0, 2))), [(0, 3, 3), (0,)]),
    "fk grid": (lambda: qb.fk(arm, np.zeros((3, 0, 2))), [(3, 0, 3, 3), (3, 0)]),
    "direction int": (lambda: qb.direction(arm, np.zeros((0, 2), dtype=np.int32)), [(0, 3), (0,)]),
    "is_reachable_joints": (lambda: qb.is_reachable_joints(arm, np.zeros((0, 2))), (0,)),
    "ik": (lambda: qb.ik(arm, np.zeros((0, 3, 3))), [(0, 2), (0,)]),
    "ik_from_direction near": (lambda: qb.ik_from_direction(arm, np.zeros((0, 3)), (1, 2)), [(0, 2), (0,)]),
    "ik_from_direction near rows": (lambda: qb.ik_from_direction(arm, np.zeros((0, 3)), np.zeros((0, 2))),
                                    [(0, 2), (0,)]),
    "follow_path": (lambda: qb.follow_path(arm, np.zeros((0, 3)), (0, 0)), [(0, 2), (0,), (0,)]),
    "direction_candidates": (lambda: qb.direction_candidates(arm, np.zeros((0, 3))), [(0, 4, 2), (0, 4), (0, 4)]),
    "nearest_pointing": (lambda: qb.nearest_pointing(arm, np.zeros((0, 3, 3))), [(0, 2), (0,), (0,)]),
    "neck_fk": (lambda: qb.neck_fk(np.zeros((0, 3))), (0, 3, 3)),
    "neck_ik": (lambda: qb.neck_ik(np.zeros((0, 3, 3))), [(0, 3), (0,)]),
}


@pytest.mark.parametrize("call, shapes", EMPTY.values(), ids=EMPTY.keys())
def test_empty_inputs_give_empty_results(call, shapes):
    result = call()
    got = result.shape if isinstance(result, np.ndarray) else [r.shape for r in result]
    assert got == shapes


# ------------------------------------------------------------ path following


def sweep(arm, start, end, steps):
    """Directions along a straight line in joint space: a smooth path through the workspace."""
    pairs = np.linspace(start, end, steps)
    directions, closed = qb.direction(arm, pairs)
    assert closed.all()
    return pairs, directions


@pytest.mark.parametrize("name", ARMS)
def test_follow_path_is_the_per_call_chain_and_stays_on_its_branch(name):
    arm = ARMS[name]
    # Long enough that another branch comes nearer to the start than the followed one.
    pairs, directions = sweep(arm, (0.3, 0.4), (1.3, -0.3), 300)
    joints, found, slot = qb.follow_path(arm, directions, pairs[0])
    near, expected = tuple(pairs[0]), []
    for v in directions:
        pair = outcome(arm.ik_from_direction, v.tolist(), near)
        expected.append(pair)
        near = pair or near
    check_rows(joints, found, expected)
    assert found.all()
    # Each row names the candidate slot it took.
    assert same_bits(qb.direction_candidates(arm, directions)[0][np.arange(len(slot)), slot], joints)
    assert np.abs(np.diff(joints, axis=0)).max() < 0.005  # no jump between branches
    assert np.allclose(joints, pairs, atol=1e-9)
    # Solved nearest the start instead, or without `near`, the same directions leave the branch.
    fixed, _ = qb.ik_from_direction(arm, directions, pairs[0])
    free, _ = qb.ik_from_direction(arm, directions)
    assert np.abs(fixed - pairs).max() > 0.1 and np.abs(free - pairs).max() > 0.1


@pytest.mark.parametrize("start, end", [((0.2, -0.3), (0.4, -0.1)), ((1.0, -0.1), (1.3, -0.3))],
                         ids=["near the smallest-norm pair", "on another branch than the smallest-norm pair"])
def test_follow_path_reports_unsolvable_rows_and_resumes_near_the_last_solution(start, end):
    pairs, directions = sweep(arm, start, end, 20)
    directions[5] = [0.0, 0.0, 1.0]  # joint axis A: no solution
    directions[6] = [math.nan, 0.0, 0.0]
    directions[7] = 0.0
    joints, found, slot = qb.follow_path(arm, directions, start)
    assert found.tolist() == [i not in (5, 6, 7) for i in range(20)]
    assert np.isnan(joints[5:8]).all() and (slot[5:8] == -1).all() and (slot[found] >= 0).all()
    assert same_bits(joints[8], arm.ik_from_direction(directions[8].tolist(), near=tuple(joints[4])))
    # Past the gap the path resumes on its own branch, not at the smallest-norm pair.
    assert np.allclose(joints[8:], pairs[8:], atol=1e-9)


# ------------------------------------------------------------------ threads


def test_threads_over_chunks_give_the_single_threaded_result():
    rng = np.random.default_rng(9)
    joints = joint_rows(rng, 40_000)
    directions = direction_rows(arm, rng, 40_000)
    whole = [qb.fk(arm, joints), qb.ik_from_direction(arm, directions, (0.3, -0.2)),
             qb.direction_candidates(arm, directions)]
    chunks = np.array_split(np.arange(40_000), 8)
    parts = {}

    def work(k, rows):
        parts[k] = [qb.fk(arm, joints[rows]), qb.ik_from_direction(arm, directions[rows], (0.3, -0.2)),
                    qb.direction_candidates(arm, directions[rows])]

    threads = [threading.Thread(target=work, args=(k, rows)) for k, rows in enumerate(chunks)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    for f, results in enumerate(whole):
        for r, result in enumerate(results):
            joined = np.concatenate([parts[k][f][r] for k in range(len(chunks))])
            assert same_bits(joined, result) if joined.dtype == np.float64 else np.array_equal(joined, result)


def test_the_input_cannot_be_resized_while_rows_are_read_and_writes_do_not_crash():
    joints = joint_rows(np.random.default_rng(10), 1_000_000)
    results, refused = [], threading.Event()

    def work():
        # Calls again until the main thread has met a call in progress (the scheduler decides when).
        for _ in range(50):
            results.append(qb.fk(arm, joints))
            if refused.is_set():
                break

    # Threads change hands only where one gives the lock up (the worker for its rows, this thread in
    # sleep(0)), so a call seen holding its pin still holds it at the resize.
    interval = sys.getswitchinterval()
    sys.setswitchinterval(60)
    try:
        worker = threading.Thread(target=work)
        worker.start()
        while worker.is_alive():
            joints[::1000] = 0.1  # racy values in the result, never a crash
            if weakref.getweakrefcount(joints):  # a call has pinned the array
                with pytest.raises(ValueError, match="cannot resize"):
                    joints.resize((10, 2), refcheck=False)
                refused.set()
            time.sleep(0)
        worker.join()
    finally:
        sys.setswitchinterval(interval)
    assert refused.is_set() and all(rotations.shape == (1_000_000, 3, 3) for rotations, _ in results)


# ------------------------------------------------------------ the module


SIGNATURES = {
    "fk": "(arm, joints, *, workers=1)", "direction": "(arm, joints, *, workers=1)",
    "is_reachable_joints": "(arm, joints, *, workers=1)", "ik": "(arm, r_target, *, workers=1)",
    "ik_from_direction": "(arm, v3, near=None, *, joint_limits=None, workers=1)",
    "follow_path": "(arm, directions, start, *, max_step=None, joint_limits=None, workers=1)", "direction_candidates": "(arm, v3, *, workers=1)",
    "nearest_pointing": "(arm, r_target, *, workers=1)", "neck_fk": "(joints, *, workers=1)",
    "neck_ik": "(r, *, workers=1)",
}


@pytest.mark.parametrize("name, signature", SIGNATURES.items())
def test_every_function_documents_its_signature_shapes_and_errors(name, signature):
    function = getattr(qb, name)
    assert function.__text_signature__ == signature
    assert "(..." in function.__doc__ or "(N, 3)" in function.__doc__
    assert "radians" in function.__doc__ and "Raises" in function.__doc__ and "ValueError" in function.__doc__


def run_python(code, path=None):
    env_path = [] if path is None else [str(path)]
    script = f"import sys; sys.path[:0] = {env_path!r}\n" + textwrap.dedent(code)
    return subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=60)


def test_the_main_module_does_not_import_numpy():
    result = run_python("import quorvel_torso_kinematics, sys; print('numpy' in sys.modules)")
    assert result.returncode == 0 and result.stdout.strip() == "False", result.stderr


def test_a_main_module_without_the_arm_capsule_is_refused_at_import(tmp_path):
    (tmp_path / "quorvel_torso_kinematics.py").write_text("class QuorvelArmKinematics:\n    pass\n")
    result = run_python("import quorvel_torso_kinematics_batch", tmp_path)
    assert result.returncode != 0
    assert "ImportError: quorvel_torso_kinematics_batch needs the arm capsule of quorvel_torso_kinematics" in result.stderr
    assert "the two modules come from different builds" in result.stderr
