import math

import numpy as np
import pytest

from example_scripts import GEOMETRY_BAD_INPUTS, check_one_error_line, imported, written_pngs
from quorvel_torso_kinematics import QuorvelArmKinematics as Arm

SCRIPT = "arm_picture"
HALF_TURN_ABOUT_Z = np.diag([-1.0, -1.0, 1.0])


@pytest.fixture(scope="module")
def script():
    with imported(SCRIPT) as module:
        yield module


def arc(p, q):
    return math.atan2(float(np.linalg.norm(np.cross(p, q))), float(np.dot(p, q)))


ARMS = {
    "left preset": Arm.default_left,
    "right preset": Arm.default_right,
    "negative branch, mirrored": lambda: Arm.from_json('{"arm_arc": 0.9, "coupler_arc": 0.7, "branch": "negative", "mirror": true}'),
}
POSES = [(1.2, -0.6), (0.3, -0.2), (-0.5, 0.4), (0.0, 0.0), (2.0 * math.pi + 0.3, -0.2)]


@pytest.mark.parametrize("pose", POSES)
@pytest.mark.parametrize("make", ARMS.values(), ids=ARMS.keys())
def test_drawn_geometry_agrees_with_the_module(script, make, pose):
    arm = make()
    drawing = script.arm_drawing(arm, *pose)
    p = drawing.points
    for elbow, axis in (("v_2", "axis A"), ("v_4", "axis B")):
        assert arc(p[axis], p[elbow]) == pytest.approx(arm.arm_arc(), abs=1e-12)
        assert arc(p[elbow], p["v_3"]) == pytest.approx(arm.coupler_arc(), abs=1e-9)
    assert p["v_3"].tolist() == arm.direction(*pose)
    assert np.array(arm.fk(*pose)).T.tolist() == [p["e1"].tolist(), p["e2"].tolist(), p["e3"].tolist()]
    # Every curve runs from its named start to its named end along the unit sphere;
    # an arc is a great circle, so no point strays from the shortest way.
    for curve in drawing.arcs + drawing.sweeps:
        assert np.allclose(curve.points[[0, -1]], [p[curve.start], p[curve.end]], atol=1e-12), curve.name
        assert np.allclose(np.linalg.norm(curve.points, axis=1), 1.0, atol=1e-12), curve.name
    for curve in drawing.arcs:
        detours = [arc(p[curve.start], q) + arc(q, p[curve.end]) - arc(p[curve.start], p[curve.end]) for q in curve.points]
        assert max(detours) < 1e-9, curve.name
    assert [c.end for c in drawing.arcs] == ["v_2", "v_4", "v_3", "v_3"]


# Known elbows of the presets at (0.3, -0.2): they pin the axes, the rest
# positions and both rotation senses, which the closure check alone cannot.
@pytest.mark.parametrize(
    "make, v_2, v_4",
    [
        (Arm.default_left, (0.615445, 0.190379, 0.764842), (0.764842, 0.127986, 0.631376)),
        (Arm.default_right, (-0.615445, -0.190379, 0.764842), (-0.764842, -0.127986, 0.631376)),
    ],
)
def test_elbows_at_a_known_pose(script, make, v_2, v_4):
    p = script.arm_drawing(make(), 0.3, -0.2).points
    assert p["v_2"] == pytest.approx(v_2, abs=1e-6)
    assert p["v_4"] == pytest.approx(v_4, abs=1e-6)


@pytest.mark.parametrize("pose", POSES)
def test_right_preset_is_the_left_turned_half_a_turn_about_z(script, pose):
    left = script.arm_drawing(Arm.default_left(), *pose)
    right = script.arm_drawing(Arm.default_right(), *pose)
    assert left.points.keys() == right.points.keys()
    for name, point in left.points.items():
        assert right.points[name] == pytest.approx(HALF_TURN_ABOUT_Z @ point, abs=1e-12), name
    for ours, theirs in zip(left.arcs + left.sweeps, right.arcs + right.sweeps):
        assert np.allclose(theirs.points, ours.points @ HALF_TURN_ABOUT_Z, atol=1e-12), ours.name


def test_elbows_that_drift_from_the_module_are_refused(script, monkeypatch):
    exact = script.base_frame

    def drifted(arm, theta_a, theta_b):
        points = exact(arm, theta_a, theta_b)
        points["v_4"] = exact(arm, theta_a, theta_b + 1e-6)["v_4"]
        return points

    monkeypatch.setattr(script, "base_frame", drifted)
    with pytest.raises(RuntimeError, match="v_4"):
        script.arm_drawing(Arm.default_left(), 1.2, -0.6)


# (document text or None, arguments, a fragment the error line must hold)
BAD_INPUTS = {
    **GEOMETRY_BAD_INPUTS,
    "pose where the loop does not close": (None, ["--theta-a", "0", "--theta-b", "3.14159"], "loop does not close"),
    "elbows that coincide": (None, ["--arm-arc", "0.7853981633974483", "--theta-a", "0", "--theta-b", "0"], "theta_a=0"),
    "NaN angle": (None, ["--theta-a", "nan"], "theta_a must be a finite angle"),
    "infinite angle": (None, ["--theta-b=-inf"], "theta_b must be a finite angle"),
    "angle that is not a number": (None, ["--theta-a", "half"], "--theta-a"),
    "invalid document": ('{"arm_arc": 0.7,', ["--document", "doc.json"], "Invalid arms.json"),
}


@pytest.mark.parametrize("document, args, fragment", BAD_INPUTS.values(), ids=BAD_INPUTS.keys())
def test_bad_input_gives_one_error_line_and_status_2(tmp_path, document, args, fragment):
    check_one_error_line(SCRIPT, tmp_path, document, args, fragment)


@pytest.mark.parametrize(
    "args, names",
    [
        ([], ["arm_left.png", "arm_right.png"]),
        (["--arm-arc", "0.9", "--coupler-arc", "0.7", "--branch", "negative", "--mirror", "--theta-a", "0.3", "--theta-b", "0.5"],
         ["arm_right.png"]),
    ],
    ids=["presets", "custom mirrored geometry"],
)
def test_writes_the_pictures_and_prints_their_paths(tmp_path, args, names):
    for size, width, height in written_pngs(SCRIPT, args, tmp_path, names):
        assert 30_000 < size < 400_000
        assert 600 <= width <= 1200 and 600 <= height <= 1200
