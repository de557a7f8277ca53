"""The benchmark report of one `make bench` run: console text, docs/benchmarks.md
and the README summary, all built from the same results.

Measures nothing: bench/run_bench.py gathers the results, and the report's
test feeds made-up ones, so no table or goal line can drop out unnoticed.
"""

from __future__ import annotations

import re
import statistics
from dataclasses import dataclass, field

import python_bench as pb

OVERHEAD_LIMIT = 1.15  # (module - core) <= 1.15 x floor
CALLGRIND_RATIO_LIMIT = 6.0  # ik_from_direction <= 6 x forward_kinematics
PURE_FK_SPEEDUP = 10.0
PURE_IKD_SPEEDUP = 50.0
SCIPY_SPEEDUP = 20.0
BATCH_CORE_LIMIT = 1.25  # companion per pose <= 1.25 x the core's per-call time
BATCH_SCIPY_SPEEDUP = 10.0
BATCH_LOOP_SPEEDUP = 4.0
BATCH_MEMORY_LIMIT = 1.1  # peak RSS <= 1.1 x the input and output arrays
LINEARITY_LIMIT = 1.5  # largest / smallest time per byte over 1 KB, 1 MB, 10 MB

# Which callgrind driver operation runs the core work behind a core benchmark.
CORE_OPERATION = {
    "BM_forward_kinematics": "fk",
    "BM_is_reachable_joints": "is_reachable_joints",
    "BM_ik": "ik",
    "BM_is_reachable_orientation": "is_reachable_orientation",
    "BM_ik_from_direction": "ik_from_direction",
    "BM_ik_from_direction_near": "ik_from_direction_near",
    "BM_is_reachable_direction": "is_reachable_direction",
    "BM_direction_candidate_slots": "direction_candidate_slots",
    "BM_nearest_pointing": "nearest_pointing",
    "BM_neck_forward_kinematics": "neck_fk",
    "BM_neck_inverse_kinematics": "neck_ik",
    "BM_parse_geometry_document/typical": "parse_typical",
}

# Section titles, in the document's order.
PER_CALL = "Per-call times"
INSTRUCTIONS = "Instructions per call"
CORE = "Core operations"
DOCUMENTS = "Geometry documents"
NUMPY = "NumPy inputs to the main module"
COMPANION = "Array companion"
SPREAD = "Run-to-run spread"


# ------------------------------------------------------------------ results


@dataclass
class Callgrind:
    core: dict[str, float]  # driver operation -> instructions per call
    python: dict[str, float]  # "module:NAME" / "floor:NAME" per call, "batch:NAME" per pose
    documents: dict[str, float]  # size -> instructions to read the document once


@dataclass
class RunInfo:
    started: str  # local date and time
    seconds: float  # how long the run took
    cpu: str
    cores: int
    load_start: tuple[float, float, float]
    load_end: tuple[float, float, float]
    kernel: str
    compiler: str
    python: str
    numpy: str
    scipy: str
    google_benchmark: str
    project: str
    commit: str
    dirty: bool


@dataclass
class Results:
    info: RunInfo
    python: pb.PythonResults
    callgrind: Callgrind
    batch: pb.BatchResults


# ------------------------------------------------------------------- report


@dataclass
class Table:
    title: str
    header: list[str]
    rows: list[list[str]]
    notes: list[str] = field(default_factory=list)


@dataclass
class Section:
    title: str
    text: list[str]
    tables: list[Table]


@dataclass
class Goal:
    name: str
    passed: bool
    detail: str
    note: str = ""  # what a failure means, in plain words


@dataclass
class Report:
    sections: list[Section]
    goals: list[Goal]


def _num(value: float | None, digits: int = 1, suffix: str = "") -> str:
    return "-" if value is None else f"{value:,.{digits}f}{suffix}"


def _pct(value: float) -> str:
    return f"{value * 100:.0f}%"


def _overhead(value: float) -> str:
    return f"{value:.2f}{'*' if value > OVERHEAD_LIMIT else ''}"


def _ns(seconds: float) -> float:
    return seconds * 1e9


def _worst(pairs: list[tuple[str, float]]) -> tuple[str, float]:
    return max(pairs, key=lambda pair: pair[1])


def _names(pairs: list[tuple[str, float]], digits: int = 2, suffix: str = "") -> str:
    return ", ".join(f"{name} {value:.{digits}f}{suffix}" for name, value in pairs)


