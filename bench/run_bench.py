"""The benchmark report behind `make bench`.

Runs, in one go:
  1. Google Benchmark (JSON output) for the core benchmarks that no Python-level
     method shares: direction_candidates and the 1 KB / 1 MB / 10 MB documents;
  2. callgrind: instructions per call of the core operations (a driver run
     with N calls minus one with none) and of every Python-level module and
     floor statement (bench/python_callgrind.py);
  3. the Python-level timings (bench/python_bench.py): every public method of
     the module, the same call on the overhead floor module, the core
     benchmark behind the method (single Google Benchmark runs interleaved
     with the Python-level repeats, so all three see the same machine), the
     peers (pure Python, SciPy), and the geometry-document reader against
     json.loads;
  4. the array companion (quorvel_torso_kinematics_batch): per pose at N = 100,000
     against the core's per-call time (interleaved), against SciPy and a Python
     loop over the main module, peak memory over 10,000,000 poses, two threads
     against one; and the main module given NumPy arrays against lists;
then prints the tables and one PASS/FAIL line per goal. A missed goal does not
make the run fail (this is a report); a crash, a failed step or a peer that
disagrees with the module does.

    .venv/bin/python bench/run_bench.py --build-dir build/bench
"""

from __future__ import annotations

import argparse
import json
import os
import re
import shutil
import subprocess
import sys
import time
from concurrent.futures import ThreadPoolExecutor
from dataclasses import dataclass
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))

import python_bench  # noqa: E402

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

DOCUMENT_SIZES = {"1kb": 1024, "1mb": 1024 * 1024, "10mb": 10 * 1024 * 1024}
CALLGRIND_CALLS = 2000
PYTHON_CALLGRIND_CALLS = 1000


STARTED = time.monotonic()


def log(text: str) -> None:
    """Progress, with the seconds since the start, on standard error."""
    print(f"[{time.monotonic() - STARTED:4.0f} s] {text}", file=sys.stderr, flush=True)


# -------------------------------------------------------------- documents

_DOC_HEAD = '{"arm_arc": 0.7, "coupler_arc": 0.5, "notes": ['
_DOC_TAIL = '], "branch": "positive", "mirror": false}'


def _skipped_item(i: int) -> str:
    return ('{"id": %d, "label": "segment \\"%d\\" caf\\u00e9\\n", "values": [1.5, -2.25e3, %d, true, false, null],'
            ' "nested": {"a": [[1, 2], {"b": "c"}], "flag": true}}' % (i, i, i * 7))


def make_document(size: int) -> str:
    """A geometry document of exactly `size` bytes, made mostly of a value the reader skips."""
    parts = [_DOC_HEAD]
    length = len(_DOC_HEAD) + len(_DOC_TAIL)
    i = 0
    while True:
        item = ("" if i == 0 else ", ") + _skipped_item(i)
        if length + len(item) > size:
            break
        parts.append(item)
        length += len(item)
        i += 1
    parts.append(" " * (size - length))
    parts.append(_DOC_TAIL)
    text = "".join(parts)
    assert len(text) == size, (len(text), size)
    json.loads(text)  # valid JSON
    return text


def write_documents(directory: Path) -> dict[str, str]:
    directory.mkdir(parents=True, exist_ok=True)
    documents = {name: make_document(size) for name, size in DOCUMENT_SIZES.items()}
    (directory / "typical.json").write_text(python_bench.TYPICAL_DOCUMENT)
    for name, text in documents.items():
        (directory / f"{name}.json").write_text(text)
    return documents


# ------------------------------------------------------------------ core


# Core benchmarks that no Python-level measurement interleaves; the others are
# run beside the Python-level repeats of their method or document
# (core_sampler_factory).
CORE_ONLY = ["BM_direction_candidates"]


