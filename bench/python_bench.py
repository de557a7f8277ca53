"""Python-level timings: the module's public methods, the overhead floor, the peers.

Every time is the median of REPEATS timeit repeats, each of at least MIN_TIME
seconds, with the loop count chosen the way timeit.Timer.autorange does. The clock is
process CPU time (time.process_time), so time spent descheduled on a shared
machine does not count; the empty timeit loop's own cost is measured the same
way (before the first and after the last group) and subtracted. The
statements compared with each other (module, floor, peers, and the core run
beside them) form a group whose repeats are interleaved, so that a slow spell
of the machine hits all of them alike.

bench/run_bench.py runs it and writes the report.
"""

from __future__ import annotations

import json
import math
import os
import statistics
import subprocess
import sys
import time
import timeit
from dataclasses import dataclass, field
from pathlib import Path
from typing import Callable

REPEATS = 5
MIN_TIME = 0.2
CLOCK = time.process_time

# The inputs of every benchmark (the core benchmarks use the same ones).
THETA_A, THETA_B = 0.3, -0.2
NECK_JOINTS = [0.3, -0.7, 1.1]

TYPICAL_DOCUMENT = '{"arm_arc": 0.7, "coupler_arc": 0.5, "branch": "positive", "mirror": false}'


# ------------------------------------------------------------------ timing

# One repeat of one measurement: returns seconds per call.
Sampler = Callable[[], float]


def _timer(stmt: str, namespace: dict) -> timeit.Timer:
    # The names become fast locals of timeit's inner function, as they would
    # be in a user's function.
    setup = "\n".join(f"{name} = _ns[{name!r}]" for name in namespace)
    return timeit.Timer(stmt, setup=setup, timer=CLOCK, globals={"_ns": namespace})


def _number_for(timer: timeit.Timer) -> int:
    """The loop count, picked the autorange way (1, 2, 5, 10, 20, 50, ...
    until a run lasts long enough) but stopping at a quarter of MIN_TIME and
    scaling up from there, to a tenth over MIN_TIME."""
    base = 1
    while True:
        for factor in (1, 2, 5):
            number = base * factor
            taken = timer.timeit(number)
            if taken >= MIN_TIME / 4:
                return max(number, math.ceil(number * 1.1 * MIN_TIME / taken))
        base *= 10


def statement_sampler(stmt: str, namespace: dict) -> Sampler:
    """timeit of one statement; every repeat lasts at least MIN_TIME (a
    repeat that came out shorter is run again with a larger count)."""
    timer = _timer(stmt, namespace)
    number = _number_for(timer)

    def sample() -> float:
        nonlocal number
        while True:
            taken = timer.timeit(number)
            if taken >= MIN_TIME:
                return taken / number
            number = math.ceil(number * 1.1 * MIN_TIME / taken)

    return sample


def measure(samplers: list[Sampler]) -> list[list[float]]:
    """REPEATS samples (seconds per call) of each sampler, their repeats interleaved."""
    samples: list[list[float]] = [[] for _ in samplers]
    for _ in range(REPEATS):
        for sampler, bucket in zip(samplers, samples):
            bucket.append(sampler())
    return samples


def spread(samples: list[float]) -> float:
    """(largest - smallest) / median of one measurement's repeats."""
    return (max(samples) - min(samples)) / statistics.median(samples)


class LoopCost:
    """The empty timeit loop's cost per iteration, subtracted from every
    statement's time: measured (REPEATS repeats) before the first group and
    again after the last, and taken as the median of all those repeats."""

    def __init__(self) -> None:
        self.samples: list[float] = []
        self._sampler = statement_sampler("pass", {})

    def measure(self) -> None:
        self.samples += [self._sampler() for _ in range(REPEATS)]

    @property
    def value(self) -> float:
        return statistics.median(self.samples)


def time_together(statements: list[tuple[str, dict]], extra: list[Sampler] = ()) -> list[list[float]]:
    """The samples (seconds per call) of each statement, then of each extra
    sampler, their repeats interleaved (the empty loop's cost not subtracted)."""
    samplers = [statement_sampler(stmt, ns) for stmt, ns in statements] + list(extra)
    return measure(samplers)


