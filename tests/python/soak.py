"""Leak soak: every method on its success path and on each of its error paths,
`calls` times each, with memory and reference counts checked flat.

    python tests/python/soak.py [--calls N]      (`make soak` runs a million per path)

Per path, after a warm-up: resident memory (/proc/self/statm), tracemalloc's
traced total and the C heap in use (glibc mallinfo2) may grow by a small fixed
slack at most, and sys.getrefcount of the path's argument objects, both classes,
the shared instances and the module must come back unchanged. Not a pytest
module: test_soak_short.py runs it with a short count.
"""
import argparse
import ctypes
import gc
import os
import sys
import time
import tracemalloc

import quorvel_torso_kinematics as qtk
from quorvel_torso_kinematics import QuorvelArmKinematics as Arm, QuorvelNeckKinematics as Neck

PAGE = os.sysconf("SC_PAGE_SIZE")
SLACK = {"rss": 256 * 1024, "traced": 8 * 1024, "heap": 16 * 1024}  # bytes, per path (noise is under 1 KiB)
LEFT, RIGHT, NECK = Arm.default_left(), Arm.default_right(), Neck()


def fresh(value):
    """A float object of its own (no cached or immortal object), so its count means something."""
    return float(repr(value))


def text(value):
    """A str object of its own (not interned)."""
    return "".join(list(value))


class RaisingFloat:
    def __float__(self):
        raise ValueError("no number")


# The argument objects; each path lists the ones it passes.
A, B, BAD_A = fresh(0.3), fresh(-0.2), fresh(3.0)
ARC, COUPLER = fresh(0.9), fresh(0.4)
TEXT, HUGE, ONE, RAISING = text("not a number"), 10**400, 10**30, RaisingFloat()
M = LEFT.fk(A, B)
V = LEFT.direction(A, B)
NEAR = (fresh(0.25), fresh(-0.25))
FAR = [[fresh(1.0), 0.0, 0.0], [0.0, fresh(-1.0), 0.0], [0.0, 0.0, fresh(-1.0)]]
DOWN = [fresh(0.0), fresh(0.0), fresh(-1.0)]
SHORT, LONG_NEAR = [A, B], (A, B, A)
ROW_BAD = [M[0], 5, M[2]]
JOINTS, GIMBAL = [A, B, fresh(1.1)], [[0.0, 0.0, fresh(1.0)], [0.0, 1.0, 0.0], [fresh(-1.0), 0.0, 0.0]]
KEYED = text('{"arm_arc": 0.7, "coupler_arc": 0.5, "branch": {"negative": null}, "mirror": true}')
POSITIONAL, SYNTAX, RECORD = text('[0.7, 0.5, "negative"]'), text('{"arm_arc": 0.7,'), text('{"arm_arc": "0.7"}')
SURROGATE = text("[1, 2]\ud800")

