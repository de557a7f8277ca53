import math

import numpy as np
import pytest

import quorvel_torso_kinematics_batch as batch

from example_scripts import GEOMETRY_BAD_INPUTS, check_one_error_line, imported, written_pngs
from quorvel_torso_kinematics import QuorvelArmKinematics as Arm

SCRIPT = "workspace_map"
OUTPUTS = ("workspace_joint_space.png", "workspace_directions.png")
# The grids are checked against per-call predicates for each of these arms.
GRID_ARMS = {"left": Arm.default_left(), "right": Arm.default_right(), "custom": Arm.from_json('[0.9, 0.7, "negative", true]')}


@pytest.fixture(scope="module")
def script():
    with imported(SCRIPT) as module:
        yield module


# (document text or None, arguments, a fragment the error line must hold)
BAD_INPUTS = {
    **GEOMETRY_BAD_INPUTS,
    "invalid JSON": ('{"arm_arc": 0.7,', ["--document", "doc.json"], "Invalid arms.json: EOF while parsing"),
    "wrong field type": (
        '{"arm_arc": 0.7,\n "coupler_arc": "wide"}',
        ["--document", "doc.json"],
        'Invalid arms.json: invalid type: string "wide", expected f64 at line 2',
    ),
    # The module's message quotes the variant after resolving escapes: a line break.
    "branch holding a line break": (
        '{"arm_arc": 0.7, "coupler_arc": 0.5, "branch": "a\\nb"}',
        ["--document", "doc.json"],
        "unknown variant",
    ),
    "negative arc in document": ('{"arm_arc": -0.3, "coupler_arc": 0.5}', ["--document", "doc.json"], "doc.json: arm_arc"),
    "NaN arc": (None, ["--arm-arc", "nan"], "arm_arc"),
    "resolution too small": (None, ["--resolution", "2"], "--resolution"),
}


@pytest.mark.parametrize("document, args, fragment", BAD_INPUTS.values(), ids=BAD_INPUTS.keys())
def test_bad_input_gives_one_error_line(tmp_path, document, args, fragment):
    check_one_error_line(SCRIPT, tmp_path, document, args, fragment)


@pytest.mark.parametrize(
    "args",
    [[], ["--arm-arc", "0.9", "--coupler-arc", "0.7", "--branch", "negative", "--mirror"]],
    ids=["presets", "custom geometry"],
)
def test_writes_two_pngs_and_prints_their_paths(tmp_path, args):
    for size, width, height in written_pngs(SCRIPT, [*args, "--resolution", "24"], tmp_path, OUTPUTS):
        assert size > 10_000
        assert 300 <= width <= 2000 and 300 <= height <= 2000


# The shaded region comes from unit_vector and the starred direction from
# lon_lat_degrees; the two must share one convention or the picture lies.
@pytest.mark.parametrize(
    "v, lon, lat",
    [
        ((1.0, 0.0, 0.0), 0.0, 0.0),
        ((0.0, 3.0, 0.0), 90.0, 0.0),
        ((-2.0, 0.0, 0.0), 180.0, 0.0),
        ((0.0, -1.0, 0.0), -90.0, 0.0),
        ((0.0, 0.0, 5.0), 0.0, 90.0),
        ((1.0, 1.0, -math.sqrt(2.0)), 45.0, -45.0),
    ],
)
def test_lon_lat_convention_and_round_trip(script, v, lon, lat):
    assert script.lon_lat_degrees(v) == pytest.approx((lon, lat), abs=1e-12)
    back = script.unit_vector(lon, lat)
    norm = math.sqrt(sum(c * c for c in v))
    assert back == pytest.approx(tuple(c / norm for c in v), abs=1e-12)


@pytest.mark.parametrize("branch", ["positive", "negative"])
@pytest.mark.parametrize("mirror", [False, True])
def test_branch_is_recovered_from_a_document_arm(script, branch, mirror):
    arm = Arm.from_json(f'[0.9, 0.7, "{branch}", {"true" if mirror else "false"}]')
    assert script.infer_branch(arm) == branch


