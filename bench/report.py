"""Writes the benchmark report of one run: docs/benchmarks.md, and the README's
summary table as summary.md beside the results.

    .venv/bin/python bench/report.py build/bench/results.json

It measures nothing: bench/run_bench.py writes results.json (times in seconds,
"ir" fields in instructions). Each section of the document is a description
below (its text and its tables' columns); each goal is a function of the results.
"""

from __future__ import annotations

import json
import re
import statistics
import sys
from operator import itemgetter
from pathlib import Path
from typing import Callable, NamedTuple

ROOT = Path(__file__).resolve().parent.parent
DOCUMENT = "docs/benchmarks.md"

OVERHEAD_LIMIT = 1.15  # (module - core) <= 1.15 x floor
CALLGRIND_RATIO_LIMIT = 6.0  # ik_from_direction <= 6 x forward_kinematics
LINEARITY_LIMIT = 1.5  # largest / smallest time per byte over the document sizes
COMPANION_LIMIT = 1.25  # companion per pose <= 1.25 x the core's per-call time
MEMORY_LIMIT = 1.1  # peak RSS <= 1.1 x the input and output arrays
LOOP_SPEEDUP = 4.0  # companion fk against a Python loop over arm.fk
BATCH_SCIPY_SPEEDUP = 10.0  # companion neck fk and ik against SciPy's Rotation
WORKERS_LIMIT = 0.9  # workers=-1 speed-up >= 0.9 x the speed-up of two processes on halves
BASELINE_LIMIT = 1.03  # companion instructions per pose (workers=1) <= 1.03 x before workers
MIB = 2**20


# ------------------------------------------------------------------ cells


def num(value: float | None, digits: int = 1, suffix: str = "") -> str:
    return "-" if value is None else f"{value:,.{digits}f}{suffix}"


def ns(seconds: float | None, digits: int = 1) -> str:
    return num(None if seconds is None else seconds * 1e9, digits)


def per(value: float | None, unit: float) -> float | None:
    return None if value is None else value / unit


def pct(value: float) -> str:
    return f"{value * 100:.0f}%"


def overhead(row: dict, kind: str = "") -> float:
    """(module - core) / floor of a method, by time (kind "") or by instructions (kind "_ir")."""
    floor = row["floor" + kind]
    return (row["module" + kind] - (row["core" + kind] or 0.0)) / floor if floor > 0 else float("inf")


def starred(value: float) -> str:
    return f"{value:.2f}{'*' if value > OVERHEAD_LIMIT else ''}"


def spread(samples: list[float]) -> float:
    return (max(samples) - min(samples)) / statistics.median(samples)


def loads(load) -> str:
    return " ".join(f"{x:.2f}" for x in load)


# --------------------------------------------------------------- sections


class Table(NamedTuple):
    title: str | None
    rows: Callable[[dict], list]  # the results -> the rows
    columns: list[tuple[str, Callable]]  # (header, row -> cell)
    notes: Callable[[dict], list[str]] = lambda r: []


class Section(NamedTuple):
    title: str
    text: Callable[[dict], list[str]]  # paragraphs
    tables: list[Table]


def typical(r: dict) -> dict:
    return next(m for m in r["methods"] if m["name"] == "from_json(typical)")


def core_rows(r: dict) -> list[dict]:
    """The core operations, each with the Google Benchmark times taken beside the rows that name it."""
    fk = next(c["ir"] for c in r["core"] if c["operation"] == "fk")
    beside = [(m["core_benchmark"], f"{ns(m['core'])} ({m['name']})") for m in r["methods"]] + [
        (c["core_benchmark"], f"{ns(c['core'])} (companion {c['name']})") for c in r["companion"]]
    return [c | {"x fk": c["ir"] / fk, "beside": ", ".join(text for name, text in beside if name == c["benchmark"])}
            for c in r["core"]]


def speedups(w: dict) -> tuple[float, float]:
    """workers=-1 over one worker, and two processes on halves over one on all rows."""
    return w["one worker"] / w["all workers"], w["one process"] / w["two processes"]


def spread_rows(r: dict) -> list[list]:
    groups = [("per-call methods (module, floor, core)", r["methods"], "name"),
              ("geometry documents (from_json, json.loads, core)", r["documents"], "size"),
              ("companion per pose (function, core)", r["companion"], "name"),
              ("companion against companion; workers (wall time)", r["relative"], "name", r["workers"], "function"),
              ("companion against peers, NumPy inputs", r["peers"], "comparison", r["numpy"], "call")]
    rows = []
    for label, *sources in groups:
        pairs = [(item[key], item["spread"]) for items, key in zip(sources[::2], sources[1::2]) for item in items]
        name, largest = max(pairs, key=second)
        rows.append([label, len(pairs), statistics.median(value for _, value in pairs), largest, name])
    loop = r["loop"]
    return rows + [["empty timeit loop", len(loop), spread(loop), spread(loop),
                    f"{min(loop) * 1e9:.1f}-{max(loop) * 1e9:.1f} ns"]]


first, second = itemgetter(0), itemgetter(1)
WHAT = [("what", first), ("this run", second)]
METHOD = ("method", lambda m: m["name"])
FUNCTION = ("function", lambda c: c["name"])