class _Builder:
    """Builds the sections and the goals; each goal's note is worded from this run's numbers."""

    def __init__(self, results: Results) -> None:
        self.r = results
        self.py = results.python
        self.cg = results.callgrind
        self.batch = results.batch
        self.by_name = {entry.method.name: entry for entry in self.py.methods}
        self.goals: dict[str, Goal] = {}

    def goal(self, key: str, name: str, passed: bool, detail: str) -> Goal:
        self.goals[key] = Goal(name, passed, detail)
        return self.goals[key]

    # ------------------------------------------------------- main module

    def overhead_time(self) -> dict[str, float]:
        return {e.method.name: (e.module - (e.core or 0.0)) / e.floor if e.floor > 0 else float("inf")
                for e in self.py.methods}

    def overhead_instructions(self) -> dict[str, float]:
        result = {}
        for e in self.py.methods:
            core = self.cg.core[CORE_OPERATION[e.method.core]] if e.method.core else 0.0
            result[e.method.name] = ((self.cg.python[f"module:{e.method.name}"] - core)
                                     / self.cg.python[f"floor:{e.method.name}"])
        return result

    def per_call(self) -> Section:
        overhead = self.overhead_time()
        rows = []
        for e in self.py.methods:
            rows.append([e.method.name, _num(_ns(e.module)), _num(_ns(e.core) if e.core is not None else None),
                         _num(_ns(e.floor)), _overhead(overhead[e.method.name]),
                         _num(e.pure / e.module if e.pure is not None else None, 2, "x"),
                         _num(e.scipy / e.module if e.scipy is not None else None, 2, "x"), _pct(e.spread)])
        over = [(name, value) for name, value in overhead.items() if not value <= OVERHEAD_LIMIT]
        self.goal("overhead time", f"binding overhead (module - core) <= {OVERHEAD_LIMIT} x floor, every method (time)",
                  not over, f"all within; worst {_names([_worst(list(overhead.items()))])}" if not over
                  else f"{len(over)} over: {_names(over)}")
        loops = [_ns(sample) for sample in self.py.loop_samples]
        table = Table("Time per call (ns)", ["method", "module ns", "core ns", "floor ns", "(module - core) / floor",
                                             "vs pure Python", "vs SciPy", "spread"], rows, [
            f"* over the binding-overhead goal ({OVERHEAD_LIMIT}x floor). core '-': no core work (counted as 0).",
            "vs pure Python / vs SciPy: the peer's time per call divided by the module's.",
            "spread: the largest (max - min) / median among the module's, floor's and core's repeats."])
        return Section(PER_CALL, [
            "Every public method of the module beside the overhead floor (a benchmark-only module that parses the "
            "same arguments and builds the same result objects with no kinematics), the core's own time (Google "
            "Benchmark, single runs interleaved with the Python-level repeats of the same method) and the peers. "
            f"The empty timeit loop's cost, {self.py.loop_cost * 1e9:.1f} ns (median of {len(loops)} repeats before "
            f"and after, range {min(loops):.1f}-{max(loops):.1f}), is subtracted."], [table])

    def instructions(self) -> Section:
        overhead = self.overhead_instructions()
        rows = []
        for e in self.py.methods:
            name = e.method.name
            core = self.cg.core[CORE_OPERATION[e.method.core]] if e.method.core else None
            module, floor = self.cg.python[f"module:{name}"], self.cg.python[f"floor:{name}"]
            rows.append([name, _num(module, 0), _num(core, 0), _num(floor, 0), _overhead(overhead[name]),
                         _num(module - (core or 0.0) - floor, 0)])
        over = [(name, value) for name, value in overhead.items() if not value <= OVERHEAD_LIMIT]
        self.goal("overhead instructions",
                  f"binding overhead (module - core) <= {OVERHEAD_LIMIT} x floor in instructions (cross-check)",
                  not over, f"all within; worst {_names([_worst(list(overhead.items()))])}" if not over
                  else f"{len(over)} over: {_names(over)}")
        table = Table("Instructions per call", ["method", "module", "core", "floor", "(module - core) / floor",
                                                "module - core - floor"], rows,
                      ["module - core - floor: instructions the binding spends beyond the floor's."])
        return Section(INSTRUCTIONS, [
            f"callgrind: module and floor statements {pb.PYTHON_CALLGRIND_CALLS} times each after a warm-up, less "
            f"the empty loop; core operations ((N = {pb.CALLGRIND_CALLS}) - (N = 0)) / N in a C++ driver. "
            "Deterministic, so a cross-check of the times on a busy machine."], [table])

    def core(self) -> Section:
        beside: dict[str, list[str]] = {}
        for e in self.py.methods:
            if e.method.core:
                beside.setdefault(e.method.core, []).append(f"{_num(_ns(e.core))} ({e.method.name})")
        for b in self.batch.functions:
            beside.setdefault(b.function.core, []).append(f"{_num(_ns(b.core))} (companion {b.function.name})")
        fk = self.cg.core["fk"]
        rows = [[name, operation, _num(self.cg.core[operation], 0), f"{self.cg.core[operation] / fk:.2f}",
                 ", ".join(beside.get(name, []))] for name, operation in CORE_OPERATION.items()]
        ratio = self.cg.core["ik_from_direction"] / fk
        goal = self.goal("callgrind ratio", f"callgrind ik_from_direction <= {CALLGRIND_RATIO_LIMIT} x forward_kinematics",
                         ratio <= CALLGRIND_RATIO_LIMIT,
                         f"{self.cg.core['ik_from_direction']:.0f} / {fk:.0f} = {ratio:.2f}x")
        if not goal.passed:
            slots = self.cg.core["direction_candidate_slots"]
            goal.note = (f"`ik_from_direction` executes {ratio:.2f}x the instructions of one forward kinematics "
                         f"evaluation, over the {CALLGRIND_RATIO_LIMIT:g}x budget. Enumerating the candidates alone "
                         f"costs {slots:.0f} ({slots / fk:.2f}x fk); the remaining "
                         f"{self.cg.core['ik_from_direction'] - slots:.0f} go to normalising and choosing.")
        return Section(CORE, [
            "The pure C++ core on the same inputs: instructions per call (callgrind) and Google Benchmark CPU time "
            "per call, each a median of single runs of at least 0.2 s interleaved with the Python-level repeats of "
            "the row named."], [Table("Core per call", ["core benchmark", "driver operation", "instructions",
                                                        "x fk", "Google Benchmark ns beside"], rows)])

    def speedup_goal(self, key: str, name: str, methods: list[str], peer: str, limit: float) -> None:
        parts, notes = [], []
        for method in methods:
            e = self.by_name[method]
            theirs = getattr(e, peer)
            speedup = theirs / e.module
            core = e.core or 0.0
            bound = theirs / (e.floor + core)  # what a binding at its floor could reach
            parts.append(f"{method} {speedup:.1f}x (floor+core bound {bound:.1f}x)")
            if speedup >= limit:
                continue
            who = "the pure-Python version" if peer == "pure" else "SciPy"
            text = (f"`{method}` took {_ns(e.module):.0f} ns against {_ns(theirs):.0f} ns for {who} "
                    f"({speedup:.1f}x). ")
            if bound < limit:
                text += (f"The binding floor alone (parsing the arguments and building the result objects, no "
                         f"kinematics) takes {_ns(e.floor):.0f} ns, {_pct(e.floor / e.module)} of the call and "
                         f"{_pct(e.floor / theirs)} of {who}'s, so even a binding with no overhead beyond that floor "
                         f"would reach only about {bound:.1f}x, short of {limit:g}x.")
            else:
                text += (f"A binding at its floor would reach {bound:.1f}x; this call spent "
                         f"{_ns(e.module - e.floor - core):.0f} ns beyond the floor and the core.")
            notes.append(text)
        goal = self.goal(key, name, not notes, ", ".join(parts))
        goal.note = " ".join(notes)

    def documents(self) -> Section:
        rows, per_byte, slower = [], {}, []
        for size, d in self.py.documents.items():
            core_ns, module_ns, json_ns = _ns(d["core"]), _ns(d["from_json"]), _ns(d["json.loads"])
            per_byte[size] = core_ns / d["bytes"]
            if json_ns / module_ns < 1.0:
                slower.append((size, json_ns / module_ns))
            instructions = self.cg.documents.get(size)
            rows.append([size, _num(d["bytes"], 0), _num(core_ns, 0), _num(d["bytes"] / core_ns * 1e3),
                         _num(module_ns, 0), _num(d["bytes"] / module_ns * 1e3), _num(json_ns, 0),
                         _num(d["bytes"] / json_ns * 1e3), f"{json_ns / module_ns:.2f}x",
                         _num(instructions / d["bytes"] if instructions is not None else None, 2)])
        spread = max(per_byte.values()) / min(per_byte.values())
        counts = {size: self.cg.documents[size] / self.py.documents[size]["bytes"] for size in self.cg.documents}
        instruction_spread = max(counts.values()) / min(counts.values())
        detail = ("core ns/byte " + ", ".join(f"{k} {v:.2f}" for k, v in per_byte.items())
                  + f" (spread {spread:.2f}x, limit {LINEARITY_LIMIT}x); "
                  + ("from_json >= json.loads at every size" if not slower
                     else "from_json slower than json.loads at " + _names(slower, 2, "x"))
                  + f"; instructions/byte spread {instruction_spread:.2f}x over {', '.join(counts)}")
        goal = self.goal("documents", "geometry document time linear in size (1 KB, 1 MB, 10 MB) and >= json.loads "
                         "throughput", spread <= LINEARITY_LIMIT and not slower, detail)
        notes = []
        if spread > LINEARITY_LIMIT:
            slowest, fastest = max(per_byte, key=per_byte.get), min(per_byte, key=per_byte.get)
            text = (f"By time the reader's cost per byte varied {spread:.2f}x across the sizes ({slowest} "
                    f"{per_byte[slowest]:.2f} ns/byte, {fastest} {per_byte[fastest]:.2f} ns/byte), over the "
                    f"{LINEARITY_LIMIT}x allowed. ")
            if instruction_spread <= LINEARITY_LIMIT:
                text += (f"By instructions it is linear ({instruction_spread:.2f}x spread per byte over "
                         f"{', '.join(counts)}), so the difference is the machine (caches, load), not the reader.")
            else:
                text += (f"By instructions too ({instruction_spread:.2f}x per byte): the reader does more work per "
                         "byte on some sizes.")
            notes.append(text)
        if slower:
            notes.append(f"`from_json` read these documents slower than `json.loads` ({_names(slower, 2, 'x')} of "
                         "its speed), although `json.loads` builds every value the reader only skips.")
        goal.note = " ".join(notes)
        typical = self.by_name["from_json(typical)"]
        return Section(DOCUMENTS, [
            "Geometry documents made mostly of one skipped value, all sizes timed in one interleaved group; "
            "MB/s with 1 MB = 10^6 bytes; core = Google Benchmark single runs interleaved with the Python-level "
            "repeats; instructions per byte from callgrind (one read minus none; not the 10 MB document).",
            f"The typical document ({len(pb.TYPICAL_DOCUMENT)} bytes): core {_ns(typical.core):.0f} ns, "
            f"`from_json` {_ns(typical.module):.0f} ns."],
            [Table("Documents", ["size", "bytes", "core ns", "core MB/s", "from_json ns", "from_json MB/s",
                                 "json.loads ns", "json.loads MB/s", "from_json vs json.loads", "instructions/byte"],
                   rows)])

    def numpy(self) -> Section:
        rows = []
        for label, array_time, list_time, limit in self.batch.main_numpy:
            ratio = array_time / list_time
            rows.append([label, _num(_ns(array_time)), _num(_ns(list_time)), f"{ratio:.2f}x", f"{limit:g}x"])
            goal = self.goal(f"numpy {label}", f"main module {label} with an ndarray <= {limit:g} x with a list",
                             ratio <= limit, f"{ratio:.2f}x")
            if not goal.passed:
                goal.note = (f"Given a NumPy array, `{label}` took {_ns(array_time):.0f} ns against "
                             f"{_ns(list_time):.0f} ns with lists ({ratio:.2f}x, limit {limit:g}x): a caller passing "
                             f"arrays pays {_ns(array_time - list_time):.0f} ns more per call. For many poses at "
                             "once the array companion is the faster route.")
        return Section(NUMPY, [
            "The main module given float64 NumPy arrays against the same call given lists, one interleaved group, "
            "per call, the empty loop subtracted."],
            [Table("ndarray against list", ["call", "ndarray ns", "list ns", "ratio", "goal"], rows)])

    # ------------------------------------------------------- companion

    def companion(self) -> Section:
        n = pb.BATCH_N
        rows, time_ratios = [], []
        for b in self.batch.functions:
            ratio = b.per_pose / b.core
            time_ratios.append((b.function.name, ratio))
            rows.append([b.function.name, _num(_ns(b.per_pose)), _num(_ns(b.core)), b.function.core,
                         f"{ratio:.2f}", _pct(b.spread)])
        per_pose = Table(f"Per pose against the core (time, N = {n:,})",
                         ["function", "ns per pose", "core ns", "core benchmark", "ratio", "spread"], rows)

        rows, counts = [], []
        for function in pb.batch_functions():
            count = self.cg.python[f"batch:{function.name}"]
            core = self.cg.core[CORE_OPERATION[function.core]]
            counts.append((function.name, count / core))
            rows.append([function.name, _num(count, 0), _num(core, 0), f"{count / core:.2f}"])
        instructions = Table(
            f"Per pose against the core (instructions, {pb.CALLGRIND_BATCH_CALLS} calls of "
            f"{pb.CALLGRIND_BATCH_ROWS:,} poses)", ["function", "instructions per pose", "core instructions", "ratio"],
            rows)

        over = [pair for pair in time_ratios if not pair[1] <= BATCH_CORE_LIMIT]
        over_counts = [pair for pair in counts if not pair[1] <= BATCH_CORE_LIMIT]
        goal = self.goal("companion time", f"companion per pose <= {BATCH_CORE_LIMIT} x core per call, every "
                         "function (time)", not over, f"all within; worst {_names([_worst(time_ratios)])}"
                         if not over else f"{len(over)} over: {_names(over)}")
        if over:
            goal.note = (f"For {len(over)} of {len(time_ratios)} functions (worst {_names([_worst(over)])}) the "
                         f"companion took more per pose than {BATCH_CORE_LIMIT}x the core's own per-call time. ")
            if not over_counts:
                goal.note += (f"By instructions every function is within {BATCH_CORE_LIMIT}x (worst "
                              f"{_names([_worst(counts)])}), so the extra time is not extra work around the core but "
                              f"the memory traffic of {n:,}-pose arrays (the core benchmark reads one input from "
                              "cache) or the machine's load.")
            else:
                goal.note += "By instructions some are over too (next goal)."
        goal = self.goal("companion instructions", f"companion per pose <= {BATCH_CORE_LIMIT} x core per call in "
                         "instructions (cross-check)", not over_counts,
                         f"all within; worst {_names([_worst(counts)])}" if not over_counts
                         else f"{len(over_counts)} over: {_names(over_counts)}")
        if over_counts:
            goal.note = (f"For {len(over_counts)} of {len(counts)} functions (worst {_names([_worst(over_counts)])}) "
                         f"the companion executes per pose more than {BATCH_CORE_LIMIT}x the core's instructions for "
                         "one call, so the loop around the core (reading and checking a row, writing the results) "
                         f"costs more than {_pct(BATCH_CORE_LIMIT - 1)} of the core itself.")

        rows = []
        for label, (ours, theirs) in self.batch.peers.items():
            rows.append([label, _num(_ns(ours)), _num(_ns(theirs)), f"{theirs / ours:.1f}x",
                         _num(ours * n * 1e3), _num(theirs * n * 1e3)])
        peers = Table(f"Against SciPy and a Python loop (per pose, N = {n:,})",
                      ["comparison", "companion ns", "peer ns", "speed-up", "companion ms per call",
                       "peer ms per call"], rows)
        ours, theirs = self.batch.peers["arm fk vs Python loop over arm.fk"]
        goal = self.goal("companion loop", f"companion arm fk >= {BATCH_LOOP_SPEEDUP:g}x a Python loop over arm.fk",
                         theirs / ours >= BATCH_LOOP_SPEEDUP, f"{theirs / ours:.1f}x")
        if not goal.passed:
            goal.note = (f"The companion's `fk` took {_ns(ours):.1f} ns per pose against {_ns(theirs):.1f} ns for a "
                         f"Python loop calling `arm.fk`: {theirs / ours:.1f}x, short of {BATCH_LOOP_SPEEDUP:g}x, so "
                         "handing over a whole array saves less than it should over calling the main module per pose.")
        scipy = [(label.split(" vs")[0], ours, theirs) for label, (ours, theirs) in self.batch.peers.items()
                 if "SciPy" in label]
        slow = [(label, theirs / ours) for label, ours, theirs in scipy if theirs / ours < BATCH_SCIPY_SPEEDUP]
        goal = self.goal("companion scipy", f"companion neck fk and ik >= {BATCH_SCIPY_SPEEDUP:g}x SciPy's "
                         "vectorised Rotation", not slow,
                         ", ".join(f"{label} {theirs / ours:.1f}x" for label, ours, theirs in scipy))
        if slow:
            goal.note = (f"Per pose the companion is less than {BATCH_SCIPY_SPEEDUP:g}x faster than SciPy's "
                         f"vectorised `Rotation` on the same arrays ({_names(slow, 1, 'x')}).")

        memory = self.batch.memory
        mib = 2 ** 20
        ratio = memory["peak"] / memory["arrays"]
        memory_table = Table(f"Memory (fk over {pb.MEMORY_N:,} poses, in a child process)", ["what", "MiB"], [
            ["peak RSS", _num(memory["peak"] / mib, 0)],
            ["input and output arrays", _num(memory["arrays"] / mib, 0)],
            ["interpreter and modules before the arrays", _num(memory["before"] / mib, 0)],
            ["peak / arrays", f"{ratio:.3f}x"]])
        goal = self.goal("memory", f"peak RSS <= {BATCH_MEMORY_LIMIT} x the arrays, fk over {pb.MEMORY_N:,} poses",
                         ratio <= BATCH_MEMORY_LIMIT, f"{ratio:.3f}x")
        if not goal.passed:
            extra = (memory["peak"] - memory["before"] - memory["arrays"]) / mib
            goal.note = (f"Peak RSS was {memory['peak'] / mib:.0f} MiB for {memory['arrays'] / mib:.0f} MiB of input "
                         f"and output arrays ({ratio:.3f}x). The interpreter and modules took "
                         f"{memory['before'] / mib:.0f} MiB before the arrays, so {extra:.0f} MiB went to neither: "
                         "memory the call holds beyond its own results.")

        t = self.batch.threads
        threads = Table(f"Threads (ik_from_direction over {pb.THREAD_N:,} poses, wall time, median of "
                        f"{pb.REPEATS} interleaved)", ["threads", "wall ms", "CPU time / wall time"], [
            ["one on all poses", _num(t["one"] * 1e3), f"{t['one cpu'] / t['one']:.2f}"],
            ["two on halves", _num(t["two"] * 1e3), f"{t['two cpu'] / t['two']:.2f}"]],
            [f"Two threads against one: {t['one'] / t['two']:.2f}x. CPU time / wall time near 2 means both threads "
             "computed at once the whole time."])
        return Section(COMPANION, [
            f"`quorvel_torso_kinematics_batch`, each function over N = {n:,} copies of the core benchmark's input, "
            f"process CPU time, median of {pb.REPEATS} repeats interleaved with single Google Benchmark runs of the "
            "core operation named. Load average (1, 5, 15 min) before and after this section: "
            + ", then ".join(" ".join(f"{x:.2f}" for x in load) for load in self.batch.load) + "."],
            [per_pose, instructions, peers, memory_table, threads])

    # ------------------------------------------------------- spread and goals

    def spread(self) -> Section:
        groups = [
            ("per-call methods (module, floor, core)", [(e.method.name, e.spread) for e in self.py.methods]),
            ("geometry documents (from_json, json.loads, core)",
             [(size, d["spread"]) for size, d in self.py.documents.items()]),
            ("companion per pose (function, core)", [(b.function.name, b.spread) for b in self.batch.functions]),
            ("companion against peers, NumPy inputs", list(self.batch.spreads.items())),
        ]
        rows = []
        for label, pairs in groups:
            name, largest = _worst(pairs)
            rows.append([label, str(len(pairs)), _pct(statistics.median(v for _, v in pairs)), _pct(largest), name])
        loops = self.py.loop_samples
        rows.append(["empty timeit loop", str(len(loops)), _pct(pb.spread(loops)), _pct(pb.spread(loops)),
                     f"{min(loops) * 1e9:.1f}-{max(loops) * 1e9:.1f} ns"])
        info = self.r.info
        return Section(SPREAD, [
            f"spread = (largest - smallest) / median of one measurement's {pb.REPEATS} repeats. On a shared, loaded "
            "machine repeats differ a lot, so the instruction counts (deterministic) are the figures to compare. "
            f"Load average (1, 5, 15 min): {' '.join(f'{x:.2f}' for x in info.load_start)} at the start, "
            f"{' '.join(f'{x:.2f}' for x in info.load_end)} at the end, on {info.cores} cores."],
            [Table("Spread of the repeats", ["measurements", "count", "median spread", "largest spread", "largest at"],
                   rows)])

    def overhead_notes(self) -> None:
        goal = self.goals["overhead time"]
        time_over = self.overhead_time()
        counts = self.overhead_instructions()
        over = [(name, value) for name, value in time_over.items() if not value <= OVERHEAD_LIMIT]
        if over:
            largest = max(e.spread for e in self.py.methods)
            parts = [f"{len(over)} of {len(time_over)} methods came out over {OVERHEAD_LIMIT}x the floor by time in "
                     "this run."]
            if self.goals["overhead instructions"].passed:
                parts.append(f"Counted in instructions, which the machine's load does not change, every method is "
                             f"within {OVERHEAD_LIMIT}x of the floor (worst {_names([_worst(list(counts.items()))])}), "
                             "so the excess by time is not binding work but the timing noise of this machine "
                             f"(repeats of one measurement differed by up to {_pct(largest)}).")
            else:
                parts.append("Counted in instructions some methods are over too (next goal): there the binding does "
                             "more than the floor's work.")
            left, right = time_over["default_left()"], time_over["default_right()"]
            if abs(left - right) > 0.05:
                parts.append(f"`default_left()` and `default_right()` run the same code and came out at {left:.2f} "
                             f"and {right:.2f}.")
            near, plain = self.by_name["ik_from_direction(v, near=)"], self.by_name["ik_from_direction(v)"]
            near_name, plain_name = near.method.name, plain.method.name
            if (time_over[near_name] > OVERHEAD_LIMIT >= time_over[plain_name] and counts[near_name] <= OVERHEAD_LIMIT
                    and near.core <= plain.core):
                beyond = {name: self.cg.python[f"module:{name}"] - self.cg.python[f"floor:{name}"]
                          - self.cg.core[CORE_OPERATION[self.by_name[name].method.core]]
                          for name in (near_name, plain_name)}
                parts.append(f"`{near_name}` fails by time while `{plain_name}` passes, yet Google Benchmark times "
                             f"the core with `near` at or below the one without ({_ns(near.core):.1f} against "
                             f"{_ns(plain.core):.1f} ns) and the binding spends {beyond[near_name]:.0f} against "
                             f"{beyond[plain_name]:.0f} instructions beyond the floor: the core, timed alone in a tight "
                             "C++ loop, runs faster than the same core between interpreter calls (cache and "
                             "branch-predictor state), which is not binding work.")
            goal.note = " ".join(parts)
        goal = self.goals["overhead instructions"]
        if not goal.passed:
            over = [(name, value) for name, value in counts.items() if not value <= OVERHEAD_LIMIT]
            goal.note = (f"For {len(over)} of {len(counts)} methods (worst {_names([_worst(over)])}) the binding "
                         f"executes, beyond the core's own instructions, more than {OVERHEAD_LIMIT}x what the floor "
                         "spends parsing the same arguments and building the same result. Instruction counts do not "
                         "depend on the load, so this is extra work in the binding.")

    def build(self) -> Report:
        sections = [self.per_call(), self.instructions(), self.core()]
        self.overhead_notes()
        self.speedup_goal("pure fk", f">= {PURE_FK_SPEEDUP:g}x pure Python for arm fk and neck fk",
                          ["fk(a, b)", "neck.fk(joints)"], "pure", PURE_FK_SPEEDUP)
        self.speedup_goal("pure ikd", f">= {PURE_IKD_SPEEDUP:g}x pure Python for ik_from_direction",
                          ["ik_from_direction(v)", "ik_from_direction(v, near=)"], "pure", PURE_IKD_SPEEDUP)
        self.speedup_goal("scipy", f">= {SCIPY_SPEEDUP:g}x SciPy for neck fk and ik",
                          ["neck.fk(joints)", "neck.ik(R)"], "scipy", SCIPY_SPEEDUP)
        sections += [self.documents(), self.numpy(), self.companion(), self.spread()]
        return Report(sections, list(self.goals.values()))