# ----------------------------------------------------------------- subjects


def load_floor(build_dir: Path):
    """The benchmark-only floor module from the bench build tree."""
    sys.path.insert(0, str(build_dir / "bench"))
    import quorvel_bench_floor  # noqa: PLC0415

    return quorvel_bench_floor


def load_scipy_rotation():
    """SciPy is a peer of the report, installed with the test extras."""
    try:
        from scipy.spatial.transform import Rotation  # noqa: PLC0415
    except ImportError as error:
        raise SystemExit(f"the benchmarks need SciPy as a peer ({error}): run `make bench`, which installs it") from None
    return Rotation


@dataclass
class Method:
    """One public method: how the module, the floor and the peers are called."""

    name: str
    module: str
    floor: str
    core: str | None  # core benchmark name, None where no core code runs
    pure: str | None = None
    scipy: str | None = None


@dataclass
class MethodTimes:
    method: Method
    module: float
    floor: float
    core: float | None = None  # core time, measured interleaved with module and floor; None: no core work
    pure: float | None = None
    scipy: float | None = None
    spread: float = 0.0  # largest (max - min) / median among the module, floor and core repeats


@dataclass
class PythonResults:
    methods: list[MethodTimes] = field(default_factory=list)
    loop_cost: float = 0.0  # subtracted from every statement's time
    loop_samples: list[float] = field(default_factory=list)
    # size -> {bytes, json.loads, from_json, core}, seconds per call
    documents: dict[str, dict[str, float]] = field(default_factory=dict)
    peer_checks: list[str] = field(default_factory=list)


def namespace(floor, rotation_cls, documents: dict[str, str]) -> dict:
    from quorvel_torso_kinematics import QuorvelArmKinematics, QuorvelNeckKinematics  # noqa: PLC0415

    from pure_python_peer import PurePythonArm, PurePythonNeck  # noqa: PLC0415

    arm = QuorvelArmKinematics.default_left()
    neck = QuorvelNeckKinematics()
    ns = {
        "Q": QuorvelArmKinematics,
        "F": floor.FloorArm,
        "arm": arm,
        "farm": floor.FloorArm(),
        "neck": neck,
        "fneck": floor.FloorNeck(),
        "parm": PurePythonArm(),
        "pneck": PurePythonNeck(),
        "R": arm.fk(THETA_A, THETA_B),
        "V": arm.direction(THETA_A, THETA_B),
        "NEAR": (THETA_A, THETA_B),
        "J": list(NECK_JOINTS),
        "NR": neck.fk(NECK_JOINTS),
        "DOC": TYPICAL_DOCUMENT,
        "json": json,
    }
    ns["Rotation"] = rotation_cls
    for size, text in documents.items():
        ns[f"DOC_{size}"] = text
    return ns