SECTIONS = [
    Section("Machine", lambda r: [], [Table(None, lambda r: [
        ["CPU", r["info"]["cpu"]], ["cores", str(r["info"]["cores"])],
        ["load average (1, 5, 15 min) at the start", loads(r["info"]["load_start"])],
        ["load average at the end", loads(r["info"]["load_end"])], ["kernel", r["info"]["kernel"]]], WHAT)]),
    Section("Versions", lambda r: [], [Table(None, lambda r: [
        ["compiler", r["info"]["compiler"]], ["CPython", r["info"]["python"]], ["NumPy", r["info"]["numpy"]],
        ["SciPy", r["info"]["scipy"]], ["Google Benchmark", r["info"]["google_benchmark"]],
        ["quorvel_torso_kinematics", f"{r['info']['project']}, commit {r['info']['commit']}"
         + (" + local changes" if r["info"]["dirty"] else "")]], WHAT)]),
    Section("How the figures were taken", lambda r: [
        f"Times are medians of {r['settings']['repeats']} interleaved repeats, each of at least "
        f"{r['settings']['min_time']:g} s of process CPU time (so time spent descheduled on a shared machine does "
        "not count): the statements compared with each other (module, floor, peers, and the core benchmark run "
        "beside them) take turns, so a slow spell of the machine hits all of them alike. The core's times are "
        "Google Benchmark CPU times of single runs interleaved that way. Instructions come from callgrind: core "
        f"operations ((N = {r['settings']['callgrind_calls']}) - (N = 0)) / N in a C++ driver, Python-level "
        f"statements over {r['settings']['python_callgrind_calls']} calls less the empty loop, the array companion "
        f"over {r['settings']['callgrind_batch_calls']} calls of {r['settings']['callgrind_batch_rows']:,} poses. "
        "Instruction counts do not depend on the load, so they are the figures to compare across runs and machines.",
        "Before timing, the peers are checked against the module:", "\n".join(f"- {c}" for c in r["checks"])], []),
    Section("Per-call times", lambda r: [
        "Every public method of the module beside the overhead floor (a benchmark-only module that parses the same "
        "arguments and builds the same result objects with no kinematics), the core's own time (Google Benchmark, "
        "single runs interleaved with the Python-level repeats of the same method) and the peers. The empty timeit "
        f"loop's cost, {statistics.median(r['loop']) * 1e9:.1f} ns (median of {len(r['loop'])} repeats before and "
        f"after, range {min(r['loop']) * 1e9:.1f}-{max(r['loop']) * 1e9:.1f}), is subtracted."], [
        Table("Time per call (ns)", lambda r: r["methods"], [
            METHOD, ("module ns", lambda m: ns(m["module"])), ("core ns", lambda m: ns(m["core"])),
            ("floor ns", lambda m: ns(m["floor"])), ("(module - core) / floor", lambda m: starred(overhead(m))),
            ("vs pure Python", lambda m: num(per(m["pure"], m["module"]), 2, "x")),
            ("vs SciPy", lambda m: num(per(m["scipy"], m["module"]), 2, "x")),
            ("spread", lambda m: pct(m["spread"]))], lambda r: [
            f"* over the binding-overhead goal ({OVERHEAD_LIMIT}x floor). core '-': no core work (counted as 0).",
            "vs pure Python / vs SciPy: the peer's time per call divided by the module's.",
            "spread: the largest (max - min) / median among the module's, floor's and core's repeats."])]),
    Section("Instructions per call", lambda r: [
        f"callgrind: module and floor statements {r['settings']['python_callgrind_calls']} times each after a "
        f"warm-up, less the empty loop; core operations ((N = {r['settings']['callgrind_calls']}) - (N = 0)) / N "
        "in a C++ driver. Deterministic, so a cross-check of the times on a busy machine."], [
        Table("Instructions per call", lambda r: r["methods"], [
            METHOD, ("module", lambda m: num(m["module_ir"], 0)), ("core", lambda m: num(m["core_ir"], 0)),
            ("floor", lambda m: num(m["floor_ir"], 0)),
            ("(module - core) / floor", lambda m: starred(overhead(m, "_ir"))),
            ("module - core - floor", lambda m: num(m["module_ir"] - (m["core_ir"] or 0.0) - m["floor_ir"], 0))],
            lambda r: ["module - core - floor: instructions the binding spends beyond the floor's."])]),
    Section("Core operations", lambda r: [
        "The pure C++ core on the same inputs: instructions per call (callgrind) and Google Benchmark CPU time per "
        "call, each a median of single runs of at least 0.2 s interleaved with the Python-level repeats of the row "
        "named."], [
        Table("Core per call", core_rows, [
            ("core benchmark", lambda c: c["benchmark"]), ("driver operation", lambda c: c["operation"]),
            ("instructions", lambda c: num(c["ir"], 0)), ("x fk", lambda c: f"{c['x fk']:.2f}"),
            ("Google Benchmark ns beside", lambda c: c["beside"])])]),
    Section("Geometry documents", lambda r: [
        "Geometry documents made mostly of one skipped value, all sizes timed in one interleaved group; MB/s with "
        "1 MB = 10^6 bytes; core = Google Benchmark single runs interleaved with the Python-level repeats; "
        "instructions per byte from callgrind (one read minus none; not the 10 MB document).",
        f"The typical document ({r['settings']['typical_bytes']} bytes): core {typical(r)['core'] * 1e9:.0f} ns, "
        f"`from_json` {typical(r)['module'] * 1e9:.0f} ns."], [
        Table("Documents", lambda r: r["documents"], [
            ("size", lambda d: d["size"]), ("bytes", lambda d: num(d["bytes"], 0)),
            ("core ns", lambda d: ns(d["core"], 0)), ("core MB/s", lambda d: num(d["bytes"] / d["core"] / 1e6)),
            ("from_json ns", lambda d: ns(d["from_json"], 0)),
            ("from_json MB/s", lambda d: num(d["bytes"] / d["from_json"] / 1e6)),
            ("json.loads ns", lambda d: ns(d["json.loads"], 0)),
            ("json.loads MB/s", lambda d: num(d["bytes"] / d["json.loads"] / 1e6)),
            ("from_json vs json.loads", lambda d: f"{d['json.loads'] / d['from_json']:.2f}x"),
            ("instructions/byte", lambda d: num(per(d["ir"], d["bytes"]), 2))])]),
    Section("NumPy inputs to the main module", lambda r: [
        "The main module given float64 NumPy arrays against the same call given lists, one interleaved group, per "
        "call, the empty loop subtracted."], [
        Table("ndarray against list", lambda r: r["numpy"], [
            ("call", lambda n: n["call"]), ("ndarray ns", lambda n: ns(n["ndarray"])),
            ("list ns", lambda n: ns(n["list"])), ("ratio", lambda n: f"{n['ndarray'] / n['list']:.2f}x"),
            ("goal", lambda n: f"{n['goal']:g}x")])]),
    Section("Array companion", lambda r: [
        f"`quorvel_torso_kinematics_batch`, each function over N = {r['settings']['batch_n']:,} copies of the core "
        f"benchmark's input, process CPU time, median of {r['settings']['repeats']} repeats interleaved with single "
        "Google Benchmark runs of the core operation named. Load average (1, 5, 15 min) before and after this "
        f"section: {', then '.join(loads(load) for load in r['companion_load'])}."], [
        Table("Per pose against the core (time, N = {batch_n:,})", lambda r: r["companion"], [
            FUNCTION, ("ns per pose", lambda c: ns(c["per_pose"])), ("core ns", lambda c: ns(c["core"])),
            ("core benchmark", lambda c: c["core_benchmark"]), ("ratio", lambda c: f"{c['per_pose'] / c['core']:.2f}"),
            ("spread", lambda c: pct(c["spread"]))]),
        Table("Per pose against the core (instructions, {callgrind_batch_calls} calls of {callgrind_batch_rows:,} "
              "poses)", lambda r: r["companion"], [
            FUNCTION, ("instructions per pose", lambda c: num(c["ir"], 0)),
            ("core instructions", lambda c: num(c["core_ir"], 0)),
            ("ratio", lambda c: f"{c['ir'] / c['core_ir']:.2f}"),
            ("before workers", lambda c: num(c["baseline"] and c["baseline"][0], 0)),
            ("change", lambda c: f"{c['ir'] / c['baseline'][0] - 1:+.1%}" if c["baseline"] else "-")], lambda r: [
            f"before workers: instructions per pose at {r['settings']['baseline_commit']}, before a call could split "
            "its rows over workers; every call here runs with workers=1."]),
        Table("Against another companion function (per pose, each group interleaved, N = {batch_n:,})",
              lambda r: r["relative"], [
            FUNCTION, ("ns per pose", lambda c: ns(c["per_pose"])), ("held against", lambda c: c["reference"]),
            ("its ns per pose", lambda c: ns(c["reference_per_pose"])),
            ("ratio", lambda c: f"{c['per_pose'] / c['reference_per_pose']:.2f}"),
            ("instructions ratio", lambda c: f"{c['ir'] / c['reference_ir']:.2f}"),
            ("limit", lambda c: f"{c['limit']:g}"), ("spread", lambda c: pct(c["spread"]))]),
        Table("Against SciPy and a Python loop (per pose, N = {batch_n:,})",
              lambda r: [p | {"n": r["settings"]["batch_n"]} for p in r["peers"]], [
            ("comparison", lambda p: p["comparison"]), ("companion ns", lambda p: ns(p["ours"])),
            ("peer ns", lambda p: ns(p["theirs"])), ("speed-up", lambda p: f"{p['theirs'] / p['ours']:.1f}x"),
            ("companion ms per call", lambda p: num(p["ours"] * p["n"] * 1e3)),
            ("peer ms per call", lambda p: num(p["theirs"] * p["n"] * 1e3))]),
        Table("Memory (fk over {memory_n:,} poses, in a child process)", lambda r: [
            ["peak RSS", num(r["memory"]["peak"] / MIB, 0)],
            ["input and output arrays", num(r["memory"]["arrays"] / MIB, 0)],
            ["interpreter and modules before the arrays", num(r["memory"]["before"] / MIB, 0)],
            ["peak / arrays", f"{r['memory']['peak'] / r['memory']['arrays']:.3f}x"]],
            [("what", first), ("MiB", second)]),
        Table("Threads (ik_from_direction over {thread_n:,} poses, wall time, median of {repeats} interleaved)",
              lambda r: [[label, num(r["threads"][k] * 1e3), f"{r['threads'][k + ' cpu'] / r['threads'][k]:.2f}"]
                         for label, k in (("one on all poses", "one"), ("two on halves", "two"))],
              [("threads", first), ("wall ms", second), ("CPU time / wall time", lambda row: row[2])],
              lambda r: [f"Two threads against one: {r['threads']['one'] / r['threads']['two']:.2f}x. CPU time / wall "
                         "time near 2 means both threads computed at once the whole time."]),
        Table("workers=-1 against two processes ({workers_n:,} rows, wall time per call, median of {repeats} "
              "interleaved)", lambda r: r["workers"], [
            ("function", lambda w: w["function"]),
            ("workers=1 ms", lambda w: num(w["one worker"] * 1e3)),
            ("workers=-1 ms", lambda w: num(w["all workers"] * 1e3)),
            ("speed-up", lambda w: f"{speedups(w)[0]:.2f}x"), ("one process ms", lambda w: num(w["one process"] * 1e3)),
            ("two processes ms", lambda w: num(w["two processes"] * 1e3)),
            ("two-process speed-up", lambda w: f"{speedups(w)[1]:.2f}x"),
            ("speed-up / two-process", lambda w: f"{speedups(w)[0] / speedups(w)[1]:.2f}"),
            ("spread", lambda w: pct(w["spread"]))], lambda r: [
            f"workers=-1 ran {r['workers_cores']} threads. The processes are two helpers running the same call with "
            "workers=1, one on all rows or each on half, timed from handing the call over to the last answer: the "
            "parallelism the machine itself gave in this run. Load average (1, 5, 15 min) before and after: "
            f"{', then '.join(loads(load) for load in r['workers_load'])}."])]),
    Section("Run-to-run spread", lambda r: [
        f"spread = (largest - smallest) / median of one measurement's {r['settings']['repeats']} repeats. On a "
        "shared, loaded machine repeats differ a lot, so the instruction counts (deterministic) are the figures to "
        f"compare. Load average (1, 5, 15 min): {loads(r['info']['load_start'])} at the start, "
        f"{loads(r['info']['load_end'])} at the end, on {r['info']['cores']} cores."], [
        Table("Spread of the repeats", spread_rows, [
            ("measurements", first), ("count", lambda row: str(row[1])), ("median spread", lambda row: pct(row[2])),
            ("largest spread", lambda row: pct(row[3])), ("largest at", lambda row: row[4])])]),
]