def run_core(build_dir: Path, doc_dir: Path) -> dict[str, dict]:
    """Google Benchmark medians by benchmark name: {cpu_ns, real_ns, bytes_per_second?}."""
    binary = build_dir / "bench" / "quorvel_core_bench"
    out = build_dir / "core_bench.json"
    pattern = "^(" + "|".join(re.escape(name) for name in CORE_ONLY) + ")/min_time"
    log(f"core benchmarks: {binary.name} (5 repetitions of >= 0.2 s each)")
    subprocess.run([str(binary), "--benchmark_format=json", f"--benchmark_out={out}",
                    "--benchmark_out_format=json", "--benchmark_repetitions=5",
                    "--benchmark_report_aggregates_only=true", f"--benchmark_filter={pattern}",
                    f"--doc-dir={doc_dir}"],
                   check=True, stdout=subprocess.DEVNULL)
    report = json.loads(out.read_text())
    scale = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}
    core = {}
    for entry in report["benchmarks"]:
        if entry.get("aggregate_name") != "median":
            continue
        name = re.sub(r"/(min_time|iterations):.*$", "", entry["run_name"])
        unit = scale[entry.get("time_unit", "ns")]
        core[name] = {"cpu_ns": entry["cpu_time"] * unit, "real_ns": entry["real_time"] * unit}
        if "bytes_per_second" in entry:
            core[name]["bytes_per_second"] = entry["bytes_per_second"]
        if "bytes" in entry:
            core[name]["bytes"] = entry["bytes"]
    return core


def available_core_benchmarks(build_dir: Path, doc_dir: Path) -> set[str]:
    binary = build_dir / "bench" / "quorvel_core_bench"
    listed = subprocess.run([str(binary), "--benchmark_list_tests=true", f"--doc-dir={doc_dir}"], check=True,
                            capture_output=True, text=True).stdout.split()
    return {re.sub(r"/(min_time|iterations):.*$", "", name) for name in listed}


def core_sampler_factory(build_dir: Path, doc_dir: Path, available: set[str]):
    """For a core benchmark name, a sampler running it once (>= 0.2 s) in a
    fresh process: seconds of CPU per call. Used to interleave the core with
    the Python-level repeats of the same method."""
    binary = build_dir / "bench" / "quorvel_core_bench"
    scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}

    def factory(name: str):
        if name not in available:
            return None
        command = [str(binary), f"--benchmark_filter=^{re.escape(name)}/(min_time|iterations):",
                   "--benchmark_format=json", "--benchmark_repetitions=1"]
        if name.startswith("BM_parse_geometry_document/"):
            command.append(f"--doc-dir={doc_dir}")
        # The first run picks its iteration count (>= 0.2 s); the later ones
        # reuse it, a tenth larger, and skip Google Benchmark's search.
        iterations: list[int] = []

        def sample() -> float:
            extra = [f"--iterations={iterations[0]}"] if iterations else []
            output = subprocess.run(command + extra, check=True, capture_output=True, text=True).stdout
            runs = [e for e in json.loads(output)["benchmarks"] if e.get("run_type", "iteration") == "iteration"]
            if len(runs) != 1:
                raise RuntimeError(f"core benchmark {name}: expected one run, got {len(runs)}")
            if not iterations:
                iterations.append(int(runs[0]["iterations"] * 1.1) + 1)
            return runs[0]["cpu_time"] * scale[runs[0].get("time_unit", "ns")]

        return sample

    return factory


# ------------------------------------------------------------- callgrind


# Which driver operation runs the core work behind a core benchmark.
CORE_OPERATION = {
    "BM_forward_kinematics": "fk",
    "BM_is_reachable_joints": "is_reachable_joints",
    "BM_ik": "ik",
    "BM_is_reachable_orientation": "is_reachable_orientation",
    "BM_ik_from_direction": "ik_from_direction",
    "BM_ik_from_direction_near": "ik_from_direction_near",
    "BM_is_reachable_direction": "is_reachable_direction",
    "BM_neck_forward_kinematics": "neck_fk",
    "BM_neck_inverse_kinematics": "neck_ik",
    "BM_parse_geometry_document/typical": "parse_typical",
}


def _callgrind_dumps(paths: list[Path]) -> dict[str, int]:
    """Instruction total of each callgrind dump, by its label (or "" for the final one)."""
    totals = {}
    for path in paths:
        label = ""
        total = None
        for line in path.read_text(errors="replace").splitlines():
            if line.startswith("desc: Trigger: Client Request: "):
                label = line[len("desc: Trigger: Client Request: "):]
            match = re.match(r"^(?:summary|totals):\s+(\d+)", line)
            if match and total is None:
                total = int(match.group(1))
        if total is None:
            raise RuntimeError(f"no instruction total in {path}")
        totals[label] = total
    return totals