# (name, call, exception or None for the success path, argument objects to watch)
PATHS = [
    ("Arm()", lambda: Arm(), None, ()),
    ("Arm(arcs, mirror)", lambda: Arm(ARC, COUPLER, True), None, (ARC, COUPLER)),
    ("Arm(keywords)", lambda: Arm(mirror=False, coupler_arc=COUPLER, arm_arc=ARC), None, (ARC, COUPLER)),
    ("Arm too many arguments", lambda: Arm(ARC, COUPLER, True, ARC), TypeError, (ARC, COUPLER)),
    ("Arm unexpected keyword", lambda: Arm(arc=ARC), TypeError, (ARC,)),
    ("Arm multiple values", lambda: Arm(ARC, arm_arc=ARC), TypeError, (ARC,)),
    ("Arm arc not a number", lambda: Arm(TEXT), TypeError, (TEXT,)),
    ("Arm arc beyond float", lambda: Arm(coupler_arc=HUGE), OverflowError, (HUGE,)),
    ("Arm arc converter raises", lambda: Arm(RAISING), ValueError, (RAISING,)),
    ("Arm mirror not a bool", lambda: Arm(ARC, COUPLER, ONE), TypeError, (ARC, COUPLER, ONE)),
    ("default_left", Arm.default_left, None, ()),
    ("default_right", Arm.default_right, None, ()),
    ("default_left with an argument", lambda: Arm.default_left(ARC), TypeError, (ARC,)),
    ("from_json keyed", lambda: Arm.from_json(KEYED), None, (KEYED,)),
    ("from_json positional", lambda: Arm.from_json(json=POSITIONAL), None, (POSITIONAL,)),
    ("from_json syntax error", lambda: Arm.from_json(SYNTAX), ValueError, (SYNTAX,)),
    ("from_json record error", lambda: Arm.from_json(RECORD), ValueError, (RECORD,)),
    ("from_json not a str", lambda: Arm.from_json(ARC), TypeError, (ARC,)),
    ("from_json unencodable", lambda: Arm.from_json(SURROGATE), UnicodeEncodeError, (SURROGATE,)),
    ("from_json missing argument", lambda: Arm.from_json(), TypeError, ()),
    ("fk", lambda: LEFT.fk(A, B), None, (A, B)),
    ("fk keywords", lambda: RIGHT.fk(theta_b=B, theta_a=A), None, (A, B)),
    ("fk loop not closed", lambda: LEFT.fk(0.0, BAD_A), RuntimeError, (BAD_A,)),
    ("fk not a number", lambda: LEFT.fk(A, TEXT), TypeError, (A, TEXT)),
    ("fk beyond float", lambda: LEFT.fk(HUGE, B), OverflowError, (HUGE, B)),
    ("fk missing argument", lambda: LEFT.fk(A), TypeError, (A,)),
    ("fk unexpected keyword", lambda: LEFT.fk(A, B, phi=A), TypeError, (A, B)),
    ("direction", lambda: RIGHT.direction(A, B), None, (A, B)),
    ("direction loop not closed", lambda: LEFT.direction(0.0, BAD_A), RuntimeError, (BAD_A,)),
    ("direction converter raises", lambda: LEFT.direction(A, RAISING), ValueError, (A, RAISING)),
    ("is_reachable_joints true", lambda: LEFT.is_reachable_joints(A, B), None, (A, B)),
    ("is_reachable_joints false", lambda: LEFT.is_reachable_joints(0.0, BAD_A), None, (BAD_A,)),
    ("is_reachable_joints not a number", lambda: LEFT.is_reachable_joints(None, B), TypeError, (B,)),
    ("ik", lambda: LEFT.ik(M), None, (M,)),
    ("ik outside workspace", lambda: LEFT.ik(FAR), RuntimeError, (FAR,)),
    ("ik wrong length", lambda: LEFT.ik(SHORT), ValueError, (SHORT,)),
    ("ik row not a sequence", lambda: LEFT.ik(ROW_BAD), TypeError, (ROW_BAD,)),
    ("ik too many arguments", lambda: LEFT.ik(M, M), TypeError, (M,)),
    ("is_reachable_orientation true", lambda: LEFT.is_reachable_orientation(M), None, (M,)),
    ("is_reachable_orientation false", lambda: LEFT.is_reachable_orientation(r_target=FAR), None, (FAR,)),
    ("is_reachable_orientation not a sequence", lambda: LEFT.is_reachable_orientation(A), TypeError, (A,)),
    ("ik_from_direction", lambda: LEFT.ik_from_direction(V), None, (V,)),
    ("ik_from_direction near", lambda: LEFT.ik_from_direction(V, near=NEAR), None, (V, NEAR)),
    ("ik_from_direction outside workspace", lambda: LEFT.ik_from_direction(DOWN), RuntimeError, (DOWN,)),
    ("ik_from_direction v3 wrong length", lambda: LEFT.ik_from_direction(SHORT), ValueError, (SHORT,)),
    ("ik_from_direction near not a tuple", lambda: LEFT.ik_from_direction(V, SHORT), TypeError, (V, SHORT)),
    ("ik_from_direction near wrong length", lambda: LEFT.ik_from_direction(V, LONG_NEAR), ValueError, (V, LONG_NEAR)),
    ("is_reachable_direction true", lambda: RIGHT.is_reachable_direction([-V[0], V[1], V[2]]), None, (V,)),
    ("is_reachable_direction false", lambda: LEFT.is_reachable_direction(DOWN), None, (DOWN,)),
    ("is_reachable_direction near", lambda: LEFT.is_reachable_direction(V, near=NEAR), TypeError, (V, NEAR)),
    ("arm_arc", LEFT.arm_arc, None, ()),
    ("coupler_arc", RIGHT.coupler_arc, None, ()),
    ("mirror", RIGHT.mirror, None, ()),
    ("mirror with an argument", lambda: LEFT.mirror(ARC), TypeError, (ARC,)),
    ("fk on a neck", lambda: Arm.fk(NECK, A, B), TypeError, (A, B)),
    ("Neck()", lambda: Neck(), None, ()),
    ("Neck with an argument", lambda: Neck(ARC), TypeError, (ARC,)),
    ("neck fk", lambda: NECK.fk(JOINTS), None, (JOINTS,)),
    ("neck fk wrong length", lambda: NECK.fk(joints=SHORT), ValueError, (SHORT,)),
    ("neck fk not a sequence", lambda: NECK.fk(A), TypeError, (A,)),
    ("neck fk item raises", lambda: NECK.fk([A, RAISING, B]), ValueError, (A, B, RAISING)),
    ("neck ik", lambda: NECK.ik(M), None, (M,)),
    ("neck ik gimbal lock", lambda: NECK.ik(GIMBAL), ValueError, (GIMBAL,)),
    ("neck ik row not a sequence", lambda: NECK.ik(r=ROW_BAD), TypeError, (ROW_BAD,)),
    ("neck ik missing argument", lambda: NECK.ik(), TypeError, ()),
]