# ------------------------------------------------------------------ goals


class Goal(NamedTuple):
    name: str
    passed: bool
    detail: str
    note: str = ""  # what a failure means, worded from this run's numbers


def named(pairs, suffix: str = "") -> str:
    return ", ".join(f"{name} {value:.2f}{suffix}" for name, value in pairs)


def within(name: str, values: dict[str, float], limit: float, note: Callable[[list], str]) -> Goal:
    """A goal met when every value is at most `limit`; note(over) words a failure."""
    over = [(k, v) for k, v in values.items() if not v <= limit]
    worst = max(values.items(), key=second)
    return Goal(name, not over, f"{len(over)} over: {named(over)}" if over else f"all within; worst {named([worst])}",
                note(over) if over else "")


def overhead_goals(r: dict) -> list[Goal]:
    methods = {m["name"]: m for m in r["methods"]}
    by_time = {name: overhead(m) for name, m in methods.items()}
    by_count = {name: overhead(m, "_ir") for name, m in methods.items()}
    counts_within = all(v <= OVERHEAD_LIMIT for v in by_count.values())

    def time_note(over: list) -> str:
        parts = [f"{len(over)} of {len(by_time)} methods came out over {OVERHEAD_LIMIT}x the floor by time in this "
                 "run."]
        if counts_within:
            parts.append(f"Counted in instructions, which the machine's load does not change, every method is within "
                         f"{OVERHEAD_LIMIT}x of the floor (worst {named([max(by_count.items(), key=second)])}), so "
                         "the excess by time is not binding work but the timing noise of this machine (repeats of one "
                         f"measurement differed by up to {pct(max(m['spread'] for m in methods.values()))}).")
        else:
            parts.append("Counted in instructions some methods are over too (next goal): there the binding does more "
                         "than the floor's work.")
        left, right = by_time["default_left()"], by_time["default_right()"]
        if abs(left - right) > 0.05:
            parts.append(f"`default_left()` and `default_right()` run the same code and came out at {left:.2f} and "
                         f"{right:.2f}.")
        near, plain = "ik_from_direction(v, near=)", "ik_from_direction(v)"
        if (by_time[near] > OVERHEAD_LIMIT >= by_time[plain] and by_count[near] <= OVERHEAD_LIMIT
                and methods[near]["core"] <= methods[plain]["core"]):
            beyond = {k: methods[k]["module_ir"] - methods[k]["floor_ir"] - methods[k]["core_ir"]
                      for k in (near, plain)}
            parts.append(f"`{near}` fails by time while `{plain}` passes, yet Google Benchmark times the core with "
                         f"`near` at or below the one without ({methods[near]['core'] * 1e9:.1f} against "
                         f"{methods[plain]['core'] * 1e9:.1f} ns) and the binding spends {beyond[near]:.0f} against "
                         f"{beyond[plain]:.0f} instructions beyond the floor: the core, timed alone in a tight C++ "
                         "loop, runs faster than the same core between interpreter calls (cache and branch-predictor "
                         "state), which is not binding work.")
        return " ".join(parts)

    return [within(f"binding overhead (module - core) <= {OVERHEAD_LIMIT} x floor, every method (time)", by_time,
                   OVERHEAD_LIMIT, time_note),
            within(f"binding overhead (module - core) <= {OVERHEAD_LIMIT} x floor in instructions (cross-check)",
                   by_count, OVERHEAD_LIMIT, lambda over: (
                       f"For {len(over)} of {len(by_count)} methods (worst {named([max(over, key=second)])}) the "
                       f"binding executes, beyond the core's own instructions, more than {OVERHEAD_LIMIT}x what the "
                       "floor spends parsing the same arguments and building the same result. Instruction counts do "
                       "not depend on the load, so this is extra work in the binding."))]