def methods() -> list[Method]:
    rows = [
        Method("QuorvelArmKinematics(0.7, 0.5)", "Q(0.7, 0.5)", "F(0.7, 0.5)", None),
        Method("QuorvelArmKinematics(0.7, 0.5, mirror=True)", "Q(0.7, 0.5, mirror=True)",
               "F(0.7, 0.5, mirror=True)", None),
        Method("default_left()", "Q.default_left()", "F.default_left()", None),
        Method("default_right()", "Q.default_right()", "F.default_right()", None),
        Method("fk(a, b)", "arm.fk(0.3, -0.2)", "farm.fk(0.3, -0.2)", "BM_forward_kinematics",
               pure="parm.fk(0.3, -0.2)"),
        Method("fk(theta_a=, theta_b=)", "arm.fk(theta_a=0.3, theta_b=-0.2)",
               "farm.fk(theta_a=0.3, theta_b=-0.2)", "BM_forward_kinematics"),
        Method("direction(a, b)", "arm.direction(0.3, -0.2)", "farm.direction(0.3, -0.2)",
               "BM_forward_kinematics", pure="parm.direction(0.3, -0.2)"),
        Method("is_reachable_joints(a, b)", "arm.is_reachable_joints(0.3, -0.2)",
               "farm.is_reachable_joints(0.3, -0.2)", "BM_is_reachable_joints"),
        Method("ik(R)", "arm.ik(R)", "farm.ik(R)", "BM_ik"),
        Method("is_reachable_orientation(R)", "arm.is_reachable_orientation(R)",
               "farm.is_reachable_orientation(R)", "BM_is_reachable_orientation"),
        Method("ik_from_direction(v)", "arm.ik_from_direction(V)", "farm.ik_from_direction(V)",
               "BM_ik_from_direction", pure="parm.ik_from_direction(V)"),
        Method("ik_from_direction(v, near=)", "arm.ik_from_direction(V, near=NEAR)",
               "farm.ik_from_direction(V, near=NEAR)", "BM_ik_from_direction_near",
               pure="parm.ik_from_direction(V, near=NEAR)"),
        Method("is_reachable_direction(v)", "arm.is_reachable_direction(V)",
               "farm.is_reachable_direction(V)", "BM_is_reachable_direction"),
        Method("arm_arc()", "arm.arm_arc()", "farm.arm_arc()", None),
        Method("coupler_arc()", "arm.coupler_arc()", "farm.coupler_arc()", None),
        Method("mirror()", "arm.mirror()", "farm.mirror()", None),
        Method("from_json(typical)", "Q.from_json(DOC)", "F.from_json(DOC)", "BM_parse_geometry_document/typical"),
        Method("neck.fk(joints)", "neck.fk(J)", "fneck.fk(J)", "BM_neck_forward_kinematics",
               pure="pneck.fk(J)", scipy='Rotation.from_euler("ZYX", J).as_matrix()'),
        Method("neck.ik(R)", "neck.ik(NR)", "fneck.ik(NR)", "BM_neck_inverse_kinematics",
               pure="pneck.ik(NR)", scipy='Rotation.from_matrix(NR).as_euler("ZYX")'),
    ]
    return rows


# ------------------------------------------------------------ peer checks


def _max_difference(a, b) -> float:
    if isinstance(a, (list, tuple)) or hasattr(a, "tolist"):
        a = a.tolist() if hasattr(a, "tolist") else a
        b = b.tolist() if hasattr(b, "tolist") else b
        if len(a) != len(b):
            return float("inf")
        return max((_max_difference(x, y) for x, y in zip(a, b)), default=0.0)
    return abs(float(a) - float(b))


def check_peers(ns: dict, tolerance: float = 1e-12) -> list[str]:
    """Compares the peers with the module on a grid of inputs; raises on a mismatch."""
    arm, parm, neck, pneck, rotation_cls = ns["arm"], ns["parm"], ns["neck"], ns["pneck"], ns["Rotation"]
    worst = {"arm fk": 0.0, "arm direction": 0.0, "arm ik_from_direction": 0.0, "neck fk": 0.0, "neck ik": 0.0,
             "SciPy neck fk": 0.0, "SciPy neck ik": 0.0}
    count = 0
    steps = [-0.9, -0.45, -0.2, 0.0, 0.15, 0.3, 0.6, 1.1]
    for a in steps:
        for b in steps:
            if not arm.is_reachable_joints(a, b):
                continue
            count += 1
            worst["arm fk"] = max(worst["arm fk"], _max_difference(arm.fk(a, b), parm.fk(a, b)))
            v = arm.direction(a, b)
            worst["arm direction"] = max(worst["arm direction"], _max_difference(v, parm.direction(a, b)))
            scaled = [3.0 * x for x in v]
            for near in (None, (a, b), (1.3, 0.0)):
                try:
                    expected = arm.ik_from_direction(scaled, near=near)
                except RuntimeError:
                    expected = None
                try:
                    got = parm.ik_from_direction(scaled, near=near)
                except RuntimeError:
                    got = None
                if (expected is None) != (got is None):
                    raise AssertionError(f"ik_from_direction({scaled}, near={near}): module {expected}, peer {got}")
                if expected is not None:
                    worst["arm ik_from_direction"] = max(worst["arm ik_from_direction"],
                                                        _max_difference(expected, got))
    angles = [-2.5, -0.7, 0.0, 0.3, 1.1, 3.0]
    pitches = [-1.2, -0.7, 0.0, 0.4, 1.3]
    for yaw in angles:
        for pitch in pitches:
            for roll in angles:
                joints = [yaw, pitch, roll]
                r = neck.fk(joints)
                worst["neck fk"] = max(worst["neck fk"], _max_difference(r, pneck.fk(joints)))
                back = neck.ik(r)
                worst["neck ik"] = max(worst["neck ik"], _max_difference(back, pneck.ik(r)))
                worst["SciPy neck fk"] = max(worst["SciPy neck fk"], _max_difference(
                    r, rotation_cls.from_euler("ZYX", joints).as_matrix()))
                worst["SciPy neck ik"] = max(worst["SciPy neck ik"], _max_difference(
                    back, rotation_cls.from_matrix(r).as_euler("ZYX")))
    lines = []
    for what, difference in worst.items():
        if not difference <= tolerance:
            raise AssertionError(f"peer disagrees with the module on {what}: max |difference| {difference:.3g}")
        lines.append(f"{what}: max |difference| {difference:.2g}")
    lines.insert(0, f"peers agree with the module to {tolerance:g} "
                    f"({count} arm joint pairs, {len(angles) ** 2 * len(pitches)} neck poses)")
    return lines


