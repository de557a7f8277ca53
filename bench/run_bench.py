"""The measuring half of `make bench`: gathers every figure of the report into
build/bench/results.json, then has bench/report.py write docs/benchmarks.md
and build/bench/summary.md from it.

  1. callgrind: instructions per call of the core operations (the driver run
     with N calls minus none), of every module and floor statement and per pose
     of the array companion (python_callgrind.py), and per byte of documents;
  2. times (timing.py): every method of cases.METHODS on the module, the floor
     and the peers beside its core benchmark, the geometry-document reader
     against json.loads, then the array companion per pose beside its core
     benchmark, against its peers and against other companion functions, the
     main module given NumPy arrays, peak memory, two threads against one, and
     workers=-1 against the same rows split over two processes (wall time).

A missed goal does not fail the run (it is a report); a crash, a failed step
or a peer that disagrees with the module does.

    .venv/bin/python bench/run_bench.py --build-dir build/bench
"""

from __future__ import annotations

import argparse
import datetime
import json
import multiprocessing
import os
import platform
import re
import statistics
import subprocess
import sys
import threading
import time
from concurrent.futures import ProcessPoolExecutor, ThreadPoolExecutor
from functools import partial
from importlib import metadata
from pathlib import Path

import cases
import peer_checks
import report
import timing
from timing import interleave, sampler, spread

HERE = Path(__file__).resolve().parent
STARTED = time.monotonic()


def log(text: str) -> None:
    print(f"[{time.monotonic() - STARTED:4.0f} s] {text}", file=sys.stderr, flush=True)


def median(samples: list[float], less: float = 0.0) -> float:
    return statistics.median(samples) - less


def make_document(size: int) -> str:
    """A geometry document of exactly `size` bytes, made mostly of a value the reader skips."""
    head, tail = '{"arm_arc": 0.7, "coupler_arc": 0.5, "notes": [', '], "branch": "positive", "mirror": false}'
    parts, length, i = [head], len(head) + len(tail), 0
    while True:
        item = (", " if i else "") + (
            '{"id": %d, "label": "segment \\"%d\\" caf\\u00e9\\n", "values": [1.5, -2.25e3, %d, true, false, null],'
            ' "nested": {"a": [[1, 2], {"b": "c"}], "flag": true}}' % (i, i, i * 7))
        if length + len(item) > size:
            break
        parts.append(item)
        length, i = length + len(item), i + 1
    text = "".join(parts) + " " * (size - length) + tail
    assert len(text) == size, (len(text), size)
    json.loads(text)
    return text