def build_report(results: Results) -> Report:
    return _Builder(results).build()


# ---------------------------------------------------------------- rendering


def goal_line(goal: Goal) -> str:
    return f"{'PASS' if goal.passed else 'FAIL'}  {goal.name}: {goal.detail}"


def _text_table(table: Table) -> list[str]:
    widths = [max(len(row[k]) for row in [table.header] + table.rows) for k in range(len(table.header))]

    def line(cells: list[str]) -> str:
        return " | ".join(cell.ljust(w) if k == 0 else cell.rjust(w) for k, (cell, w) in enumerate(zip(cells, widths)))

    rule = "-" * len(line(table.header))
    return [table.title + ":", rule, line(table.header), rule] + [line(row) for row in table.rows] + [rule] + table.notes


def render_text(report: Report) -> str:
    lines = []
    for section in report.sections:
        lines += ["", f"== {section.title}"] + section.text
        for table in section.tables:
            lines += [""] + _text_table(table)
    lines += ["", "Goals (a report: a FAIL does not fail the build)"]
    for goal in report.goals:
        lines.append("  " + goal_line(goal))
        if not goal.passed:
            lines.append("        " + goal.note)
    return "\n".join(lines) + "\n"


def _cell(text: str) -> str:
    return text.replace("|", "\\|").replace("*", "\\*")