def callgrind_goal(r: dict) -> list[Goal]:
    core = {c["operation"]: c["ir"] for c in r["core"]}
    fk, ikd, slots = core["fk"], core["ik_from_direction"], core["direction_candidate_slots"]
    ratio = ikd / fk
    return [Goal(f"callgrind ik_from_direction <= {CALLGRIND_RATIO_LIMIT} x forward_kinematics",
                 ratio <= CALLGRIND_RATIO_LIMIT, f"{ikd:.0f} / {fk:.0f} = {ratio:.2f}x",
                 f"`ik_from_direction` executes {ratio:.2f}x the instructions of one forward kinematics evaluation, "
                 f"over the {CALLGRIND_RATIO_LIMIT:g}x budget. Enumerating the candidates alone costs {slots:.0f} "
                 f"({slots / fk:.2f}x fk); the remaining {ikd - slots:.0f} go to normalising and choosing.")]


def speedup_goal(name: str, names: list[str], peer: str, limit: float) -> Callable[[dict], list[Goal]]:
    """module faster than a peer ("pure" or "scipy") by `limit` on the methods named."""
    who = "the pure-Python version" if peer == "pure" else "SciPy"

    def goal(r: dict) -> list[Goal]:
        parts, notes = [], []
        for m in (m for n in names for m in r["methods"] if m["name"] == n):
            theirs, module, floor, core = m[peer], m["module"], m["floor"], m["core"] or 0.0
            speedup, bound = theirs / module, theirs / (floor + core)  # bound: a binding at its floor
            parts.append(f"{m['name']} {speedup:.1f}x (floor+core bound {bound:.1f}x)")
            if speedup >= limit:
                continue
            text = (f"`{m['name']}` took {module * 1e9:.0f} ns against {theirs * 1e9:.0f} ns for {who} "
                    f"({speedup:.1f}x). ")
            if bound < limit:
                text += (f"The binding floor alone (parsing the arguments and building the result objects, no "
                         f"kinematics) takes {floor * 1e9:.0f} ns, {pct(floor / module)} of the call and "
                         f"{pct(floor / theirs)} of {who}'s, so even a binding with no overhead beyond that floor "
                         f"would reach only about {bound:.1f}x, short of {limit:g}x.")
            else:
                text += (f"A binding at its floor would reach {bound:.1f}x; this call spent "
                         f"{(module - floor - core) * 1e9:.0f} ns beyond the floor and the core.")
            notes.append(text)
        return [Goal(name, not notes, ", ".join(parts), " ".join(notes))]

    return goal