# ---------------------------------------------------------------- the run


def run(floor, documents: dict[str, str], core_sampler: Callable[[str], Sampler], progress=print) -> PythonResults:
    """Times every method (module, floor, peers and the core) and the document readers."""
    results = PythonResults()
    ns = namespace(floor, load_scipy_rotation(), documents)
    results.peer_checks = check_peers(ns)
    loop = LoopCost()
    loop.measure()

    raw = []
    for method in methods():
        progress(f"  timing {method.name}")
        statements = [(method.module, ns), (method.floor, ns)]
        if method.pure:
            statements.append((method.pure, ns))
        if method.scipy:
            statements.append((method.scipy, ns))
        extra = [core_sampler(method.core)] if method.core else []
        raw.append((method, time_together(statements, extra)))

    # All sizes in one group, so that the time-per-byte comparison across
    # sizes sees the same machine: from_json, json.loads and the core reader.
    progress("  timing documents of " + ", ".join(documents))
    statements = []
    for size in documents:
        statements += [(f"Q.from_json(DOC_{size})", ns), (f"json.loads(DOC_{size})", ns)]
    document_samples = time_together(statements, [core_sampler(f"BM_parse_geometry_document/{size}")
                                                  for size in documents])

    loop.measure()
    base = results.loop_cost = loop.value
    results.loop_samples = loop.samples
    for method, samples in raw:
        medians = [statistics.median(bucket) for bucket in samples]
        core = medians.pop() if method.core else None
        calls = [max(t - base, 0.0) for t in medians]
        # The noisiest of the module, floor and core measurements.
        noisiest = max(spread(bucket) for bucket in (samples[:2] + (samples[-1:] if method.core else [])))
        entry = MethodTimes(method, calls[0], calls[1], core=core, spread=noisiest)
        rest = calls[2:]
        if method.pure:
            entry.pure = rest.pop(0)
        if method.scipy:
            entry.scipy = rest.pop(0)
        results.methods.append(entry)
    cores = document_samples[len(statements):]
    for k, (size, text) in enumerate(documents.items()):
        ours, loads, core = document_samples[2 * k], document_samples[2 * k + 1], cores[k]
        results.documents[size] = {
            "bytes": float(len(text.encode())),
            "from_json": statistics.median(ours) - base,
            "json.loads": statistics.median(loads) - base,
            "core": statistics.median(core),
            "spread": max(spread(bucket) for bucket in (ours, loads, core)),
        }
    return results


# ------------------------------------------------------- the array companion