def _callgrind_total(binary: Path, operation: str, calls: int, workdir: Path) -> int:
    out = workdir / f"core.{operation}.{calls}.out"
    subprocess.run(["valgrind", "--tool=callgrind", f"--callgrind-out-file={out}", str(binary), operation,
                    str(calls)], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return _callgrind_dumps([out])[""]


def _core_per_call(binary: Path, operation: str, workdir: Path) -> float:
    empty = _callgrind_total(binary, operation, 0, workdir)
    full = _callgrind_total(binary, operation, CALLGRIND_CALLS, workdir)
    return (full - empty) / CALLGRIND_CALLS


def _python_per_call(build_dir: Path, workdir: Path) -> dict[str, float]:
    """Per-call instructions of every module and floor statement, by label."""
    for old in workdir.glob("python.out*"):
        old.unlink()
    out = workdir / "python.out"
    subprocess.run(["valgrind", "--tool=callgrind", f"--callgrind-out-file={out}", sys.executable,
                    str(HERE / "python_callgrind.py"), "--build-dir", str(build_dir), "--calls",
                    str(PYTHON_CALLGRIND_CALLS)], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    totals = _callgrind_dumps(sorted(workdir.glob("python.out.*")))
    base = totals["pass"]
    # Companion calls: per pose, their few thousand instructions of setup spread over the rows.
    poses = python_bench.CALLGRIND_BATCH_CALLS * python_bench.CALLGRIND_BATCH_ROWS
    return {label: total / poses if label.startswith("batch:") else (total - base) / PYTHON_CALLGRIND_CALLS
            for label, total in totals.items() if label and not label.startswith("warm-up ") and label != "pass"}


def _document_instructions(binary: Path, path: Path, workdir: Path) -> float:
    """Instructions for reading one document: one parse minus none."""
    counts = []
    for calls in (0, 1):
        out = workdir / f"core.parse_file.{path.stem}.{calls}.out"
        subprocess.run(["valgrind", "--tool=callgrind", f"--callgrind-out-file={out}", str(binary), "parse_file",
                        str(calls), str(path)], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        counts.append(_callgrind_dumps([out])[""])
    return float(counts[1] - counts[0])


@dataclass
class Callgrind:
    core: dict[str, float]  # driver operation -> instructions per call
    python: dict[str, float]  # "module:NAME" / "floor:NAME" -> instructions per call
    documents: dict[str, float]  # size -> instructions to read the document once


def run_callgrind(build_dir: Path, with_document: bool, doc_dir: Path) -> Callgrind | None:
    """Instructions per call: (total at N calls - total at 0 calls) / N for the
    core; for Python statements, (labelled dump - empty-loop dump) / N."""
    if shutil.which("valgrind") is None:
        log("callgrind: valgrind not found, skipped")
        return None
    binary = build_dir / "bench" / "quorvel_callgrind_driver"
    workdir = build_dir / "callgrind"
    workdir.mkdir(exist_ok=True)
    operations = ["fk", "direction_candidates"] + [op for op in CORE_OPERATION.values() if op != "fk"]
    if not with_document:
        operations.remove("parse_typical")
    log(f"callgrind: {len(operations)} core operations (0 and {CALLGRIND_CALLS} calls each) and the Python-level"
        f" statements ({PYTHON_CALLGRIND_CALLS} calls each)")
    # Instruction counts do not depend on load, so the runs may overlap.
    with ThreadPoolExecutor(max_workers=2) as pool:
        python_job = pool.submit(_python_per_call, build_dir, workdir)
        core_jobs = {op: pool.submit(_core_per_call, binary, op, workdir) for op in operations}
        document_jobs = {}
        if with_document:
            # Not the 10 MB one: a billion instructions under callgrind cost a minute.
            document_jobs = {size: pool.submit(_document_instructions, binary, doc_dir / f"{size}.json", workdir)
                             for size in DOCUMENT_SIZES if DOCUMENT_SIZES[size] <= 1024 * 1024}
        core = {op: job.result() for op, job in core_jobs.items()}
        documents = {size: job.result() for size, job in document_jobs.items()}
        python = python_job.result()
    return Callgrind(core, python, documents)


# ----------------------------------------------------------------- report


@dataclass
class Goal:
    name: str
    passed: bool | None  # None: could not be checked
    detail: str

    def line(self) -> str:
        verdict = {True: "PASS", False: "FAIL", None: "SKIP"}[self.passed]
        return f"{verdict}  {self.name}: {self.detail}"


def _ns(value: float | None, width: int = 9) -> str:
    return f"{value:{width}.1f}" if value is not None else f"{'-':>{width}}"


def _ratio(value: float | None, width: int = 9, suffix: str = "") -> str:
    return f"{value:{width - len(suffix)}.2f}{suffix}" if value is not None else f"{'-':>{width}}"


def _overhead_cell(value: float, width: int = 16) -> str:
    return f"{value:{width - 1}.2f}{'*' if value > OVERHEAD_LIMIT else ' '}"


def time_table(python: python_bench.PythonResults, core: dict) -> Goal:
    header = (f"{'method':44} | {'module ns':>9} | {'core ns':>9} | {'floor ns':>9} | {'(mod-core)/floor':>16} |"
              f" {'vs pure Python':>14} | {'vs SciPy':>9} | {'spread':>6}")
    rule = "-" * len(header)
    loops = [sample * 1e9 for sample in python.loop_samples]
    print("Per-call times: median of 5 interleaved timeit repeats of >= 0.2 s each, process CPU time, the empty")
    print(f"loop's cost subtracted ({python.loop_cost * 1e9:.1f} ns: median of {len(loops)} repeats before and after, "
          f"range {min(loops):.1f}-{max(loops):.1f}). Core: Google")
    print("Benchmark CPU time, single runs of >= 0.2 s interleaved with the Python-level repeats of the same method,")
    print("median of 5.")
    print(rule)
    print(header)
    print(rule)
    failures = []
    worst = None
    for entry in python.methods:
        method = entry.method
        module_ns = entry.module * 1e9
        floor_ns = entry.floor * 1e9
        if method.core is None:
            core_ns = None
        elif entry.core is not None:
            core_ns = entry.core * 1e9
        else:
            core_ns = core.get(method.core, {}).get("cpu_ns")
            if core_ns is None:
                print(f"{method.name:44} | {module_ns:9.1f} | {'n/a':>9} | {floor_ns:9.1f} | {'n/a':>16} |")
                continue
        overhead = (module_ns - (core_ns or 0.0)) / floor_ns if floor_ns > 0 else float("inf")
        if worst is None or overhead > worst[1]:
            worst = (method.name, overhead)
        if not overhead <= OVERHEAD_LIMIT:
            failures.append(f"{method.name} {overhead:.2f}")
        pure = entry.pure / entry.module if entry.pure is not None else None
        scipy = entry.scipy / entry.module if entry.scipy is not None else None
        print(f"{method.name:44} | {module_ns:9.1f} | {_ns(core_ns)} | {floor_ns:9.1f} | {_overhead_cell(overhead)} |"
              f" {_ratio(pure, 14, 'x')} | {_ratio(scipy, 9, 'x')} | {entry.spread * 100:5.0f}%")
    print(rule)
    print(f"* over the binding-overhead goal ({OVERHEAD_LIMIT}x floor). Core '-': no core work (counted as 0).")
    print("vs pure Python / vs SciPy: the peer's time per call divided by the module's.")
    print("spread: the largest (max - min) / median among the module's, floor's and core's 5 repeats.")
    return Goal(f"binding overhead (module - core) <= {OVERHEAD_LIMIT} x floor, every method (time)",
                not failures,
                f"all within; worst {worst[0]} {worst[1]:.2f}" if not failures
                else f"{len(failures)} over: " + ", ".join(failures))


def instruction_table(python: python_bench.PythonResults, callgrind: Callgrind) -> Goal:
    header = f"{'method':44} | {'module':>9} | {'core':>9} | {'floor':>9} | {'(mod-core)/floor':>16} | {'mod-core-floor':>14}"
    rule = "-" * len(header)
    print("Instructions per call (callgrind; deterministic, so a cross-check of the times on a busy machine):")
    print(rule)
    print(header)
    print(rule)
    failures = []
    for entry in python.methods:
        method = entry.method
        module = callgrind.python.get(f"module:{method.name}")
        floor = callgrind.python.get(f"floor:{method.name}")
        if module is None or floor is None:
            continue
        if method.core and CORE_OPERATION.get(method.core) not in callgrind.core:
            continue
        core = callgrind.core[CORE_OPERATION[method.core]] if method.core else None
        overhead = (module - (core or 0.0)) / floor
        if not overhead <= OVERHEAD_LIMIT:
            failures.append(f"{method.name} {overhead:.2f}")
        core_text = f"{core:9.0f}" if core is not None else f"{'-':>9}"
        print(f"{method.name:44} | {module:9.0f} | {core_text} | {floor:9.0f} | {_overhead_cell(overhead)} |"
              f" {module - (core or 0.0) - floor:14.0f}")
    print(rule)
    print("mod-core-floor: instructions the binding spends beyond the floor's.")
    return Goal(f"binding overhead (module - core) <= {OVERHEAD_LIMIT} x floor in instructions (cross-check)",
                not failures, "all within" if not failures else f"{len(failures)} over: " + ", ".join(failures))


def report(python: python_bench.PythonResults, core: dict, callgrind: Callgrind | None) -> list[Goal]:
    goals: list[Goal] = []
    print()
    goals.append(time_table(python, core))
    if callgrind is not None:
        print()
        goals.append(instruction_table(python, callgrind))

    print()
    print("Core, Google Benchmark CPU time per call, median of 5 runs of >= 0.2 s (interleaved: beside the")
    print("Python-level repeats of the method named; else one process with 5 repetitions):")
    interleaved: dict[str, list[str]] = {}
    for entry in python.methods:
        if entry.method.core and entry.core is not None:
            interleaved.setdefault(entry.method.core, []).append(f"{entry.core * 1e9:.1f} ({entry.method.name})")
    for name, samples in interleaved.items():
        print(f"  {name:40} " + ", ".join(samples))
    for name, entry in core.items():
        extra = ""
        if "bytes_per_second" in entry:
            extra = f"  {entry['bytes_per_second'] / 1e6:8.1f} MB/s"
        print(f"  {name:40} {entry['cpu_ns']:.1f} (wall {entry['real_ns']:.1f}){extra}")

    print()
    callgrind_label = f"callgrind ik_from_direction <= {CALLGRIND_RATIO_LIMIT} x forward_kinematics"
    if callgrind is None:
        print("callgrind: not run (valgrind missing)")
        goals.append(Goal(callgrind_label, None, "valgrind missing"))
    else:
        print(f"Core instructions per call (callgrind, ((N={CALLGRIND_CALLS}) - (N=0)) / N):")
        fk = callgrind.core["fk"]
        for operation, count in callgrind.core.items():
            print(f"  {operation:28} {count:10.1f}  ({count / fk:.2f} x fk)")
        ratio = callgrind.core["ik_from_direction"] / fk
        goals.append(Goal(callgrind_label, ratio <= CALLGRIND_RATIO_LIMIT,
                          f"{callgrind.core['ik_from_direction']:.0f} / {fk:.0f} = {ratio:.2f}x"))

    by_name = {entry.method.name: entry for entry in python.methods}

    def speedup_goal(label: str, names: list[str], attribute: str, limit: float) -> None:
        parts = []
        passed = True
        for name in names:
            entry = by_name[name]
            peer = getattr(entry, attribute)
            if peer is None:
                goals.append(Goal(label, None, f"{name}: peer not available"))
                return
            speedup = peer / entry.module
            passed = passed and speedup >= limit
            # The best any binding could do: the peer against the floor plus the core.
            best = peer / (entry.floor + (entry.core or 0.0))
            parts.append(f"{name} {speedup:.1f}x (floor+core bound {best:.1f}x)")
        goals.append(Goal(label, passed, ", ".join(parts)))

    speedup_goal(f">= {PURE_FK_SPEEDUP:g}x pure Python for arm fk and neck fk", ["fk(a, b)", "neck.fk(joints)"],
                 "pure", PURE_FK_SPEEDUP)
    speedup_goal(f">= {PURE_IKD_SPEEDUP:g}x pure Python for ik_from_direction",
                 ["ik_from_direction(v)", "ik_from_direction(v, near=)"], "pure", PURE_IKD_SPEEDUP)
    speedup_goal(f">= {SCIPY_SPEEDUP:g}x SciPy for neck fk and ik", ["neck.fk(joints)", "neck.ik(R)"], "scipy",
                 SCIPY_SPEEDUP)

    print()
    doc_label = "geometry document time linear in size (1 KB, 1 MB, 10 MB) and >= json.loads throughput"
    if not python.has_from_json:
        print("Geometry documents: QuorvelArmKinematics.from_json not present; json.loads alone:")
        for size, entry in python.documents.items():
            print(f"  {size:5} {entry['bytes']:>10.0f} B   json.loads "
                  f"{entry['bytes'] / entry['json.loads'] / 1e6:8.1f} MB/s")
        goals.append(Goal(doc_label, None, "from_json not present"))
        return goals

    print("Geometry documents made mostly of a skipped value, all sizes timed in one interleaved group;")
    print("MB/s with 1 MB = 10^6 bytes; core = Google Benchmark single runs interleaved with the Python-level repeats:")
    print(f"  {'size':5} {'bytes':>10} | {'core ns':>12} {'MB/s':>7} | {'from_json ns':>13} {'MB/s':>7} |"
          f" {'json.loads ns':>13} {'MB/s':>7} | {'from_json vs json.loads':>23} | {'instr/byte':>10}")
    per_byte = {}
    slower = []
    for size, entry in python.documents.items():
        size_bytes = entry["bytes"]
        core_ns = entry["core"] * 1e9 if "core" in entry else None
        module_ns = entry["from_json"] * 1e9
        json_ns = entry["json.loads"] * 1e9
        per_byte[size] = (core_ns if core_ns is not None else module_ns) / size_bytes
        speed = json_ns / module_ns
        if speed < 1.0:
            slower.append(f"{size} {speed:.2f}x")
        core_text = (f"{core_ns:12.0f} {size_bytes / core_ns * 1e3:7.1f}" if core_ns is not None
                     else f"{'-':>12} {'-':>7}")
        instructions = callgrind.documents.get(size) if callgrind is not None else None
        instr_text = f"{instructions / size_bytes:10.2f}" if instructions is not None else f"{'-':>10}"
        print(f"  {size:5} {size_bytes:10.0f} | {core_text} | {module_ns:13.0f} {size_bytes / module_ns * 1e3:7.1f} |"
              f" {json_ns:13.0f} {size_bytes / json_ns * 1e3:7.1f} | {speed:22.2f}x | {instr_text}")
    typical = next((entry for entry in python.methods if entry.method.core == "BM_parse_geometry_document/typical"),
                   None)
    if typical is not None and typical.core is not None:
        print(f"  typical document ({len(python_bench.TYPICAL_DOCUMENT)} B): core {typical.core * 1e9:.0f} ns,"
              f" from_json {typical.module * 1e9:.0f} ns")
    spread = max(per_byte.values()) / min(per_byte.values())
    detail = ("core ns/byte " + ", ".join(f"{k} {v:.2f}" for k, v in per_byte.items())
              + f" (spread {spread:.2f}x, limit {LINEARITY_LIMIT}x); "
              + ("from_json >= json.loads at every size" if not slower
                 else "from_json slower than json.loads at " + ", ".join(slower)))
    if callgrind is not None and callgrind.documents:
        counts = [callgrind.documents[size] / python.documents[size]["bytes"] for size in callgrind.documents]
        detail += (f"; instructions/byte spread {max(counts) / min(counts):.2f}x over "
                   + ", ".join(callgrind.documents))
    goals.append(Goal(doc_label, spread <= LINEARITY_LIMIT and not slower, detail))
    return goals


def batch_instruction_table(callgrind: Callgrind) -> Goal:
    """The companion per pose against the core per call, in instructions (no core driver op: '-')."""
    rows = python_bench.CALLGRIND_BATCH_ROWS
    print(f"Array companion, instructions per pose (callgrind, {python_bench.CALLGRIND_BATCH_CALLS} calls of {rows} "
          "poses, all of each call counted) against the core per call:")
    over = []
    worst = None
    for function in python_bench.batch_functions():
        count = callgrind.python.get(f"batch:{function.name}")
        core = callgrind.core.get(CORE_OPERATION.get(function.core, ""))
        if count is None:
            continue
        ratio = count / core if core else None
        if ratio is not None:
            worst = max(worst or (0.0, ""), (ratio, function.name))
            if not ratio <= BATCH_CORE_LIMIT:
                over.append(f"{function.name} {ratio:.2f}")
        core_text = f"{core:9.0f}" if core else f"{'-':>9}"
        print(f"  {function.name:44} {count:9.0f}  core {core_text}  {_ratio(ratio, 6)}")
    detail = (f"all within; worst {worst[1]} {worst[0]:.2f}" if worst and not over
              else f"{len(over)} over: " + ", ".join(over) if over else "no core counts")
    return Goal(f"companion per pose <= {BATCH_CORE_LIMIT} x core per call in instructions (cross-check)",
                not over if worst else None, detail)


def batch_report(batch: python_bench.BatchResults, callgrind: Callgrind | None = None) -> list[Goal]:
    goals: list[Goal] = []
    n = python_bench.BATCH_N
    loads = ", ".join(f"{a:.2f} {b:.2f} {c:.2f}" for a, b, c in batch.load)
    print(f"Array companion, per pose at N = {n:,} (the core benchmark's input repeated), process CPU time,")
    print("median of 5 repeats interleaved with single Google Benchmark runs of the core operation named.")
    print(f"Load average (1, 5, 15 min) before and after this section: {loads} on {os.cpu_count()} cores.")
    header = f"{'function':44} | {'ns/pose':>8} | {'core ns':>8} | {'core benchmark':28} | {'ratio':>6} | {'spread':>6}"
    print("-" * len(header))
    print(header)
    print("-" * len(header))
    over = []
    worst = None
    for entry in batch.functions:
        per_pose = entry.per_pose * 1e9
        core = entry.core * 1e9 if entry.core is not None else None
        ratio = per_pose / core if core else None
        if ratio is not None:
            worst = max(worst or (0.0, ""), (ratio, entry.function.name))
            if not ratio <= BATCH_CORE_LIMIT:
                over.append(f"{entry.function.name} {ratio:.2f}")
        print(f"{entry.function.name:44} | {per_pose:8.1f} | {_ns(core, 8)} | {entry.function.core:28} |"
              f" {_ratio(ratio, 6)} | {entry.spread * 100:5.0f}%")
    print("-" * len(header))
    if worst is None:
        goals.append(Goal(f"companion per pose <= {BATCH_CORE_LIMIT} x core per call", None, "core not measured"))
    else:
        goals.append(Goal(f"companion per pose <= {BATCH_CORE_LIMIT} x core per call, every function (time)",
                          not over, f"all within; worst {worst[1]} {worst[0]:.2f}" if not over
                          else f"{len(over)} over: " + ", ".join(over)))

    if callgrind is not None:
        print()
        goals.append(batch_instruction_table(callgrind))

    print()
    print(f"Companion against peers, per pose at N = {n:,}, each pair one interleaved group:")
    for label, (ours, peer) in batch.peers.items():
        print(f"  {label:50} companion {ours * 1e9:8.1f} ns, peer {peer * 1e9:8.1f} ns: {peer / ours:6.1f}x"
              f" (whole call {ours * n * 1e3:.1f} ms vs {peer * n * 1e3:.1f} ms)")
    loop = batch.peers.get("arm fk vs Python loop over arm.fk")
    if loop is not None:
        goals.append(Goal(f"companion arm fk >= {BATCH_LOOP_SPEEDUP:g}x a Python loop over arm.fk",
                          loop[1] / loop[0] >= BATCH_LOOP_SPEEDUP, f"{loop[1] / loop[0]:.1f}x"))
    scipy = [(label, peer / ours) for label, (ours, peer) in batch.peers.items() if "SciPy" in label]
    if scipy:
        goals.append(Goal(f"companion neck fk and ik >= {BATCH_SCIPY_SPEEDUP:g}x SciPy's vectorised Rotation",
                          all(x >= BATCH_SCIPY_SPEEDUP for _, x in scipy),
                          ", ".join(f"{label.split(' vs')[0]} {x:.1f}x" for label, x in scipy)))
    else:
        goals.append(Goal(f"companion neck >= {BATCH_SCIPY_SPEEDUP:g}x SciPy", None, "SciPy not available"))

    print()
    memory = batch.memory
    ratio = memory["peak"] / memory["arrays"]
    print(f"Peak RSS, companion fk over {python_bench.MEMORY_N:,} poses in a child process: "
          f"{memory['peak'] / 2**20:.0f} MiB; input and output arrays {memory['arrays'] / 2**20:.0f} MiB; "
          f"interpreter and modules before the arrays {memory['before'] / 2**20:.0f} MiB")
    goals.append(Goal(f"peak RSS <= {BATCH_MEMORY_LIMIT} x the arrays, fk over {python_bench.MEMORY_N:,} poses",
                      ratio <= BATCH_MEMORY_LIMIT, f"{ratio:.3f}x"))
    threads = batch.threads
    print(f"Threads, ik_from_direction over {python_bench.THREAD_N:,} poses, wall time, median of 5 interleaved: "
          f"one thread {threads['one'] * 1e3:.1f} ms, two threads on halves {threads['two'] * 1e3:.1f} ms "
          f"({threads['one'] / threads['two']:.2f}x); process CPU time over wall time: one thread "
          f"{threads['one cpu'] / threads['one']:.2f}, two threads {threads['two cpu'] / threads['two']:.2f} "
          "(2 would mean both threads computed at once the whole time)")

    print()
    print("Main module given float64 NumPy arrays against the same call given lists (one interleaved group,")
    print("per call, empty loop subtracted):")
    for label, array_time, list_time, goal in batch.main_numpy:
        ratio = array_time / list_time
        print(f"  {label:28} ndarray {array_time * 1e9:8.1f} ns, list {list_time * 1e9:8.1f} ns: {ratio:5.2f}x")
        goals.append(Goal(f"main module {label} with an ndarray <= {goal} x with a list", ratio <= goal,
                          f"{ratio:.2f}x"))
    print("\n".join(batch.checks))
    return goals


def main() -> int:
    parser = argparse.ArgumentParser(description="Benchmark report for quorvel_torso_kinematics")
    parser.add_argument("--build-dir", type=Path, default=Path("build/bench"))
    args = parser.parse_args()
    build_dir = args.build_dir.resolve()

    doc_dir = build_dir / "documents"
    documents = write_documents(doc_dir)
    available = available_core_benchmarks(build_dir, doc_dir)
    core = run_core(build_dir, doc_dir)
    callgrind = run_callgrind(build_dir, "BM_parse_geometry_document/typical" in available, doc_dir)

    log("Python-level timings (module, floor, core, peers; interleaved repeats)")
    floor = python_bench.load_floor(build_dir)
    python = python_bench.run(floor, documents, core_sampler_factory(build_dir, doc_dir, available), progress=log)
    if python.has_from_json:
        from quorvel_torso_kinematics import QuorvelArmKinematics  # noqa: PLC0415

        for size, text in documents.items():
            arm = QuorvelArmKinematics.from_json(text)
            if arm.arm_arc() != 0.7 or arm.coupler_arc() != 0.5:
                raise AssertionError(f"from_json read the {size} document wrongly")

    log("array companion (per pose, peers, memory, threads, NumPy inputs to the main module)")
    batch = python_bench.run_batch(core_sampler_factory(build_dir, doc_dir, available), progress=log)

    print()
    print("\n".join(python.peer_checks))
    goals = report(python, core, callgrind)
    print()
    goals += batch_report(batch, callgrind)
    print()
    print("Goals (a report: a FAIL does not fail the build)")
    for goal in goals:
        print("  " + goal.line())
    print()
    print(f"bench finished in {time.monotonic() - STARTED:.0f} s")
    return 0


if __name__ == "__main__":
    sys.exit(main())