def documents_goal(r: dict) -> list[Goal]:
    per_byte = {d["size"]: d["core"] * 1e9 / d["bytes"] for d in r["documents"]}
    counts = {d["size"]: d["ir"] / d["bytes"] for d in r["documents"] if d["ir"] is not None}
    slower = [(d["size"], d["json.loads"] / d["from_json"]) for d in r["documents"] if d["json.loads"] < d["from_json"]]
    by_time, by_count = (max(v.values()) / min(v.values()) for v in (per_byte, counts))
    detail = ("core ns/byte " + named(per_byte.items()) + f" (spread {by_time:.2f}x, limit {LINEARITY_LIMIT}x); "
              + (f"from_json slower than json.loads at {named(slower, 'x')}" if slower
                 else "from_json >= json.loads at every size")
              + f"; instructions/byte spread {by_count:.2f}x over {', '.join(counts)}")
    notes = []
    if by_time > LINEARITY_LIMIT:
        slowest, fastest = max(per_byte, key=per_byte.get), min(per_byte, key=per_byte.get)
        notes.append(f"By time the reader's cost per byte varied {by_time:.2f}x across the sizes ({slowest} "
                     f"{per_byte[slowest]:.2f} ns/byte, {fastest} {per_byte[fastest]:.2f} ns/byte), over the "
                     f"{LINEARITY_LIMIT}x allowed. " + (
                         f"By instructions it is linear ({by_count:.2f}x spread per byte over {', '.join(counts)}), so "
                         "the difference is the machine (caches, load), not the reader." if by_count <= LINEARITY_LIMIT
                         else f"By instructions too ({by_count:.2f}x per byte): the reader does more work per byte on "
                         "some sizes."))
    if slower:
        notes.append(f"`from_json` read these documents slower than `json.loads` ({named(slower, 'x')} of its speed), "
                     "although `json.loads` builds every value the reader only skips.")
    return [Goal("geometry document time linear in size (1 KB, 1 MB, 10 MB) and >= json.loads throughput",
                 by_time <= LINEARITY_LIMIT and not slower, detail, " ".join(notes))]