BATCH_N = 100_000  # poses per companion call in the per-pose timings
MEMORY_N = 10_000_000  # arm forward poses of the peak-memory check
THREAD_N = 400_000  # poses of the two-threads row
CALLGRIND_CALLS = 2000  # calls of each core operation in the callgrind driver
PYTHON_CALLGRIND_CALLS = 1000  # calls of each Python-level statement under callgrind
CALLGRIND_BATCH_ROWS = 10_000  # poses per companion call under callgrind
CALLGRIND_BATCH_CALLS = 3


@dataclass
class BatchFunction:
    """One companion function over BATCH_N copies of the core benchmark's input."""

    name: str
    statement: str
    core: str  # the core benchmark of the same operation


def batch_functions() -> list[BatchFunction]:
    return [
        BatchFunction("fk(arm, joints)", "qb.fk(arm, BJ)", "BM_forward_kinematics"),
        BatchFunction("direction(arm, joints)", "qb.direction(arm, BJ)", "BM_forward_kinematics"),
        BatchFunction("is_reachable_joints(arm, joints)", "qb.is_reachable_joints(arm, BJ)", "BM_is_reachable_joints"),
        BatchFunction("ik(arm, r_target)", "qb.ik(arm, BR)", "BM_ik"),
        BatchFunction("ik_from_direction(arm, v3)", "qb.ik_from_direction(arm, BV)", "BM_ik_from_direction"),
        BatchFunction("ik_from_direction(arm, v3, near (2,))", "qb.ik_from_direction(arm, BV, NEAR)",
                      "BM_ik_from_direction_near"),
        BatchFunction("ik_from_direction(arm, v3, near (N, 2))", "qb.ik_from_direction(arm, BV, BJ)",
                      "BM_ik_from_direction_near"),
        BatchFunction("follow_path(arm, directions, start)", "qb.follow_path(arm, BV, NEAR)",
                      "BM_ik_from_direction_near"),
        BatchFunction("direction_candidates(arm, v3)", "qb.direction_candidates(arm, BV)",
                      "BM_direction_candidate_slots"),
        BatchFunction("nearest_pointing(arm, r_target)", "qb.nearest_pointing(arm, BR)", "BM_nearest_pointing"),
        BatchFunction("neck_fk(joints)", "qb.neck_fk(BNJ)", "BM_neck_forward_kinematics"),
        BatchFunction("neck_ik(r)", "qb.neck_ik(BNR)", "BM_neck_inverse_kinematics"),
    ]


# (label, NumPy-input statement, list-input statement, goal): the main
# module given float64 arrays against the same call given lists.
MAIN_NUMPY_ROWS = [
    ("arm.ik(R)", "arm.ik(RA)", "arm.ik(R)", 1.2),
    ("arm.ik_from_direction(v)", "arm.ik_from_direction(VA)", "arm.ik_from_direction(V)", 1.2),
    ("neck.fk(joints)", "neck.fk(JA)", "neck.fk(J)", 1.5),
    ("neck.ik(R)", "neck.ik(NRA)", "neck.ik(NR)", 1.5),
]


@dataclass
class BatchTimes:
    function: BatchFunction
    per_pose: float  # seconds
    core: float  # seconds per call of the core benchmark, interleaved
    spread: float


@dataclass
class BatchResults:
    functions: list[BatchTimes] = field(default_factory=list)
    # label -> (companion per pose, peer per pose), each pair from one interleaved group
    peers: dict[str, tuple[float, float]] = field(default_factory=dict)
    main_numpy: list[tuple[str, float, float, float]] = field(default_factory=list)  # label, ndarray, list, goal
    memory: dict[str, float] = field(default_factory=dict)
    threads: dict[str, float] = field(default_factory=dict)
    load: list[tuple[float, float, float]] = field(default_factory=list)
    checks: list[str] = field(default_factory=list)
    spreads: dict[str, float] = field(default_factory=dict)  # peer and NumPy-input rows, by label


