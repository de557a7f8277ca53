"""The picture scripts in examples/ as the tests use them: imported by name, run as
commands, and checked for the one-line errors and the PNG files they write."""

import contextlib
import importlib
import struct
import subprocess
import sys
from pathlib import Path

EXAMPLES = Path(__file__).resolve().parents[2] / "examples"
PNG_MAGIC = b"\x89PNG\r\n\x1a\n"

# (document text or None, arguments, a fragment the error line must hold), for
# the geometry options both scripts take.
GEOMETRY_BAD_INPUTS = {
    "coupler arc beyond pi": (None, ["--coupler-arc", "4"], "coupler_arc"),
    "unknown flag": (None, ["--bogus"], "unrecognized arguments: --bogus"),
    "missing document": (None, ["--document", "absent.json"], "cannot read absent.json"),
    "document with geometry flags": ('{"arm_arc": 0.7, "coupler_arc": 0.5}', ["--document", "doc.json", "--mirror"], "--document"),
}


@contextlib.contextmanager
def imported(name):
    # Imported by name from its own directory, as its shared module is;
    # dataclasses look their module up in sys.modules.
    sys.path.insert(0, str(EXAMPLES))
    try:
        yield importlib.import_module(name)
    finally:
        sys.path.remove(str(EXAMPLES))
        sys.modules.pop(name, None)


def run(name, *args, cwd):
    return subprocess.run([sys.executable, str(EXAMPLES / f"{name}.py"), *args], cwd=cwd, capture_output=True, text=True,
                          timeout=120)


def check_one_error_line(name, tmp_path, document, args, fragment):
    """The script refuses the input with exit status 2, one line on stderr and nothing written."""
    if document is not None:
        (tmp_path / "doc.json").write_text(document, encoding="utf-8")
    result = run(name, *args, "--out", "pictures", cwd=tmp_path)
    assert result.returncode == 2
    assert result.stdout == ""
    lines = result.stderr.splitlines()
    assert len(lines) == 1, result.stderr
    assert lines[0].startswith(f"{name}.py: error: ") and fragment in lines[0], lines[0]
    assert not (tmp_path / "pictures").exists()


def png_size(path):
    data = path.read_bytes()
    assert data[:8] == PNG_MAGIC and data[12:16] == b"IHDR"
    width, height = struct.unpack(">II", data[16:24])
    return len(data), width, height


def written_pngs(name, args, tmp_path, names):
    """Runs the script into tmp_path/pictures, checks that it wrote exactly `names` and
    printed their paths, and gives each file's (bytes, width, height)."""
    out = tmp_path / "pictures"
    result = run(name, *args, "--out", str(out), cwd=tmp_path)
    assert result.returncode == 0, result.stderr
    assert result.stderr == ""
    assert result.stdout.splitlines() == [str(out / file) for file in names]
    assert sorted(path.name for path in out.iterdir()) == sorted(names)
    return [png_size(out / file) for file in names]