def _markdown_table(header: list[str], rows: list[list[str]]) -> list[str]:
    numeric = [all(re.match(r"^(-|-?[\d,.]+(x|%|\*| ns)?)$", row[k]) for row in rows) for k in range(len(header))]
    lines = ["| " + " | ".join(_cell(cell) for cell in header) + " |",
             "|" + "|".join("---:" if right else "---" for right in numeric) + "|"]
    return lines + ["| " + " | ".join(_cell(cell) for cell in row) + " |" for row in rows]


def render_markdown(report: Report, results: Results) -> str:
    info, py = results.info, results.python
    load = " ".join(f"{x:.2f}" for x in info.load_start), " ".join(f"{x:.2f}" for x in info.load_end)
    lines = [
        "# Benchmarks", "",
        "Generated by `make bench` (`bench/run_bench.py`) from one run; do not edit it by hand, run `make bench` "
        "again instead.", "",
        f"Run started {info.started} and took {info.seconds:.0f} s.", "",
        "## Machine", ""] + _markdown_table(["what", "this run"], [
            ["CPU", info.cpu], ["cores", str(info.cores)],
            ["load average (1, 5, 15 min) at the start", load[0]], ["load average at the end", load[1]],
            ["kernel", info.kernel]]) + [
        "", "## Versions", ""] + _markdown_table(["what", "this run"], [
            ["compiler", info.compiler], ["CPython", info.python], ["NumPy", info.numpy], ["SciPy", info.scipy],
            ["Google Benchmark", info.google_benchmark],
            ["quorvel_torso_kinematics", f"{info.project}, commit {info.commit}"
             + (" + local changes" if info.dirty else "")]]) + [
        "", "## How the figures were taken", "",
        f"Times are medians of {pb.REPEATS} interleaved repeats, each of at least {pb.MIN_TIME:g} s of process CPU "
        "time (so time spent descheduled on a shared machine does not count): the statements compared with each "
        "other (module, floor, peers, and the core benchmark run beside them) take turns, so a slow spell of the "
        "machine hits all of them alike. The core's times are Google Benchmark CPU times of single runs interleaved "
        f"that way. Instructions come from callgrind: core operations ((N = {pb.CALLGRIND_CALLS}) - (N = 0)) / N "
        f"in a C++ driver, Python-level statements over {pb.PYTHON_CALLGRIND_CALLS} calls less the empty loop, the "
        f"array companion over {pb.CALLGRIND_BATCH_CALLS} calls of {pb.CALLGRIND_BATCH_ROWS:,} poses. Instruction "
        "counts do not depend on the load, so they are the figures to compare across runs and machines.", "",
        "Before timing, the peers are checked against the module:", ""]
    lines += [f"- {check}" for check in py.peer_checks + results.batch.checks]
    for section in report.sections:
        lines += ["", f"## {section.title}", ""]
        for paragraph in section.text:
            lines += [paragraph, ""]
        for table in section.tables:
            lines += [f"### {table.title}", ""] + _markdown_table(table.header, table.rows) + [""]
            for note in table.notes:
                lines += [_cell(note) if note.startswith("*") else note, ""]
    lines += ["## Goals", "", "A report: a FAIL does not fail the build.", ""]
    for goal in report.goals:
        lines.append(f"- **{'PASS' if goal.passed else 'FAIL'}** {goal.name}: {goal.detail}")
        if not goal.passed:
            lines += ["", f"  What it means: {goal.note}", ""]
    return "\n".join(lines).rstrip() + "\n"