def batch_namespace(rotation_cls, rows: int = BATCH_N) -> dict:
    import numpy as np  # noqa: PLC0415

    import quorvel_torso_kinematics_batch as qb  # noqa: PLC0415
    from quorvel_torso_kinematics import QuorvelArmKinematics, QuorvelNeckKinematics  # noqa: PLC0415

    arm = QuorvelArmKinematics.default_left()
    neck = QuorvelNeckKinematics()
    rotation = arm.fk(THETA_A, THETA_B)
    direction = arm.direction(THETA_A, THETA_B)
    neck_rotation = neck.fk(NECK_JOINTS)
    fk = arm.fk
    pairs = [(THETA_A, THETA_B)] * rows

    def loop_fk():
        return [fk(a, b) for a, b in pairs]

    ns = {
        "qb": qb, "np": np, "arm": arm, "neck": neck, "loop_fk": loop_fk,
        "NEAR": (THETA_A, THETA_B),
        "BJ": np.tile([THETA_A, THETA_B], (rows, 1)),
        "BR": np.tile(rotation, (rows, 1, 1)),
        "BV": np.tile(direction, (rows, 1)),
        "BNJ": np.tile(NECK_JOINTS, (rows, 1)),
        "BNR": np.tile(neck_rotation, (rows, 1, 1)),
        "R": rotation, "RA": np.array(rotation), "V": direction, "VA": np.array(direction),
        "J": list(NECK_JOINTS), "JA": np.array(NECK_JOINTS), "NR": neck_rotation, "NRA": np.array(neck_rotation),
    }
    if rotation_cls is not None:
        ns["Rotation"] = rotation_cls
    return ns


def check_batch_peers(ns: dict, tolerance: float = 1e-12) -> list[str]:
    """SciPy's ZYX Euler angles are the neck's [yaw, pitch, roll]: checked on random poses before timing."""
    np, qb = ns["np"], ns["qb"]
    rng = np.random.default_rng(1)
    angles = np.column_stack([rng.uniform(-3.1, 3.1, 2000), rng.uniform(-1.5, 1.5, 2000), rng.uniform(-3.1, 3.1, 2000)])
    rotations = qb.neck_fk(angles)
    back, ok = qb.neck_ik(rotations)
    lines = [f"companion neck_fk / neck_ik: {int(ok.sum())} of {len(angles)} poses inverted"]
    rotation_cls = ns["Rotation"]
    fk_difference = float(np.abs(rotation_cls.from_euler("ZYX", angles).as_matrix() - rotations).max())
    ik_difference = float(np.abs(rotation_cls.from_matrix(rotations[ok]).as_euler("ZYX") - back[ok]).max())
    for what, difference in (("from_euler('ZYX').as_matrix()", fk_difference),
                             ("from_matrix().as_euler('ZYX')", ik_difference)):
        if not difference <= tolerance:
            raise AssertionError(f"SciPy {what} disagrees with the companion: max |difference| {difference:.3g}")
        lines.append(f"SciPy {what} agrees with the companion: max |difference| {difference:.2g}")
    return lines


# VmHWM, not ru_maxrss: Linux carries the parent's peak across fork and exec
# into ru_maxrss, while VmHWM belongs to the child's own address space.
MEMORY_SCRIPT = """
import json, sys
import numpy as np
import quorvel_torso_kinematics_batch as qb
from quorvel_torso_kinematics import QuorvelArmKinematics

def status(key):
    for line in open("/proc/self/status"):
        if line.startswith(key + ":"):
            return int(line.split()[1]) * 1024
    raise RuntimeError(key + " not in /proc/self/status")

n = int(sys.argv[1])
arm = QuorvelArmKinematics.default_left()
before = status("VmRSS")
joints = np.empty((n, 2))
joints[:, 0] = 0.3
joints[:, 1] = -0.2
rotations, closed = qb.fk(arm, joints)
assert closed.all()
print(json.dumps({"peak": status("VmHWM"), "before": before,
                  "arrays": joints.nbytes + rotations.nbytes + closed.nbytes}))
"""


def measure_memory(n: int) -> dict[str, float]:
    """Peak RSS of a child process that runs the companion's fk over n poses."""
    output = subprocess.run([sys.executable, "-c", MEMORY_SCRIPT, str(n)], check=True, capture_output=True,
                            text=True).stdout
    return json.loads(output)


