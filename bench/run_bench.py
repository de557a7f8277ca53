"""The benchmark report behind `make bench`.

Runs, in one go:
  1. callgrind: instructions per call of the core operations (a driver run
     with N calls minus one with none), of every Python-level module and floor
     statement and per pose of the array companion (bench/python_callgrind.py),
     and per byte of the 1 KB and 1 MB geometry documents;
  2. the Python-level timings (bench/python_bench.py): every public method of
     the module, the same call on the overhead floor module, the core
     benchmark behind the method (single Google Benchmark runs interleaved
     with the Python-level repeats, so all three see the same machine), the
     peers (pure Python, SciPy), and the geometry-document reader against
     json.loads at 1 KB, 1 MB and 10 MB;
  3. the array companion (quorvel_torso_kinematics_batch): per pose at N = 100,000
     against the core's per-call time (interleaved), against SciPy and a Python
     loop over the main module, peak memory over 10,000,000 poses, two threads
     against one; and the main module given NumPy arrays against lists;
then prints the report (bench/report.py), writes it as docs/benchmarks.md and
a short summary table as build/bench/summary.md. A missed goal does not make
the run fail (this is a report); a crash, a failed step or a peer that
disagrees with the module does.

    .venv/bin/python bench/run_bench.py --build-dir build/bench
    .venv/bin/python bench/run_bench.py --build-dir build/bench --rewrite   # from the last run's results
"""

from __future__ import annotations

import argparse
import datetime
import json
import os
import pickle
import platform
import re
import subprocess
import sys
import time
from concurrent.futures import ThreadPoolExecutor
from importlib import metadata
from pathlib import Path

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent
sys.path.insert(0, str(HERE))

import python_bench  # noqa: E402
import report  # noqa: E402

DOCUMENT_SIZES = {"1kb": 1024, "1mb": 1024 * 1024, "10mb": 10 * 1024 * 1024}
DOCUMENT = ROOT / "docs" / "benchmarks.md"

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


def core_sampler_factory(build_dir: Path, doc_dir: Path, context: dict):
    """For a core benchmark name, a sampler running it once (>= 0.2 s) in a
    fresh process: seconds of CPU per call. Used to interleave the core with
    the Python-level repeats of the same method. Google Benchmark's context
    (library version, ...) of the first run lands in `context`."""
    binary = build_dir / "bench" / "quorvel_core_bench"
    scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}

    def factory(name: str):
        command = [str(binary), f"--benchmark_filter=^{re.escape(name)}/(min_time|iterations):",
                   "--benchmark_format=json", "--benchmark_repetitions=1", f"--doc-dir={doc_dir}"]
        # The first run picks its iteration count (>= 0.2 s); the later ones
        # reuse it, a tenth larger, and skip Google Benchmark's search.
        iterations: list[int] = []

        def sample() -> float:
            extra = [f"--iterations={iterations[0]}"] if iterations else []
            output = json.loads(subprocess.run(command + extra, check=True, capture_output=True, text=True).stdout)
            runs = [e for e in output["benchmarks"] if e.get("run_type", "iteration") == "iteration"]
            if len(runs) != 1:
                raise RuntimeError(f"core benchmark {name}: expected one run, got {len(runs)}")
            context.setdefault("context", output.get("context", {}))
            if not iterations:
                iterations.append(int(runs[0]["iterations"] * 1.1) + 1)
            return runs[0]["cpu_time"] * scale[runs[0].get("time_unit", "ns")]

        return sample

    return factory


# ------------------------------------------------------------- callgrind


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


