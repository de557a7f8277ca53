import importlib
import math
import struct
import subprocess
import sys
from pathlib import Path

import numpy as np
import pytest

from quorvel_torso_kinematics import QuorvelArmKinematics as Arm

SCRIPT = Path(__file__).resolve().parents[2] / "examples" / "workspace_map.py"
OUTPUTS = ("workspace_joint_space.png", "workspace_directions.png")
PNG_MAGIC = b"\x89PNG\r\n\x1a\n"


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


# (document text or None, arguments, a fragment the error line must hold)
BAD_INPUTS = {
    "missing document": (None, ["--document", "absent.json"], "cannot read absent.json"),
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
    "coupler arc beyond pi": (None, ["--coupler-arc", "4"], "coupler_arc"),
    "NaN arc": (None, ["--arm-arc", "nan"], "arm_arc"),
    "unknown flag": (None, ["--bogus"], "unrecognized arguments: --bogus"),
    "resolution too small": (None, ["--resolution", "2"], "--resolution"),
    "document with geometry flags": ('{"arm_arc": 0.7, "coupler_arc": 0.5}', ["--document", "doc.json", "--mirror"], "--document"),
}


@pytest.mark.parametrize("document, args, fragment", BAD_INPUTS.values(), ids=BAD_INPUTS.keys())
def test_bad_input_gives_one_error_line(tmp_path, document, args, fragment):
    if document is not None:
        (tmp_path / "doc.json").write_text(document, encoding="utf-8")
    result = run(*args, "--out", "pictures", cwd=tmp_path)
    assert result.returncode != 0
    assert result.stdout == ""
    lines = result.stderr.splitlines()
    assert len(lines) == 1, result.stderr
    assert "error" in lines[0] and fragment in lines[0], lines[0]
    assert not (tmp_path / "pictures").exists()


def png_size(path):
    data = path.read_bytes()
    assert data[:8] == PNG_MAGIC and data[12:16] == b"IHDR"
    width, height = struct.unpack(">II", data[16:24])
    return len(data), width, height


@pytest.mark.parametrize(
    "args",
    [[], ["--arm-arc", "0.9", "--coupler-arc", "0.7", "--branch", "negative", "--mirror"]],
    ids=["presets", "custom geometry"],
)
def test_writes_two_pngs_and_prints_their_paths(tmp_path, args):
    out = tmp_path / "pictures"
    result = run(*args, "--out", str(out), "--resolution", "24", cwd=tmp_path)
    assert result.returncode == 0, result.stderr
    assert result.stderr == ""
    assert result.stdout.splitlines() == [str(out / name) for name in OUTPUTS]
    for name in OUTPUTS:
        size, width, height = png_size(out / name)
        assert size > 10_000
        assert 300 <= width <= 2000 and 300 <= height <= 2000


# The shaded region comes from unit_vector and the overlaid dots from
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
@pytest.mark.parametrize(
    "arm", [Arm.default_left(), Arm.default_right(), Arm.from_json('[0.9, 0.7, "negative", true]')],
    ids=["left", "right", "custom"],
)
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
    images = script.forward_images(arm, angles, closes)
    step = max(1, resolution // script.OVERLAY_SAMPLES)
    expected = [script.lon_lat_degrees(arm.direction(values[j], values[i]))
                for i in range(0, resolution, step) for j in range(0, resolution, step) if closes[i, j]]
    assert images.shape == (len(expected), 2)
    assert np.allclose(images, np.array(expected).reshape(-1, 2), rtol=0, atol=1e-9)