def measure_threads(ns: dict, n: int) -> dict[str, float]:
    """Wall time of ik_from_direction over n poses: one thread on all, two on halves (median of REPEATS, interleaved)."""
    import threading  # noqa: PLC0415

    np, qb, arm = ns["np"], ns["qb"], ns["arm"]
    directions = np.tile(ns["V"], (n, 1))
    halves = [directions[: n // 2], directions[n // 2:]]

    def one() -> tuple[float, float]:
        start, cpu = time.perf_counter(), time.process_time()
        qb.ik_from_direction(arm, directions)
        return time.perf_counter() - start, time.process_time() - cpu

    def two() -> tuple[float, float]:
        threads = [threading.Thread(target=qb.ik_from_direction, args=(arm, half)) for half in halves]
        start, cpu = time.perf_counter(), time.process_time()
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        return time.perf_counter() - start, time.process_time() - cpu

    samples: dict[str, list[tuple[float, float]]] = {"one": [], "two": []}
    for _ in range(REPEATS):
        samples["one"].append(one())
        samples["two"].append(two())
    # Process CPU time over wall time: near 2 when both threads computed at once.
    return {name: statistics.median(wall for wall, _ in values) for name, values in samples.items()} | {
        f"{name} cpu": statistics.median(cpu for _, cpu in values) for name, values in samples.items()}


def run_batch(core_sampler: Callable[[str], Sampler], progress=print) -> BatchResults:
    """Times the companion against the core, the peers and (for NumPy inputs) the main module."""
    results = BatchResults()
    results.load.append(os.getloadavg())
    ns = batch_namespace(load_scipy_rotation())
    results.checks = check_batch_peers(ns)

    for function in batch_functions():
        progress(f"  timing companion {function.name} (N = {BATCH_N})")
        samples = time_together([(function.statement, ns)], [core_sampler(function.core)])
        results.functions.append(BatchTimes(function, statistics.median(samples[0]) / BATCH_N,
                                            statistics.median(samples[1]), max(spread(bucket) for bucket in samples)))

    progress("  timing companion against peers (SciPy, a Python loop over arm.fk)")
    pairs = [("arm fk vs Python loop over arm.fk", "qb.fk(arm, BJ)", "loop_fk()"),
             ("neck fk vs SciPy from_euler('ZYX').as_matrix()", "qb.neck_fk(BNJ)",
              "Rotation.from_euler('ZYX', BNJ).as_matrix()"),
             ("neck ik vs SciPy from_matrix().as_euler('ZYX')", "qb.neck_ik(BNR)",
              "Rotation.from_matrix(BNR).as_euler('ZYX')")]
    for label, ours, peer in pairs:
        samples = time_together([(ours, ns), (peer, ns)])
        results.peers[label] = (statistics.median(samples[0]) / BATCH_N, statistics.median(samples[1]) / BATCH_N)
        results.spreads[label] = max(spread(bucket) for bucket in samples)

    progress("  timing the main module with NumPy inputs against lists (one interleaved group)")
    loop = LoopCost()
    loop.measure()
    statements = [(stmt, ns) for _, array_stmt, list_stmt, _ in MAIN_NUMPY_ROWS for stmt in (array_stmt, list_stmt)]
    samples = time_together(statements)
    medians = [statistics.median(bucket) for bucket in samples]
    loop.measure()
    for k, (label, _, _, goal) in enumerate(MAIN_NUMPY_ROWS):
        results.main_numpy.append((label, medians[2 * k] - loop.value, medians[2 * k + 1] - loop.value, goal))
        results.spreads[label] = max(spread(samples[2 * k]), spread(samples[2 * k + 1]))

    progress(f"  peak memory of fk over {MEMORY_N:,} poses (child process)")
    results.memory = measure_memory(MEMORY_N)
    progress(f"  two threads on halves against one thread, ik_from_direction over {THREAD_N:,} poses")
    results.threads = measure_threads(ns, THREAD_N)
    results.load.append(os.getloadavg())
    return results
