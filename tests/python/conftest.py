"""Finds or builds the fault probe for the tests."""

import os
import pathlib
import shutil
import subprocess
import sys

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
PROBE_BUILD = ROOT / "build" / "probe"
PROBE_MODULE = "quorvel_fault_probe"


def _holds_probe(directory: pathlib.Path) -> bool:
    return any(directory.glob(f"{PROBE_MODULE}.*.so"))


def _build_probe() -> pathlib.Path:
    # The running interpreter, so the probe's ABI is the one importing it.
    steps = [
        ["cmake", "-S", str(ROOT), "-B", str(PROBE_BUILD), "-DQUORVEL_BUILD_FAULT_PROBE=ON",
         f"-DPython_EXECUTABLE={sys.executable}"],
        ["cmake", "--build", str(PROBE_BUILD), "--target", PROBE_MODULE, "-j2"],
    ]
    if shutil.which("cmake") is None:
        pytest.fail("the fault probe is needed and cmake is not on PATH: run `make test`, or "
                    "scripts/bootstrap.sh, or set QUORVEL_FAULT_PROBE_DIR to a built probe", pytrace=False)
    for step in steps:
        done = subprocess.run(step, capture_output=True, text=True, check=False)
        if done.returncode != 0:
            output = (done.stdout + done.stderr).strip().splitlines()[-30:]
            pytest.fail(f"building the fault probe failed: {' '.join(step)}\n" + "\n".join(output), pytrace=False)
    return PROBE_BUILD / "tests" / "probe"


@pytest.fixture(scope="session")
def fault_probe_dir() -> str:
    """The directory holding the fault probe module: QUORVEL_FAULT_PROBE_DIR when
    set (make test, sanitize and valgrind point it at their own builds), else
    build/probe, configured and built here."""
    given = os.environ.get("QUORVEL_FAULT_PROBE_DIR")
    directory = pathlib.Path(given).resolve() if given else _build_probe()
    if not _holds_probe(directory):
        source = f"QUORVEL_FAULT_PROBE_DIR={given}" if given else "the probe build"
        pytest.fail(f"{source}: no {PROBE_MODULE} module in {directory}", pytrace=False)
    return str(directory)