def resident():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * PAGE


class MallInfo2(ctypes.Structure):
    _fields_ = [(name, ctypes.c_size_t) for name in ("arena", "ordblks", "smblks", "hblks", "hblkhd", "usmblks",
                                                       "fsmblks", "uordblks", "fordblks", "keepcost")]


try:
    _mallinfo2 = ctypes.CDLL(None).mallinfo2
    _mallinfo2.restype = MallInfo2
except (OSError, AttributeError):  # not glibc: the C heap is then judged by resident memory alone
    _mallinfo2 = None


def heap():
    if _mallinfo2 is None:
        return 0
    info = _mallinfo2()
    return info.uordblks + info.hblkhd  # in use: from the heap and from mmap


def memory():
    gc.collect(1)
    return {"rss": resident(), "traced": tracemalloc.get_traced_memory()[0], "heap": heap()}


def watched_counts(objects):
    return [sys.getrefcount(o) for o in (*objects, Arm, Neck, LEFT, RIGHT, NECK, qtk)]


def run(call, error, calls):
    if error is None:
        for _ in range(calls):
            call()
        return
    for _ in range(calls):
        try:
            call()
        except error:
            pass


def check_path(name, call, error):
    """One call, to be sure the path is the one its name says."""
    try:
        call()
    except Exception as raised:
        assert error is not None and type(raised) is error, f"{name}: unexpected {type(raised).__name__}: {raised}"
    else:
        assert error is None, f"{name}: returned instead of raising {error.__name__}"


def soak(calls, out=print):
    """Runs every path `calls` times; returns the list of failures (empty when all is flat)."""
    tracing = tracemalloc.is_tracing()
    if not tracing:
        tracemalloc.start()
    try:
        gc.collect()
        failures, total, started = [], 0, time.perf_counter()
        for name, call, error, _ in PATHS:
            check_path(name, call, error)
            run(call, error, min(calls, 1000))  # warm-up: caches and free lists settle
        first = memory()
        for name, call, error, objects in PATHS:
            before, counts = memory(), watched_counts(objects)
            run(call, error, calls)
            after, counts_after = memory(), watched_counts(objects)
            total += calls
            grown = {k: after[k] - before[k] for k in before if after[k] - before[k] > SLACK[k]}
            if grown or counts_after != counts:
                failures.append(f"{name}: grew {grown}, counts {counts} -> {counts_after}")
        gc.collect()
        last = memory()
        seconds = time.perf_counter() - started
        out(f"soak: {len(PATHS)} paths x {calls} = {total} calls in {seconds:.1f} s")
        for key, label in (("rss", "resident memory"), ("traced", "tracemalloc traced"), ("heap", "C heap in use")):
            out(f"soak: {label:18} {first[key] / 2**20:9.3f} MiB -> {last[key] / 2**20:9.3f} MiB")
        if any(last[k] - first[k] > 4 * SLACK[k] for k in SLACK):
            failures.append(f"overall growth: {first} -> {last}")
        return failures
    finally:
        if not tracing:
            tracemalloc.stop()


if __name__ == "__main__":
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--calls", type=int, default=1_000_000, help="calls per path (default 1,000,000)")
    failures = soak(parser.parse_args().calls)
    for failure in failures:
        print("soak: FAILED", failure)
    print("soak:", "FAILED" if failures else "flat: no growth beyond the slack, reference counts unchanged")
    sys.exit(1 if failures else 0)