def numpy_goals(r: dict) -> list[Goal]:
    return [Goal(f"main module {n['call']} with an ndarray <= {n['goal']:g} x with a list",
                 n["ndarray"] / n["list"] <= n["goal"], f"{n['ndarray'] / n['list']:.2f}x",
                 f"Given a NumPy array, `{n['call']}` took {n['ndarray'] * 1e9:.0f} ns against {n['list'] * 1e9:.0f} "
                 f"ns with lists ({n['ndarray'] / n['list']:.2f}x, limit {n['goal']:g}x): a caller passing arrays pays "
                 f"{(n['ndarray'] - n['list']) * 1e9:.0f} ns more per call. For many poses at once the array companion "
                 "is the faster route.") for n in r["numpy"]]


def companion_goals(r: dict) -> list[Goal]:
    by_time = {c["name"]: c["per_pose"] / c["core"] for c in r["companion"]}
    by_count = {c["name"]: c["ir"] / c["core_ir"] for c in r["companion"]}
    counts_within = all(v <= COMPANION_LIMIT for v in by_count.values())
    peers = {p["comparison"]: p for p in r["peers"]}
    loop = peers["arm fk vs Python loop over arm.fk"]
    loop_speedup = loop["theirs"] / loop["ours"]
    scipy = {name.split(" vs")[0]: p["theirs"] / p["ours"] for name, p in peers.items() if "SciPy" in name}
    slow = ", ".join(f"{name} {value:.1f}x" for name, value in scipy.items() if value < BATCH_SCIPY_SPEEDUP)
    return [
        within(f"companion per pose <= {COMPANION_LIMIT} x core per call, every function (time)", by_time,
               COMPANION_LIMIT, lambda over: (
                   f"For {len(over)} of {len(by_time)} functions (worst {named([max(over, key=second)])}) the "
                   f"companion took more per pose than {COMPANION_LIMIT}x the core's own per-call time. " + (
                       f"By instructions every function is within {COMPANION_LIMIT}x (worst "
                       f"{named([max(by_count.items(), key=second)])}), so the extra time is not extra work around "
                       f"the core but the memory traffic of {r['settings']['batch_n']:,}-pose arrays (the core "
                       "benchmark reads one input from cache) or the machine's load." if counts_within
                       else "By instructions some are over too (next goal)."))),
        within(f"companion per pose <= {COMPANION_LIMIT} x core per call in instructions (cross-check)", by_count,
               COMPANION_LIMIT, lambda over: (
                   f"For {len(over)} of {len(by_count)} functions (worst {named([max(over, key=second)])}) the "
                   f"companion executes per pose more than {COMPANION_LIMIT}x the core's instructions for one call, "
                   "so the loop around the core (reading and checking a row, writing the results) costs more than "
                   f"{pct(COMPANION_LIMIT - 1)} of the core itself.")),
        Goal(f"companion arm fk >= {LOOP_SPEEDUP:g}x a Python loop over arm.fk", loop_speedup >= LOOP_SPEEDUP,
             f"{loop_speedup:.1f}x",
             f"The companion's `fk` took {loop['ours'] * 1e9:.1f} ns per pose against {loop['theirs'] * 1e9:.1f} ns "
             f"for a Python loop calling `arm.fk`: {loop_speedup:.1f}x, short of {LOOP_SPEEDUP:g}x, so handing over a "
             "whole array saves less than it should over calling the main module per pose."),
        Goal(f"companion neck fk and ik >= {BATCH_SCIPY_SPEEDUP:g}x SciPy's vectorised Rotation",
             all(v >= BATCH_SCIPY_SPEEDUP for v in scipy.values()),
             ", ".join(f"{name} {value:.1f}x" for name, value in scipy.items()),
             f"Per pose the companion is less than {BATCH_SCIPY_SPEEDUP:g}x faster than SciPy's vectorised `Rotation` "
             f"on the same arrays ({slow}).")]