def _callgrind(out: Path, command: list[str]) -> None:
    subprocess.run(["valgrind", "--tool=callgrind", f"--callgrind-out-file={out}"] + command, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def _core_per_call(binary: Path, operation: str, workdir: Path) -> float:
    totals = []
    for calls in (0, python_bench.CALLGRIND_CALLS):
        out = workdir / f"core.{operation}.{calls}.out"
        _callgrind(out, [str(binary), operation, str(calls)])
        totals.append(_callgrind_dumps([out])[""])
    return (totals[1] - totals[0]) / python_bench.CALLGRIND_CALLS


def _python_per_call(build_dir: Path, workdir: Path) -> dict[str, float]:
    """Per-call instructions of every module and floor statement, by label; per pose for the companion."""
    for old in workdir.glob("python.out*"):
        old.unlink()
    calls = python_bench.PYTHON_CALLGRIND_CALLS
    _callgrind(workdir / "python.out", [sys.executable, str(HERE / "python_callgrind.py"), "--build-dir",
                                        str(build_dir), "--calls", str(calls)])
    totals = _callgrind_dumps(sorted(workdir.glob("python.out.*")))
    base = totals["pass"]
    # Companion calls: per pose, their few thousand instructions of setup spread over the rows.
    poses = python_bench.CALLGRIND_BATCH_CALLS * python_bench.CALLGRIND_BATCH_ROWS
    return {label: total / poses if label.startswith("batch:") else (total - base) / calls
            for label, total in totals.items() if label and not label.startswith("warm-up ") and label != "pass"}


def _document_instructions(binary: Path, path: Path, workdir: Path) -> float:
    """Instructions for reading one document: one parse minus none."""
    counts = []
    for calls in (0, 1):
        out = workdir / f"core.parse_file.{path.stem}.{calls}.out"
        _callgrind(out, [str(binary), "parse_file", str(calls), str(path)])
        counts.append(_callgrind_dumps([out])[""])
    return float(counts[1] - counts[0])


def run_callgrind(build_dir: Path, doc_dir: Path) -> report.Callgrind:
    """Instructions per call: (total at N calls - total at 0 calls) / N for the
    core; for Python statements, (labelled dump - empty-loop dump) / N."""
    binary = build_dir / "bench" / "quorvel_callgrind_driver"
    workdir = build_dir / "callgrind"
    workdir.mkdir(exist_ok=True)
    operations = list(report.CORE_OPERATION.values())
    log(f"callgrind: {len(operations)} core operations (0 and {python_bench.CALLGRIND_CALLS} calls each) and the "
        f"Python-level statements ({python_bench.PYTHON_CALLGRIND_CALLS} calls each)")
    # Instruction counts do not depend on load, so the runs may overlap.
    with ThreadPoolExecutor(max_workers=2) as pool:
        python_job = pool.submit(_python_per_call, build_dir, workdir)
        core_jobs = {op: pool.submit(_core_per_call, binary, op, workdir) for op in operations}
        # Not the 10 MB one: a billion instructions under callgrind cost a minute.
        document_jobs = {size: pool.submit(_document_instructions, binary, doc_dir / f"{size}.json", workdir)
                         for size, size_bytes in DOCUMENT_SIZES.items() if size_bytes <= 1024 * 1024}
        core = {op: job.result() for op, job in core_jobs.items()}
        documents = {size: job.result() for size, job in document_jobs.items()}
        python = python_job.result()
    return report.Callgrind(core, python, documents)


# ---------------------------------------------------------------- the run


def _output(command: list[str], cwd: Path = ROOT) -> str:
    try:
        return subprocess.run(command, check=True, capture_output=True, text=True, cwd=cwd).stdout.strip()
    except (OSError, subprocess.CalledProcessError):
        return ""


def _cpu_model() -> str:
    try:
        for line in Path("/proc/cpuinfo").read_text().splitlines():
            if line.startswith("model name"):
                return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return platform.processor() or "unknown"


def _compiler(build_dir: Path) -> str:
    cache = (build_dir / "CMakeCache.txt").read_text()
    path = re.search(r"^CMAKE_CXX_COMPILER:\w+=(.*)$", cache, re.MULTILINE).group(1)
    version = _output([path, "--version"])
    return version.splitlines()[0] if version else path


def _google_benchmark(context: dict) -> str:
    version = context.get("context", {}).get("library_version")
    if version:
        return version
    # Older releases do not report their version; the Debian package does.
    package = _output(["dpkg-query", "-W", "-f=${Version}", "libbenchmark-dev"])
    return f"{package} (Debian package libbenchmark-dev)" if package else "unknown"


def run_info(build_dir: Path, started: str, load_start, benchmark_context: dict) -> report.RunInfo:
    import numpy  # noqa: PLC0415
    import scipy  # noqa: PLC0415

    # The document itself is rewritten by every run: a regenerated copy alone is not a local change.
    changes = _output(["git", "status", "--porcelain", "--", ".", f":!{DOCUMENT.relative_to(ROOT)}"])
    return report.RunInfo(
        started=started, seconds=time.monotonic() - STARTED, cpu=_cpu_model(), cores=os.cpu_count() or 0,
        load_start=load_start, load_end=os.getloadavg(),
        kernel=f"{platform.system()} {platform.release()} {platform.machine()}", compiler=_compiler(build_dir),
        python=platform.python_version(), numpy=numpy.__version__, scipy=scipy.__version__,
        google_benchmark=_google_benchmark(benchmark_context),
        project=metadata.version("quorvel_torso_kinematics"),
        commit=_output(["git", "rev-parse", "--short=12", "HEAD"]) or "unknown", dirty=bool(changes))


def measure(build_dir: Path) -> report.Results:
    started = datetime.datetime.now().astimezone().strftime("%Y-%m-%d %H:%M:%S %Z")
    load_start = os.getloadavg()
    doc_dir = build_dir / "documents"
    documents = write_documents(doc_dir)
    callgrind = run_callgrind(build_dir, doc_dir)

    log("Python-level timings (module, floor, core, peers; interleaved repeats)")
    context: dict = {}
    sampler = core_sampler_factory(build_dir, doc_dir, context)
    python = python_bench.run(python_bench.load_floor(build_dir), documents, sampler, progress=log)
    from quorvel_torso_kinematics import QuorvelArmKinematics  # noqa: PLC0415

    for size, text in documents.items():
        arm = QuorvelArmKinematics.from_json(text)
        if arm.arm_arc() != 0.7 or arm.coupler_arc() != 0.5:
            raise AssertionError(f"from_json read the {size} document wrongly")

    log("array companion (per pose, peers, memory, threads, NumPy inputs to the main module)")
    batch = python_bench.run_batch(sampler, progress=log)
    return report.Results(run_info(build_dir, started, load_start, context), python, callgrind, batch)


def main() -> int:
    parser = argparse.ArgumentParser(description="Benchmark report for quorvel_torso_kinematics")
    parser.add_argument("--build-dir", type=Path, default=Path("build/bench"))
    parser.add_argument("--rewrite", action="store_true",
                        help="write the report again from the last run's results, measuring nothing")
    args = parser.parse_args()
    build_dir = args.build_dir.resolve()
    saved = build_dir / "results.pickle"

    if args.rewrite:
        results = pickle.loads(saved.read_bytes())
    else:
        results = measure(build_dir)
        saved.write_bytes(pickle.dumps(results))

    built = report.build_report(results)
    print("\n".join(results.python.peer_checks + results.batch.checks))
    print(report.render_text(built), end="")
    DOCUMENT.write_text(report.render_markdown(built, results))
    (build_dir / "summary.md").write_text(report.render_summary(results))
    print(f"\nwrote {DOCUMENT.relative_to(ROOT)} and {(build_dir / 'summary.md')}")
    print(f"bench finished in {time.monotonic() - STARTED:.0f} s")
    return 0


if __name__ == "__main__":
    sys.exit(main())
