"""The entry guard's fault paths, driven through a test-only module that
shares the guard's code (the real methods have no reachable fault)."""

import importlib
import os
import subprocess
import sys

import pytest

# Where the probe module lies, set before any test here runs (conftest.py finds
# or builds it; without it the tests fail, never skip).
PROBE_DIR = None


@pytest.fixture(scope="module", autouse=True)
def _probe_dir(fault_probe_dir):
    global PROBE_DIR
    PROBE_DIR = fault_probe_dir


@pytest.fixture(scope="module")
def probe(fault_probe_dir):
    sys.path.insert(0, fault_probe_dir)
    try:
        return importlib.import_module("quorvel_fault_probe")
    finally:
        sys.path.pop(0)


def panic_of(function, *args):
    with pytest.raises(BaseException) as info:
        function(*args)
    return info.value


def test_fault_becomes_panic_exception_outside_exception_hierarchy(probe):
    panic = panic_of(probe.raise_fault, "broken invariant")
    panic_type = type(panic)
    assert panic_type.__name__ == "PanicException"
    assert panic_type.__mro__[1:] == (BaseException, object)
    assert not isinstance(panic, Exception)
    assert str(panic) == "broken invariant"
    assert "BaseException" in panic_type.__doc__ and "panics" in panic_type.__doc__


def test_panic_type_is_made_once_and_unknown_faults_get_a_generic_text(probe):
    first = panic_of(probe.raise_fault, "one")
    second = panic_of(probe.raise_foreign)
    assert type(second) is type(first)
    assert str(second)


def test_null_without_error_is_a_system_error(probe):
    with pytest.raises(SystemError, match="attempted to fetch exception but none was set"):
        probe.return_null_without_error()


def test_ordinary_python_errors_pass_through_unchanged(probe):
    error = ValueError("plain")

    def raise_plain():
        raise error

    with pytest.raises(ValueError) as info:
        probe.call(raise_plain)
    assert info.value is error


def run_with_probe_panic(body):
    """Runs `body` in a fresh interpreter where `probe` is the fault probe and `Panic` its PanicException."""
    script = f"""
import sys
sys.path.insert(0, {os.path.abspath(PROBE_DIR)!r})
import quorvel_fault_probe as probe
try:
    probe.raise_fault("make the type")
except BaseException as e:
    Panic = type(e)
{body}"""
    return subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=60)


def test_panic_raised_by_python_code_is_resumed_as_a_new_panic(probe):
    result = run_with_probe_panic("""
original = Panic("from a callback")
def callback():
    raise original
try:
    probe.call(callback)
except BaseException as e:
    print(type(e) is Panic, e is not original, str(e))
""")
    assert result.stdout.strip() == "True True from a callback"
    assert "resuming it as a panic" in result.stderr
    assert "Traceback" in result.stderr and "callback" in result.stderr


@pytest.mark.parametrize("raised, expected", [
    # A panic that is also a SystemExit must not end the process: the caller's finally still runs.
    ("type('Exit', (Panic, SystemExit), {})(7)", "'7'"),
    # The resumed panic keeps every character of its text.
    ("Panic('pa\\x00nic')", "'pa\\x00nic'"),
], ids=["also_system_exit", "nul_in_message"])
def test_resumed_panic_is_displayed_and_keeps_its_text(probe, raised, expected):
    result = run_with_probe_panic(f"""
original = {raised}
def callback():
    raise original
try:
    probe.call(callback)
except BaseException as e:
    print(type(e) is Panic, e is not original, repr(str(e)))
finally:
    print("finally ran")
""")
    assert (result.returncode, result.stdout.splitlines()) == (0, [f"True True {expected}", "finally ran"])
    assert "resuming it as a panic" in result.stderr and "Traceback" in result.stderr