def relative_goals(r: dict) -> list[Goal]:
    goals = []
    for group in dict.fromkeys(row["group"] for row in r["relative"]):
        rows = [row for row in r["relative"] if row["group"] == group]
        limit, reference = rows[0]["limit"], rows[0]["reference"]
        by_time = {row["name"]: row["per_pose"] / row["reference_per_pose"] for row in rows}
        by_count = {row["name"]: row["ir"] / row["reference_ir"] for row in rows}
        counts_within = all(v <= limit for v in by_count.values())
        cores = {c["name"]: c["core"] for c in r["companion"]}

        def time_note(over: list) -> str:
            worst = max(over, key=second)[0]
            return (f"{len(over)} of {len(by_time)} functions (worst {named([max(over, key=second)])}) took more per "
                    f"pose than {limit:g}x `{reference}` timed in turn with them "
                    f"({rows[0]['reference_per_pose'] * 1e9:.1f} ns per pose). " + (
                        f"By instructions every one is within {limit:g}x (worst "
                        f"{named([max(by_count.items(), key=second)])}): the excess lies in what the instructions "
                        "cost (divisions, square roots), not in their number." if counts_within
                        else "By instructions some are over too (next goal).")
                    + (f" The cores alone (Google Benchmark) take {cores[worst] * 1e9:.1f} ns for `{worst}` against "
                       f"{cores[reference] * 1e9:.1f} ns ({cores[worst] / cores[reference]:.2f}x)."
                       if worst in cores and reference in cores else ""))

        goals += [
            within(f"{group} per pose <= {limit:g} x companion {reference} (time)", by_time, limit, time_note),
            within(f"{group} per pose <= {limit:g} x companion {reference} in instructions (cross-check)", by_count,
                   limit, lambda over: (
                       f"{len(over)} of {len(by_count)} functions (worst {named([max(over, key=second)])}) execute "
                       f"per pose more than {limit:g}x the {rows[0]['reference_ir']:.0f} instructions of "
                       f"`{reference}`: the work itself is over budget, whatever the load."))]
    return goals


def workers_goal(r: dict) -> list[Goal]:
    ratios = {w["function"]: speedups(w) for w in r["workers"]}
    short = [(name, own / machine) for name, (own, machine) in ratios.items() if not own / machine >= WORKERS_LIMIT]
    before, after = r["workers_load"]
    note = " ".join(
        f"`{name}` ran {ratios[name][0]:.2f}x faster with workers=-1 ({r['workers_cores']} threads) than with one "
        f"worker, while the same rows split over two processes ran {ratios[name][1]:.2f}x faster than in one: "
        f"{value:.2f} of what the machine gave, below {WORKERS_LIMIT:g}." for name, value in short)
    if any(machine < 1.5 for _, machine in ratios.values()):
        note += (f" The machine itself gave little parallelism (load {loads(before)} before, {loads(after)} after, on "
                 f"{r['workers_cores']} cores), so the comparison is a weak one in this run.")
    return [Goal(f"workers=-1 speed-up >= {WORKERS_LIMIT:g} x two processes' speed-up, {r['settings']['workers_n']:,} "
                 "rows", not short, "; ".join(f"{name} {own:.2f}x against {machine:.2f}x ({own / machine:.2f})"
                                              for name, (own, machine) in ratios.items())
                 + f"; load {loads(before)}, then {loads(after)}", note)]


def baseline_goal(r: dict) -> list[Goal]:
    rows = {c["name"]: c for c in r["companion"] if c["baseline"]}
    by_count = {name: c["ir"] / c["baseline"][0] for name, c in rows.items()}
    commit = r["settings"]["baseline_commit"]

    def note(over: list) -> str:
        parts = []
        for name, _ in over:
            c = rows[name]
            (ir, core), (then, then_core) = (c["ir"], c["core_ir"]), c["baseline"]
            parts.append(f"`{name}` {ir:.0f} against {then:.0f} ({ir / then - 1:+.1%}), its core {core:.0f} against "
                         f"{then_core:.0f}, so the loop around the core costs {ir - core:.0f} against "
                         f"{then - then_core:.0f}.")
        return (f"With workers=1, {len(over)} of {len(by_count)} functions execute per pose more than "
                f"{BASELINE_LIMIT:g}x the instructions they did at {commit}, before workers: " + " ".join(parts))

    return [within(f"companion per pose with workers=1 <= {BASELINE_LIMIT:g} x the instructions at {commit} "
                   "(before workers)", by_count, BASELINE_LIMIT, note)]


def memory_goal(r: dict) -> list[Goal]:
    peak, arrays, before = (r["memory"][k] / MIB for k in ("peak", "arrays", "before"))
    return [Goal(f"peak RSS <= {MEMORY_LIMIT} x the arrays, fk over {r['settings']['memory_n']:,} poses",
                 peak / arrays <= MEMORY_LIMIT, f"{peak / arrays:.3f}x",
                 f"Peak RSS was {peak:.0f} MiB for {arrays:.0f} MiB of input and output arrays ({peak / arrays:.3f}x). "
                 f"The interpreter and modules took {before:.0f} MiB before the arrays, so "
                 f"{peak - before - arrays:.0f} MiB went to neither: memory the call holds beyond its own results.")]


GOALS = [overhead_goals, callgrind_goal,
         speedup_goal(">= 10x pure Python for arm fk and neck fk", ["fk(a, b)", "neck.fk(joints)"], "pure", 10.0),
         speedup_goal(">= 50x pure Python for ik_from_direction",
                      ["ik_from_direction(v)", "ik_from_direction(v, near=)"], "pure", 50.0),
         speedup_goal(">= 20x SciPy for neck fk and ik", ["neck.fk(joints)", "neck.ik(R)"], "scipy", 20.0),
         documents_goal, numpy_goals, companion_goals, relative_goals, workers_goal, baseline_goal, memory_goal]


# -------------------------------------------------------------- rendering


def goals(results: dict) -> list[Goal]:
    return [goal for make in GOALS for goal in make(results)]


def goal_line(goal: Goal) -> str:
    return f"- **{'PASS' if goal.passed else 'FAIL'}** {goal.name}: {goal.detail}"


