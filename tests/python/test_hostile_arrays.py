"""Arrays that change, vanish or lie while a call reads them.

Each row runs in a child interpreter (under `make sanitize` the sanitizer build's), so a crash or a sanitizer
report fails its row alone; the child asserts the sound outcome and prints "ok".
"""
import os
import subprocess
import sys
import textwrap

import pytest

PRELUDE = """
import ctypes, math, mmap, threading
import numpy as np
import quorvel_torso_kinematics as q
arm = q.QuorvelArmKinematics.default_left()
{before}
import quorvel_torso_kinematics_batch as qb

def same(a, b):
    a, b = np.asarray(a, dtype=np.float64), np.asarray(b, dtype=np.float64)
    assert a.shape == b.shape and np.array_equal(a.view(np.uint64), b.view(np.uint64)), (a, b)

def directions(n):
    rng = np.random.default_rng(1)
    return qb.direction(arm, rng.uniform(-1, 1, size=(n, 2)))[0]

def read_while(v, attack):
    # `attack` frees or moves v's memory from another thread, started by a later argument's conversion: it
    # runs once the call gives up the lock for its rows, and must be refused.
    v[:] = directions(len(v))
    want = qb.ik_from_direction(arm, v.copy(), (0.1, 0.2))
    refusals = []
    def attempt():
        try:
            attack()
        except BufferError:
            refusals.append(True)
    class Near:
        def __array__(self, dtype=None, copy=None):
            self.attacker = threading.Thread(target=attempt)
            self.attacker.start()
            return np.array([0.1, 0.2])
    near = Near()
    got = qb.ik_from_direction(arm, v, near)
    near.attacker.join()
    assert refusals == [True]
    for g, e in zip(got, want):
        same(g, e)
"""

CASES = {
    "later argument reshapes an earlier one to 64 dimensions": """
        v = directions(2)
        want = qb.ik_from_direction(arm, v.copy(), np.zeros((1,) * 61 + (2, 1, 2)))
        class Near:
            def __array__(self, dtype=None, copy=None):
                v.resize((1,) * 62 + (2, 3), refcheck=False)  # same size: NumPy allows it under a pin
                return np.zeros((1,) * 61 + (2, 1, 2))
        for got, expected in zip(qb.ik_from_direction(arm, v, near=Near()), want):
            same(got, expected)
    """,
    "later argument flattens an earlier one": """
        v = directions(4)
        want = qb.ik_from_direction(arm, v.copy(), np.zeros((2, 1, 2)))
        class Near:
            def __array__(self, dtype=None, copy=None):
                v.shape = (12,)
                return np.zeros((2, 1, 2))
        for got, expected in zip(qb.ik_from_direction(arm, v, near=Near()), want):
            same(got, expected)
    """,
    "mmap closed while its rows are read": """
        mm = mmap.mmap(-1, 200_000 * 24)
        read_while(np.ndarray((200_000, 3), dtype=np.float64, buffer=mm), mm.close)
    """,
    "bytearray base extended while its rows are read": """
        buffer = bytearray(200_000 * 24)
        read_while(np.ndarray((200_000, 3), dtype=np.float64, buffer=buffer), lambda: buffer.extend(bytes(1 << 24)))
    """,
    "broadcast row count overflows": """
        try:
            qb.ik_from_direction(arm, np.empty((2**40, 1, 0, 3)), np.empty((1, 2**40, 0, 2)))
        except ValueError as e:
            assert str(e).startswith("argument 'near': "), e
        else:
            raise AssertionError("no error")
    """,
    "static type borrowing NumPy's array name": """
        import quorvel_fault_probe
        fake = quorvel_fault_probe.NotAnArray((0.6, 0.5, 0.6))
        assert arm.ik_from_direction(fake) == arm.ik_from_direction(list(fake))
        assert q.QuorvelNeckKinematics().fk(fake) == q.QuorvelNeckKinematics().fk(list(fake))
    """,
    "main module's class attribute rebound before the companion loads": ("""
        real = q.QuorvelArmKinematics
        q.QuorvelArmKinematics = type("QuorvelArmKinematics", (), {"__slots__": ("a", "b", "c")})
        """, """
        same(qb.direction(arm, [0.3, -0.2])[0], arm.direction(0.3, -0.2))
        try:
            qb.direction(q.QuorvelArmKinematics(), [0.3, -0.2])
        except TypeError as e:
            assert "cannot be converted to 'QuorvelArmKinematics'" in str(e), e
        else:
            raise AssertionError("a stand-in class was taken for an arm")
    """),
    "companion imported in a legacy sub-interpreter": """
        import _interpreters
        inner = ("try:\\n    import quorvel_torso_kinematics_batch\\nexcept ImportError as e:\\n"
                 "    assert 'sub-interpreters' in str(e), e\\nelse:\\n    raise AssertionError('imported')")
        iid = _interpreters.create(_interpreters.new_config("legacy"))
        assert _interpreters.run_string(iid, inner) is None
        _interpreters.destroy(iid)
        same(qb.direction(arm, [0.3, -0.2])[0], arm.direction(0.3, -0.2))
    """,
    "non-finite directions have no candidate": """
        for bad in ([math.nan, 0, 1], [math.inf, 0, 0], [0, -math.inf, 1]):
            joints, exists, reaches = qb.direction_candidates(arm, np.array([bad]))
            assert not exists.any() and not reaches.any() and np.isnan(joints).all(), bad
    """,
    "too many dimensions name the argument": """
        try:
            qb.fk(arm, np.zeros((1,) * 63 + (2,)))
        except ValueError as e:
            assert str(e).startswith("argument 'joints': "), e
        else:
            raise AssertionError("no error")
    """,
    "ctypes doubles through a memoryview are read in place": """
        v = (ctypes.c_double * 3)(0.6, 0.5, 0.6)
        r = ((ctypes.c_double * 3) * 3)(*[(ctypes.c_double * 3)(*row) for row in arm.fk(0.3, -0.2)])
        assert memoryview(v).format == "<d"
        assert arm.ik_from_direction(memoryview(v)) == arm.ik_from_direction(list(v))
        assert arm.ik(memoryview(r)) == arm.ik(arm.fk(0.3, -0.2))
    """,
}


@pytest.mark.parametrize("code", CASES.values(), ids=CASES.keys())
def test_hostile_arrays_in_a_child(code, fault_probe_dir):
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(filter(None, [fault_probe_dir, os.environ.get("PYTHONPATH")])))
    before, code = code if isinstance(code, tuple) else ("", code)
    script = PRELUDE.format(before=textwrap.dedent(before)) + textwrap.dedent(code) + "\nprint('ok')\n"
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=120, env=env)
    assert done.returncode == 0 and done.stdout.strip().endswith("ok"), done.stderr[-3000:]