def render_summary(results: Results) -> str:
    """One small table for the README: usual calls, NumPy against lists, the companion against its peers."""
    by_name = {entry.method.name: entry for entry in results.python.methods}
    rows = []
    usual = [("`arm.fk(theta_a, theta_b)`", "fk(a, b)"), ("`arm.ik(r_target)`", "ik(R)"),
             ("`arm.ik_from_direction(v3)`", "ik_from_direction(v)"), ("`neck.fk(joints)`", "neck.fk(joints)"),
             ("`neck.ik(r)`", "neck.ik(R)")]
    for label, name in usual:
        e = by_name[name]
        rows.append([label, f"{_ns(e.module):,.0f} ns", "binding floor", f"{_ns(e.floor):,.0f} ns"])
    given = {"arm.ik(R)": ("`arm.ik(r_target)`", "lists"), "arm.ik_from_direction(v)": ("`arm.ik_from_direction(v3)`",
             "a list"), "neck.fk(joints)": ("`neck.fk(joints)`", "a list"), "neck.ik(R)": ("`neck.ik(r)`", "lists")}
    for label, array_time, list_time, _ in results.batch.main_numpy:
        call, as_list = given[label]
        rows.append([f"{call} given a NumPy array", f"{_ns(array_time):,.0f} ns", f"the same given {as_list}",
                     f"{_ns(list_time):,.0f} ns"])
    peers = {"arm fk vs Python loop over arm.fk": ("`fk(arm, joints)`", "a Python loop calling `arm.fk`"),
             "neck fk vs SciPy from_euler('ZYX').as_matrix()": ("`neck_fk(joints)`",
                                                                "SciPy `Rotation.from_euler(\"ZYX\", ...).as_matrix()`"),
             "neck ik vs SciPy from_matrix().as_euler('ZYX')": ("`neck_ik(r)`",
                                                                "SciPy `Rotation.from_matrix(...).as_euler(\"ZYX\")`")}
    for label, (ours, theirs) in results.batch.peers.items():
        call, peer = peers[label]
        rows.append([f"batch {call}, per pose", f"{_ns(ours):,.1f} ns", peer,
                     f"{_ns(theirs):,.1f} ns ({theirs / ours:.0f}x)"])
    info = results.info
    lines = _markdown_table(["call", "time", "compared with", "its time"], rows)
    lines += ["", "Binding floor: a module that parses the same arguments and builds the same result objects with no "
              "kinematics, the least any binding could cost. Batch: the array companion "
              f"`quorvel_torso_kinematics_batch`, {pb.BATCH_N:,} poses per call. Medians of {pb.REPEATS} interleaved "
              f"repeats of process CPU time, `make bench` of {info.started.split()[0]} on {info.cpu} "
              f"({info.cores} cores, load {info.load_start[0]:.1f})."]
    return "\n".join(lines) + "\n"