def escape(text: str) -> str:
    return text.replace("|", "\\|").replace("*", "\\*")


def markdown_table(header: list[str], rows: list[list[str]]) -> list[str]:
    right = [all(re.match(r"^(-|[-+]?[\d,.]+(x|%|\*| ns)?)$", row[k]) for row in rows) for k in range(len(header))]
    return ["| " + " | ".join(map(escape, header)) + " |", "|" + "|".join("---:" if r else "---" for r in right) + "|"
            ] + ["| " + " | ".join(map(escape, row)) + " |" for row in rows]


def markdown(results: dict) -> str:
    info = results["info"]
    lines = ["# Benchmarks", "", "Generated by `make bench` (`bench/run_bench.py`) from one run; do not edit it by "
             "hand, run `make bench` again instead.", "", f"Run started {info['started']} and took "
             f"{info['seconds']:.0f} s.", ""]
    for section in SECTIONS:
        lines += [f"## {section.title}", ""] + [line for p in section.text(results) for line in (p, "")]
        for table in section.tables:
            if table.title:
                lines += [f"### {table.title.format(**results['settings'])}", ""]
            rows = [[cell(row) for _, cell in table.columns] for row in table.rows(results)]
            lines += markdown_table([header for header, _ in table.columns], rows) + [""]
            lines += [line for note in table.notes(results) for line in (escape(note) if note[0] == "*" else note, "")]
    lines += ["## Goals", "", "A report: a FAIL does not fail the build.", ""]
    for goal in goals(results):
        lines += [goal_line(goal)] + (["", f"  What it means: {goal.note}", ""] if not goal.passed else [])
    return "\n".join(lines).rstrip() + "\n"


# The README's table: (its label, the method or NumPy call or companion peer of the results it shows).
SUMMARY_METHODS = [("`arm.fk(theta_a, theta_b)`", "fk(a, b)"), ("`arm.ik(r_target)`", "ik(R)"),
                   ("`arm.ik_from_direction(v3)`", "ik_from_direction(v)"), ("`neck.fk(joints)`", "neck.fk(joints)"),
                   ("`neck.ik(r)`", "neck.ik(R)")]
SUMMARY_NUMPY = {"arm.ik(R)": ("`arm.ik(r_target)`", "lists"),
                 "arm.ik_from_direction(v)": ("`arm.ik_from_direction(v3)`", "a list"),
                 "neck.fk(joints)": ("`neck.fk(joints)`", "a list"), "neck.ik(R)": ("`neck.ik(r)`", "lists")}
SUMMARY_PEERS = {"arm fk vs Python loop over arm.fk": ("`fk(arm, joints)`", "a Python loop calling `arm.fk`"),
                 "neck fk vs SciPy from_euler('ZYX').as_matrix()": (
                     "`neck_fk(joints)`", "SciPy `Rotation.from_euler(\"ZYX\", ...).as_matrix()`"),
                 "neck ik vs SciPy from_matrix().as_euler('ZYX')": (
                     "`neck_ik(r)`", "SciPy `Rotation.from_matrix(...).as_euler(\"ZYX\")`")}


def summary(results: dict) -> str:
    methods, info = {m["name"]: m for m in results["methods"]}, results["info"]
    rows = [[label, f"{methods[name]['module'] * 1e9:,.0f} ns", "binding floor",
             f"{methods[name]['floor'] * 1e9:,.0f} ns"] for label, name in SUMMARY_METHODS]
    rows += [[f"{SUMMARY_NUMPY[n['call']][0]} given a NumPy array", f"{n['ndarray'] * 1e9:,.0f} ns",
              f"the same given {SUMMARY_NUMPY[n['call']][1]}", f"{n['list'] * 1e9:,.0f} ns"] for n in results["numpy"]]
    rows += [[f"batch {SUMMARY_PEERS[p['comparison']][0]}, per pose", f"{p['ours'] * 1e9:,.1f} ns",
              SUMMARY_PEERS[p["comparison"]][1], f"{p['theirs'] * 1e9:,.1f} ns ({p['theirs'] / p['ours']:.0f}x)"]
             for p in results["peers"]]
    return "\n".join(markdown_table(["call", "time", "compared with", "its time"], rows) + [
        "", "Binding floor: a module that parses the same arguments and builds the same result objects with no "
        "kinematics, the least any binding could cost. Batch: the array companion `quorvel_torso_kinematics_batch`, "
        f"{results['settings']['batch_n']:,} poses per call. Medians of {results['settings']['repeats']} interleaved "
        f"repeats of process CPU time, `make bench` of {info['started'].split()[0]} on {info['cpu']} "
        f"({info['cores']} cores, load {info['load_start'][0]:.1f})."]) + "\n"


def write(results_path: Path, document: Path = ROOT / DOCUMENT) -> None:
    """Prints the report and writes it to `document`, the summary as summary.md beside the results."""
    results = json.loads(results_path.read_text())
    text = markdown(results)
    print(text, end="")
    document.write_text(text)
    (results_path.parent / "summary.md").write_text(summary(results))
    print(f"\nwrote {document} and {results_path.parent / 'summary.md'}")


if __name__ == "__main__":
    write(Path(sys.argv[1]))