def core_sampler(build_dir: Path, doc_dir: Path, context: dict):
    """For a core benchmark, a sampler running it once (>= 0.2 s; later runs reuse
    the first one's iteration count, a tenth larger) in a fresh process: CPU
    seconds per call. Google Benchmark's context of the first run lands in `context`."""
    def factory(name: str) -> timing.Sampler:
        command = [str(build_dir / "bench" / "quorvel_core_bench"), f"--doc-dir={doc_dir}",
                   f"--benchmark_filter=^{re.escape(name)}/(min_time|iterations):", "--benchmark_format=json",
                   "--benchmark_repetitions=1"]
        iterations: list[str] = []

        def sample() -> float:
            output = json.loads(subprocess.run(command + iterations, check=True, capture_output=True,
                                               text=True).stdout)
            [run] = [e for e in output["benchmarks"] if e.get("run_type", "iteration") == "iteration"]
            context.setdefault("context", output.get("context", {}))
            if not iterations:
                iterations.append(f"--iterations={int(run['iterations'] * 1.1) + 1}")
            return run["cpu_time"] * {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[run.get("time_unit", "ns")]

        return sample

    return factory


# ------------------------------------------------------------- callgrind


def callgrind(out: Path, command: list[str]) -> dict[str, int]:
    """Runs command under callgrind: the instruction total of each dump, by its label ("" for the last)."""
    for old in out.parent.glob(out.name + "*"):
        old.unlink()
    subprocess.run(["valgrind", "--tool=callgrind", f"--callgrind-out-file={out}"] + command, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    totals = {}
    for path in sorted(out.parent.glob(out.name + "*")):
        text = path.read_text(errors="replace")
        label = re.search(r"^desc: Trigger: Client Request: (.*)$", text, re.MULTILINE)
        totals[label.group(1) if label else ""] = int(re.search(r"^(?:summary|totals):\s+(\d+)", text,
                                                                 re.MULTILINE).group(1))
    return totals


def driver_per_call(build_dir: Path, operation: str, calls: int, *file: str) -> float:
    """(count at `calls` calls - count at none) / calls of one callgrind driver operation."""
    binary, workdir = str(build_dir / "bench" / "quorvel_callgrind_driver"), build_dir / "callgrind"
    name = ".".join(["core", operation] + [Path(f).stem for f in file])
    counts = [callgrind(workdir / f"{name}.{n}.out", [binary, operation, str(n), *file])[""] for n in (0, calls)]
    return (counts[1] - counts[0]) / calls


def count_instructions(build_dir: Path, doc_dir: Path) -> dict:
    """Core operations, Python-level statements and documents (not the 10 MB one: a
    billion instructions under callgrind cost a minute). Counts do not depend on
    the load, so the runs overlap."""
    (build_dir / "callgrind").mkdir(exist_ok=True)
    log(f"callgrind: {len(cases.CORE)} core operations (0 and {cases.CALLGRIND_CALLS} calls each) and the "
        f"Python-level statements ({cases.PYTHON_CALLGRIND_CALLS} calls each)")
    with ThreadPoolExecutor(max_workers=2) as pool:
        python = pool.submit(callgrind, build_dir / "callgrind" / "python.out",
                             [sys.executable, str(HERE / "python_callgrind.py"), str(build_dir)])
        core = {op: pool.submit(driver_per_call, build_dir, op, cases.CALLGRIND_CALLS) for op in cases.CORE.values()}
        documents = {size: pool.submit(driver_per_call, build_dir, "parse_file", 1, str(doc_dir / f"{size}.json"))
                     for size, n in cases.DOCUMENT_SIZES.items() if n <= 1024 * 1024}
        totals = python.result()
        poses = cases.CALLGRIND_BATCH_CALLS * cases.CALLGRIND_BATCH_ROWS
        return {"core": {op: job.result() for op, job in core.items()},
                "documents": {size: job.result() for size, job in documents.items()},
                "python": {label: total / poses if label.startswith("batch:")
                           else (total - totals["pass"]) / cases.PYTHON_CALLGRIND_CALLS
                           for label, total in totals.items() if ":" in label and not label.startswith("warm-up")}}


# ----------------------------------------------------------------- times


def time_main_module(build_dir: Path, documents: dict[str, str], core, counts: dict) -> dict:
    """Every method on the module, the floor and the peers beside its core benchmark; the document readers."""
    from scipy.spatial.transform import Rotation  # noqa: PLC0415

    floor = cases.load_floor(build_dir)
    extra = {"Rotation": Rotation} | {f"DOC_{size}": text for size, text in documents.items()}
    module, floor_ns, pure = (cases.namespace(kind, floor, extra) for kind in ("module", "floor", "pure"))
    checks = peer_checks.check_main(module, pure, Rotation)
    loop = timing.LoopCost()
    loop.measure()
    timed = []
    for m in cases.METHODS:
        log(f"  timing {m.name}")
        timed.append(interleave([sampler(m.statement, module), sampler(m.statement, floor_ns)]
                                + ([sampler(m.statement, pure)] if m.pure else [])
                                + ([sampler(m.scipy, module)] if m.scipy else []) + ([core(m.core)] if m.core else [])))
    # All sizes in one group, so the time per byte across sizes sees the same machine.
    log("  timing documents of " + ", ".join(documents))
    readers = interleave([sampler(f"{reader}(DOC_{size})", module) for size in documents
                          for reader in ("Q.from_json", "json.loads")]
                         + [core(f"BM_parse_geometry_document/{size}") for size in documents])
    loop.measure()

    def call(samples: list[float]) -> float:
        return max(median(samples, loop.value), 0.0)

    methods = []
    for m, samples in zip(cases.METHODS, timed):
        times = iter(samples)
        methods.append({"name": m.name, "core_benchmark": m.core, "module": call(next(times)),
                        "floor": call(next(times)), "pure": call(next(times)) if m.pure else None,
                        "scipy": call(next(times)) if m.scipy else None,
                        "core": median(next(times)) if m.core else None,
                        # the noisiest of the module, floor and core measurements
                        "spread": max(spread(s) for s in samples[:2] + (samples[-1:] if m.core else [])),
                        "module_ir": counts["python"][f"module:{m.name}"],
                        "floor_ir": counts["python"][f"floor:{m.name}"],
                        "core_ir": counts["core"][cases.CORE[m.core]] if m.core else None})
    rows = []
    n = len(documents)  # readers: from_json and json.loads of each size, then the core of each
    for (size, text), ours, loads, own in zip(documents.items(), readers[:2 * n:2], readers[1:2 * n:2],
                                              readers[2 * n:]):
        rows.append({"size": size, "bytes": len(text.encode()), "from_json": median(ours, loop.value),
                     "json.loads": median(loads, loop.value), "core": median(own),
                     "spread": max(spread(s) for s in (ours, loads, own)), "ir": counts["documents"].get(size)})
    return {"checks": checks, "loop": loop.samples, "methods": methods, "documents": rows}


def threads(ns: dict, n: int) -> dict[str, float]:
    """Wall and CPU time of ik_from_direction over n poses: one thread on all, two on halves, interleaved."""
    qb, arm = ns["qb"], ns["arm"]
    directions = ns["np"].tile(ns["V"], (n, 1))

    def timed(workers: list[threading.Thread]) -> tuple[float, float]:
        start, cpu = time.perf_counter(), time.process_time()
        if not workers:
            qb.ik_from_direction(arm, directions)
        for worker in workers:
            worker.start()
        for worker in workers:
            worker.join()
        return time.perf_counter() - start, time.process_time() - cpu

    def halves() -> list[threading.Thread]:
        return [threading.Thread(target=qb.ik_from_direction, args=(arm, half))
                for half in (directions[: n // 2], directions[n // 2:])]

    samples = [(timed([]), timed(halves())) for _ in range(timing.REPEATS)]
    return {f"{name}{cpu}": statistics.median(pair[k][c] for pair in samples)
            for k, name in enumerate(("one", "two")) for c, cpu in enumerate(("", " cpu"))}


def time_companion(core, counts: dict) -> dict:
    """The companion per pose beside its core benchmark, against its peers, the main
    module given NumPy arrays against lists, peak memory and two threads against one."""
    from scipy.spatial.transform import Rotation  # noqa: PLC0415

    load = [os.getloadavg()]
    ns = cases.batch_namespace(cases.BATCH_N, Rotation)
    checks = peer_checks.check_companion(ns)
    companion = []
    for name, stmt, benchmark in cases.COMPANION:
        log(f"  timing companion {name} (N = {cases.BATCH_N})")
        samples = interleave([sampler(stmt, ns), core(benchmark)])
        companion.append({"name": name, "core_benchmark": benchmark, "per_pose": median(samples[0]) / cases.BATCH_N,
                          "core": median(samples[1]), "spread": max(map(spread, samples)),
                          "ir": counts["python"][f"batch:{name}"], "core_ir": counts["core"][cases.CORE[benchmark]],
                          "baseline": cases.COMPANION_BASELINE.get(name)})
    statements = {name: stmt for name, stmt, _ in cases.COMPANION}
    relative = []
    for what, reference, names, limit in cases.COMPANION_RELATIVE:
        log(f"  timing companion {what} against {reference} (one interleaved group)")
        samples = interleave([sampler(statements[name], ns) for name in [reference] + names])
        relative += [{"group": what, "limit": limit, "name": name, "reference": reference,
                      "per_pose": median(own) / cases.BATCH_N, "reference_per_pose": median(samples[0]) / cases.BATCH_N,
                      "ir": counts["python"][f"batch:{name}"], "reference_ir": counts["python"][f"batch:{reference}"],
                      "spread": max(spread(samples[0]), spread(own))} for name, own in zip(names, samples[1:])]
    log("  timing companion against peers (SciPy, a Python loop over arm.fk)")
    peers = []
    for label, ours, theirs in cases.COMPANION_PEERS:
        samples = interleave([sampler(ours, ns), sampler(theirs, ns)])
        peers.append({"comparison": label, "ours": median(samples[0]) / cases.BATCH_N,
                      "theirs": median(samples[1]) / cases.BATCH_N, "spread": max(map(spread, samples))})
    log("  timing the main module with NumPy inputs against lists (one interleaved group)")
    loop = timing.LoopCost()
    loop.measure()
    samples = interleave([sampler(stmt, ns) for _, array, given, _ in cases.MAIN_NUMPY for stmt in (array, given)])
    loop.measure()
    numpy = [{"call": call, "ndarray": median(array, loop.value), "list": median(given, loop.value), "goal": goal,
              "spread": max(spread(array), spread(given))}
             for (call, _, _, goal), array, given in zip(cases.MAIN_NUMPY, samples[::2], samples[1::2])]
    log(f"  peak memory of fk over {cases.MEMORY_N:,} poses (child process)")
    memory = json.loads(subprocess.run([sys.executable, str(HERE / "peak_memory.py"), str(cases.MEMORY_N)],
                                       check=True, capture_output=True, text=True).stdout)
    log(f"  two threads on halves against one thread, ik_from_direction over {cases.THREAD_N:,} poses")
    return {"checks": checks, "companion": companion, "relative": relative, "peers": peers, "numpy": numpy,
            "memory": memory, "threads": threads(ns, cases.THREAD_N), "companion_load": load + [os.getloadavg()]}


_HELPER: dict = {}


def run_rows(stmt: str, rows: int) -> None:
    """In a helper process of time_workers: stmt once over `rows` poses, W = 1."""
    if rows not in _HELPER:
        _HELPER[rows] = cases.batch_namespace(rows) | {"W": 1}
    if (stmt, rows) not in _HELPER:
        _HELPER[stmt, rows] = timing.timer(stmt, _HELPER[rows])
    _HELPER[stmt, rows].timeit(1)


def time_workers() -> dict:
    """cases.WORKERS over WORKERS_N rows, wall time of single calls, interleaved: workers=1 and workers=-1 here;
    and, as the parallelism the machine gives right now, all rows in one helper process against half in each of
    two (workers=1 in both), submitted the same way so the hand-over costs both alike."""
    n, load = cases.WORKERS_N, [os.getloadavg()]
    ns = cases.batch_namespace(n)
    spawn = multiprocessing.get_context("spawn")  # this process holds threads (OpenBLAS); no fork
    rows = []
    with ProcessPoolExecutor(1, mp_context=spawn) as first, ProcessPoolExecutor(1, mp_context=spawn) as second:
        def processes(stmt: str, *jobs: tuple) -> timing.Sampler:
            def sample() -> float:
                start = time.perf_counter()
                for job in [pool.submit(run_rows, stmt, count) for pool, count in jobs]:
                    job.result()
                return time.perf_counter() - start
            return sample

        for name, stmt in cases.WORKERS:
            log(f"  timing {name} over {n:,} rows: workers=1, workers=-1, one process, two processes")
            samplers = [partial(timing.timer(stmt, ns | {"W": w}, time.perf_counter).timeit, 1) for w in (1, -1)] + [
                processes(stmt, (first, n)), processes(stmt, (first, n // 2), (second, n - n // 2))]
            for sample in samplers:
                sample()  # the helpers make their arrays
            samples = interleave(samplers)
            rows.append({"function": name} | {k: median(s) for k, s in zip(
                ("one worker", "all workers", "one process", "two processes"), samples)}
                | {"spread": max(map(spread, samples))})
    return {"workers": rows, "workers_cores": len(os.sched_getaffinity(0)), "workers_load": load + [os.getloadavg()]}


# ---------------------------------------------------------------- the run


def output(*command: str) -> str:
    try:
        return subprocess.run(command, check=True, capture_output=True, text=True, cwd=HERE.parent).stdout.strip()
    except (OSError, subprocess.CalledProcessError):
        return ""


def run_info(build_dir: Path, context: dict) -> dict:
    import numpy  # noqa: PLC0415
    import scipy  # noqa: PLC0415

    cpu = re.search(r"^model name\s*:\s*(.*)$", Path("/proc/cpuinfo").read_text(), re.MULTILINE)
    compiler = re.search(r"^CMAKE_CXX_COMPILER:\w+=(.*)$", (build_dir / "CMakeCache.txt").read_text(), re.MULTILINE)
    package = output("dpkg-query", "-W", "-f=${Version}", "libbenchmark-dev")
    # Older Google Benchmark releases do not report their version; the Debian package does.
    google_benchmark = (context.get("context", {}).get("library_version")
                        or (f"{package} (Debian package libbenchmark-dev)" if package else "unknown"))
    return {"cpu": cpu.group(1).strip() if cpu else platform.processor() or "unknown", "cores": os.cpu_count() or 0,
            "kernel": f"{platform.system()} {platform.release()} {platform.machine()}",
            "compiler": (output(compiler.group(1), "--version").splitlines() or [compiler.group(1)])[0],
            "python": platform.python_version(), "numpy": numpy.__version__, "scipy": scipy.__version__,
            "google_benchmark": google_benchmark, "project": metadata.version("quorvel_torso_kinematics"),
            "commit": output("git", "rev-parse", "--short=12", "HEAD") or "unknown",
            # A regenerated report alone is not a local change.
            "dirty": bool(output("git", "status", "--porcelain", "--", ".", f":!{report.DOCUMENT}"))}


def measure(build_dir: Path) -> dict:
    started = datetime.datetime.now().astimezone().strftime("%Y-%m-%d %H:%M:%S %Z")
    load_start = os.getloadavg()
    doc_dir = build_dir / "documents"
    doc_dir.mkdir(parents=True, exist_ok=True)
    documents = {size: make_document(n) for size, n in cases.DOCUMENT_SIZES.items()}
    for size, text in documents.items():
        (doc_dir / f"{size}.json").write_text(text)
    counts = count_instructions(build_dir, doc_dir)
    context: dict = {}
    core = core_sampler(build_dir, doc_dir, context)
    log("Python-level timings (module, floor, core, peers; interleaved repeats)")
    main = time_main_module(build_dir, documents, core, counts)
    from quorvel_torso_kinematics import QuorvelArmKinematics  # noqa: PLC0415

    for size, text in documents.items():
        arm = QuorvelArmKinematics.from_json(text)
        if arm.arm_arc() != 0.7 or arm.coupler_arc() != 0.5:
            raise AssertionError(f"from_json read the {size} document wrongly")
    log("array companion (per pose, peers, memory, threads, NumPy inputs to the main module)")
    batch = time_companion(core, counts)
    log(f"workers=-1 against two processes ({cases.WORKERS_N:,} rows)")
    batch |= time_workers()
    settings = {name.lower(): getattr(cases, name) for name in (
        "CALLGRIND_CALLS", "PYTHON_CALLGRIND_CALLS", "CALLGRIND_BATCH_ROWS", "CALLGRIND_BATCH_CALLS", "BATCH_N",
        "MEMORY_N", "THREAD_N", "WORKERS_N", "BASELINE_COMMIT")} | {
        "repeats": timing.REPEATS, "min_time": timing.MIN_TIME, "typical_bytes": len(cases.TYPICAL_DOCUMENT)}
    info = run_info(build_dir, context) | {"started": started, "seconds": time.monotonic() - STARTED,
                                           "load_start": load_start, "load_end": os.getloadavg()}
    return main | batch | {"checks": main["checks"] + batch["checks"], "settings": settings, "info": info,
                           "core": [{"benchmark": name, "operation": op, "ir": counts["core"][op]}
                                    for name, op in cases.CORE.items()]}


def main() -> int:
    parser = argparse.ArgumentParser(description="Benchmark report for quorvel_torso_kinematics")
    parser.add_argument("--build-dir", type=Path, default=Path("build/bench"))
    build_dir = parser.parse_args().build_dir.resolve()
    results = measure(build_dir)
    (build_dir / "results.json").write_text(json.dumps(results, indent=1))
    report.write(build_dir / "results.json")
    print(f"bench finished in {time.monotonic() - STARTED:.0f} s")
    return 0


if __name__ == "__main__":
    sys.exit(main())
