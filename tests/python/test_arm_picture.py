import importlib
import math
import struct
import subprocess
import sys
from pathlib import Path

import numpy as np
import pytest

from quorvel_torso_kinematics import QuorvelArmKinematics as Arm

SCRIPT = Path(__file__).resolve().parents[2] / "examples" / "arm_picture.py"
PNG_MAGIC = b"\x89PNG\r\n\x1a\n"
HALF_TURN_ABOUT_Z = np.diag([-1.0, -1.0, 1.0])


@pytest.fixture(scope="module")
def script():
    # Imported by name from its own directory; dataclasses look their module up in sys.modules.
    sys.path.insert(0, str(SCRIPT.parent))
    try:
        yield importlib.import_module(SCRIPT.stem)
    finally:
        sys.path.remove(str(SCRIPT.parent))
        sys.modules.pop(SCRIPT.stem, None)


def run(*args, cwd):
    return subprocess.run([sys.executable, str(SCRIPT), *args], cwd=cwd, capture_output=True, text=True, timeout=120)


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
    "pose where the loop does not close": (None, ["--theta-a", "0", "--theta-b", "3.14159"], "loop does not close"),
    "elbows that coincide": (None, ["--arm-arc", "0.7853981633974483", "--theta-a", "0", "--theta-b", "0"], "theta_a=0"),
    "NaN angle": (None, ["--theta-a", "nan"], "theta_a must be a finite angle"),
    "infinite angle": (None, ["--theta-b=-inf"], "theta_b must be a finite angle"),
    "angle that is not a number": (None, ["--theta-a", "half"], "--theta-a"),
    "arc beyond pi": (None, ["--coupler-arc", "4"], "coupler_arc"),
    "unknown flag": (None, ["--bogus"], "unrecognized arguments: --bogus"),
    "missing document": (None, ["--document", "absent.json"], "cannot read absent.json"),
    "invalid document": ('{"arm_arc": 0.7,', ["--document", "doc.json"], "Invalid arms.json"),
    "document with geometry flags": ('{"arm_arc": 0.7, "coupler_arc": 0.5}', ["--document", "doc.json", "--mirror"], "--document"),
}


@pytest.mark.parametrize("document, args, fragment", BAD_INPUTS.values(), ids=BAD_INPUTS.keys())
def test_bad_input_gives_one_error_line_and_status_2(tmp_path, document, args, fragment):
    if document is not None:
        (tmp_path / "doc.json").write_text(document, encoding="utf-8")
    result = run(*args, "--out", "pictures", cwd=tmp_path)
    assert result.returncode == 2
    assert result.stdout == ""
    lines = result.stderr.splitlines()
    assert len(lines) == 1, result.stderr
    assert lines[0].startswith("arm_picture.py: error: ") and fragment in lines[0], lines[0]
    assert not (tmp_path / "pictures").exists()


def png_size(path):
    data = path.read_bytes()
    assert data[:8] == PNG_MAGIC and data[12:16] == b"IHDR"
    width, height = struct.unpack(">II", data[16:24])
    return len(data), width, height


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
    out = tmp_path / "pictures"
    result = run(*args, "--out", str(out), cwd=tmp_path)
    assert result.returncode == 0, result.stderr
    assert result.stderr == ""
    assert result.stdout.splitlines() == [str(out / name) for name in names]
    assert sorted(path.name for path in out.iterdir()) == names
    for name in names:
        size, width, height = png_size(out / name)
        assert 30_000 < size < 400_000
        assert 600 <= width <= 1200 and 600 <= height <= 1200