# The maps are drawn from the array companion; they must be the ones the
# per-call predicates give, cell by cell.
@pytest.mark.parametrize("resolution", [24, 361])
@pytest.mark.parametrize("arm", GRID_ARMS.values(), ids=GRID_ARMS.keys())
def test_grids_are_the_per_call_predicates(script, arm, resolution):
    angles = np.linspace(-math.pi, math.pi, resolution)
    values = angles.tolist()
    closes = script.joint_grid(arm, angles)
    assert closes.tolist() == [[arm.is_reachable_joints(a, b) for a in values] for b in values]
    lons = np.linspace(-179.0, 179.0, resolution)
    lats = np.linspace(-89.0, 89.0, max(2, resolution // 2))
    reach = script.direction_grid(arm, lons, lats)
    assert reach.tolist() == [
        [arm.is_reachable_direction(script.unit_vector(lon, lat)) for lon in lons.tolist()] for lat in lats.tolist()
    ]


def elbow_side(v3, axis, elbow):
    """+1 or -1: the side of the great circle from the joint axis to v_3 that the elbow lies on; 0 on it."""
    side = float(np.dot(np.cross(axis, v3), elbow))
    return 0 if abs(side) < 1e-9 else (1 if side > 0 else -1)


def own_slots(arm, theta_a, theta_b):
    """Per-call model of a closing pair's candidate slot: the sides its elbows take (either side on a fold)."""
    m = -1.0 if arm.mirror() else 1.0
    s, c = math.sin(arm.arm_arc()), math.cos(arm.arm_arc())
    v2 = (m * s * math.cos(theta_a), m * s * math.sin(theta_a), c)
    v4 = (m * c, -m * s * math.sin(theta_b), s * math.cos(theta_b))
    v3 = arm.direction(theta_a, theta_b)
    sides_a = {elbow_side(v3, (0.0, 0.0, 1.0), v2)} - {0} or {1, -1}
    sides_b = {elbow_side(v3, (m, 0.0, 0.0), v4)} - {0} or {1, -1}
    return {2 * (a < 0) + (b < 0) for a in sides_a for b in sides_b}


def reaching_pairs(arm, v, probes):
    """Per-call model of the pairs that reach v: every distinct answer of ik_from_direction over the near probes."""
    if not arm.is_reachable_direction(v):
        return set()
    return {tuple(round(x, 9) for x in arm.ik_from_direction(v, near=tuple(p))) for p in probes}


NEAR_GRID = [(a, b) for a in np.linspace(-3.0, 3.0, 5).tolist() for b in np.linspace(-3.0, 3.0, 5).tolist()]


# The new information of both pictures, against per-call models: which slot each
# closing pair is (from the sides its elbows take) and how many pairs reach each
# direction (ik_from_direction steered by `near` to each candidate and a grid).
@pytest.mark.parametrize("resolution", [24, 181])
@pytest.mark.parametrize("arm", GRID_ARMS.values(), ids=GRID_ARMS.keys())
def test_branch_maps_are_the_per_call_models(script, arm, resolution):
    angles = np.linspace(-math.pi, math.pi, resolution)
    slots = script.slot_grid(arm, angles)
    closes = script.joint_grid(arm, angles)
    assert ((slots == script.NO_SLOT) == ~closes).all()
    for i, j in zip(*np.nonzero(closes)):
        assert slots[i, j] in own_slots(arm, angles[j], angles[i]), (angles[j], angles[i])
    assert len(np.unique(slots[closes])) > 1

    lons = script.longitudes(resolution, 180.0 if arm.mirror() else 0.0)
    lats = script.latitudes(resolution)
    counts = script.candidate_count_grid(arm, lons, lats)
    vectors = script.unit_vectors(lons, lats)
    joints, exists, reaches = batch.direction_candidates(arm, vectors)
    for i, j in np.ndindex(counts.shape):
        found = reaching_pairs(arm, tuple(vectors[i, j]), joints[i, j][exists[i, j]].tolist() + NEAR_GRID)
        listed = {tuple(round(x, 9) for x in pair) for pair in joints[i, j][reaches[i, j]].tolist()}
        assert found == listed and counts[i, j] == len(found), (lons[j], lats[i])
    assert set(np.unique(counts)) == {0, 1, 2, 3, 4}


def test_presets_share_one_joint_map(script):
    # The picture draws one joint map for both presets; mirroring must not move a pair or its slot.
    angles = np.linspace(-math.pi, math.pi, 181)
    left, right = Arm.default_left(), Arm.default_right()
    assert np.array_equal(script.joint_grid(left, angles), script.joint_grid(right, angles))
    assert np.array_equal(script.slot_grid(left, angles), script.slot_grid(right, angles))


# Each direction map is centred so that its arm's region is not cut by the map's edge.
CENTRES = {
    "left": (Arm.default_left(), 0.0),
    "right": (Arm.default_right(), 180.0),
    "custom mirrored": (Arm.from_json('[0.9, 0.7, "negative", true]'), 180.0),
    "short arm, long coupler": (Arm.from_json('[0.3, 1.2, "positive", false]'), 60.0),
    "region west of +x": (Arm.from_json('[0.4, 1.3, "negative", false]'), -60.0),
    "every longitude reached": (Arm.from_json('[1.5, 1.5, "negative", false]'), 0.0),
}


@pytest.mark.parametrize("resolution", [24, 361])
@pytest.mark.parametrize("arm, centre", CENTRES.values(), ids=CENTRES.keys())
def test_direction_map_is_centred_on_its_region(script, arm, centre, resolution):
    lats = script.latitudes(resolution)
    base = script.longitudes(resolution, 0.0)
    assert script.centre_longitude(script.direction_grid(arm, base, lats), base) == centre
    reach = script.direction_grid(arm, script.longitudes(resolution, centre), lats)
    touched = reach.any(axis=0)
    assert touched.all() or not (touched[0] or touched[-1])


def test_siblings_of_the_rest_pose(script):
    # Three of the four candidates of v_3 at (0, 0) reach it, in slot order.
    for arm in (Arm.default_left(), Arm.default_right()):
        pairs = script.siblings(arm, (0.0, 0.0))
        assert np.allclose(pairs, [(1.300074, 0.0), (0.0, 0.0), (0.0, -1.300074)], atol=1e-6)
        for pair in pairs.tolist():
            assert np.allclose(arm.direction(*pair), arm.direction(0.0, 0.0), atol=1e-9)
