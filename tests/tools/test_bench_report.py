"""The benchmark report's writer, fed made-up results (no benchmark runs): every
section, table and goal line reaches docs/benchmarks.md and the console, and
every failing goal carries a note worded from the run's numbers."""

import json
import pathlib
import sys

import pytest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "bench"))

import cases  # noqa: E402
import report  # noqa: E402

SECTIONS = ["Machine", "Versions", "How the figures were taken", "Per-call times", "Instructions per call",
            "Core operations", "Geometry documents", "NumPy inputs to the main module", "Array companion",
            "Run-to-run spread", "Goals"]
GOALS = ["binding overhead (module - core) <= 1.15 x floor, every method (time)",
         "binding overhead (module - core) <= 1.15 x floor in instructions", "callgrind ik_from_direction <= 6.0",
         ">= 10x pure Python for arm fk and neck fk", ">= 50x pure Python for ik_from_direction",
         ">= 20x SciPy for neck fk and ik", "geometry document time linear in size",
         "main module arm.ik(R) with an ndarray", "main module arm.ik_from_direction(v) with an ndarray",
         "main module neck.fk(joints) with an ndarray", "main module neck.ik(R) with an ndarray",
         "companion per pose <= 1.25 x core per call, every function (time)",
         "companion per pose <= 1.25 x core per call in instructions", "companion arm fk >= 4x a Python loop",
         "companion neck fk and ik >= 10x SciPy", "peak RSS <= 1.1 x the arrays",
         "velocities and singularity measures per pose <= 1.5 x companion fk(arm, joints) (time)",
         "velocities and singularity measures per pose <= 1.5 x companion fk(arm, joints) in instructions",
         "follow_path with max_step and joint_limits per pose <= 1.1 x companion follow_path(arm, directions, start) "
         "(time)",
         "follow_path with max_step and joint_limits per pose <= 1.1 x companion follow_path(arm, directions, start) "
         "in instructions",
         "workspace_margin and nearest_reachable_direction per pose <= 20 x companion ik_from_direction(arm, v3) "
         "(time)",
         "workspace_margin and nearest_reachable_direction per pose <= 20 x companion ik_from_direction(arm, v3) "
         "in instructions", "workers=-1 speed-up >= 0.9 x two processes' speed-up, 1,000,000 rows",
         "companion per pose with workers=1 <= 1.03 x the instructions at 78c6847 (before workers)"]
NS = 1e-9
MIB = 2.0**20


def made_up(failing: bool) -> dict:
    """Results in run_bench.py's shape that meet every goal, or (failing) miss every one."""
    bad = 2.0 if failing else 1.0
    core = {op: 1000.0 for op in cases.CORE.values()} | {"ik_from_direction": 4000.0 * bad}
    methods = []
    for m in cases.METHODS:
        module = (200 * NS if m.core else 0.0) + 100 * NS * bad
        methods.append({"name": m.name, "core_benchmark": m.core, "module": module, "floor": 100 * NS,
                        "core": 200 * NS if m.core else None, "pure": module * 100 / bad**6 if m.pure else None,
                        "scipy": module * 100 / bad**6 if m.scipy else None, "spread": 0.1,
                        "module_ir": (1000 if m.core else 0) + 500 * bad, "floor_ir": 500.0,
                        "core_ir": core[cases.CORE[m.core]] if m.core else None})
    sizes = {"1kb": 1024.0, "1mb": 1024.0**2, "10mb": 10 * 1024.0**2}
    instructions = {"1kb": 100 * 1024.0, "1mb": 100 * bad * 1024.0**2}
    return {
        "settings": {"repeats": 5, "min_time": 0.2, "callgrind_calls": 2000, "python_callgrind_calls": 1000,
                     "callgrind_batch_calls": 3, "callgrind_batch_rows": 10_000, "batch_n": 100_000,
                     "memory_n": 10_000_000, "thread_n": 400_000, "typical_bytes": 75, "workers_n": 1_000_000,
                     "baseline_commit": "78c6847"},
        "info": {"started": "2025-01-02 03:04:05 UTC", "seconds": 600.0, "cpu": "Test CPU @ 1 GHz", "cores": 2,
                 "load_start": [1.5, 1.0, 0.5], "load_end": [3.5, 2.0, 1.0], "kernel": "Linux 6.1 x86_64",
                 "compiler": "g++ 12", "python": "3.13.0", "numpy": "2.1", "scipy": "1.14",
                 "google_benchmark": "1.7.1", "project": "0.1.0", "commit": "abc123", "dirty": failing},
        "checks": ["peers agree", "SciPy agrees"], "loop": [19 * NS, 21 * NS], "methods": methods,
        "core": [{"benchmark": name, "operation": op, "ir": core[op]} for name, op in cases.CORE.items()],
        "documents": [{"size": size, "bytes": n, "core": n * NS * (bad if size == "1mb" else 1), "from_json": n * NS,
                       "json.loads": n * NS * 2 / bad**2, "spread": 0.2, "ir": instructions.get(size)}
                      for size, n in sizes.items()],
        "numpy": [{"call": call, "ndarray": 100 * NS * bad, "list": 100 * NS, "goal": goal, "spread": 0.05}
                  for call, _, _, goal in cases.MAIN_NUMPY],
        "companion": [{"name": name, "core_benchmark": benchmark, "per_pose": 110 * NS * bad, "core": 100 * NS,
                       "spread": 0.3, "ir": 1100 * bad, "core_ir": core[cases.CORE[benchmark]],
                       "baseline": [1100, 1000] if name in cases.COMPANION_BASELINE else None}
                      for name, _, benchmark in cases.COMPANION],
        "relative": [{"group": what, "limit": limit, "name": name, "reference": reference, "spread": 0.2,
                      "per_pose": 100 * NS * limit * (1.2 if failing else 0.9), "reference_per_pose": 100 * NS,
                      "ir": 800 * limit * (1.2 if failing else 0.9), "reference_ir": 800}
                     for what, reference, names, limit in cases.COMPANION_RELATIVE for name in names],
        "workers": [{"function": name, "one worker": 0.18, "all workers": 0.18 / (1.2 if failing else 1.8),
                     "one process": 0.2, "two processes": 0.2 / 1.8, "spread": 0.1} for name, _ in cases.WORKERS],
        "workers_cores": 2, "workers_load": [[2.0, 1.5, 1.0], [2.5, 1.75, 1.0]],
        "peers": [{"comparison": label, "ours": 10 * NS, "theirs": theirs, "spread": 0.05} for (label, _, _), theirs
                  in zip(cases.COMPANION_PEERS, [100 * NS / bad**3, 200 * NS / bad**4, 300 * NS / bad**4])],
        "memory": {"peak": 1100 * MIB * (1.4 if failing else 1.0), "arrays": 1024 * MIB, "before": 30 * MIB},
        "threads": {"one": 0.2, "two": 0.11, "one cpu": 0.2, "two cpu": 0.21},
        "companion_load": [[1.0, 1.0, 1.0], [2.0, 2.0, 2.0]]}


@pytest.fixture(params=[False, True], ids=["passing", "failing"])
def run(request, tmp_path, capsys):
    """(failing, results, the document written, what was printed), written as run_bench.py has it written."""
    results = made_up(request.param)
    (tmp_path / "results.json").write_text(json.dumps(results))
    report.write(tmp_path / "results.json", tmp_path / "benchmarks.md")
    return request.param, results, (tmp_path / "benchmarks.md").read_text(), capsys.readouterr().out


def first_cells(document: str) -> dict[str, list[str]]:
    """Each table's title (### heading) and the first cell of each of its rows."""
    tables, title = {}, None
    for line in document.splitlines():
        if line.startswith("### "):
            title = line[4:]
            tables[title] = []
        elif line.startswith("| ") and title is not None:
            tables[title].append(line[2:].split(" | ")[0])
    return {title: cells[1:] for title, cells in tables.items()}  # less the header; the rule has no "| "


def test_every_section_and_table_is_in_the_document(run):
    _, _, document, _ = run
    assert document.startswith("# Benchmarks\n") and "do not edit it by hand" in document
    for title in SECTIONS:
        assert f"\n## {title}\n" in document, title
    tables = first_cells(document)

    def rows(prefix: str) -> list[str]:
        [title] = [title for title in tables if title.startswith(prefix)]
        return tables[title]

    methods = [m.name for m in cases.METHODS]
    functions = [name for name, _, _ in cases.COMPANION]
    assert rows("Time per call") == methods and rows("Instructions per call") == methods
    assert rows("Per pose against the core (time") == functions
    assert rows("Per pose against the core (instructions") == functions
    assert rows("ndarray against list") == [call for call, *_ in cases.MAIN_NUMPY]
    assert rows("Against another companion function") == [
        name for _, _, names, _ in cases.COMPANION_RELATIVE for name in names]
    assert rows("workers=-1 against two processes") == [name for name, _ in cases.WORKERS]
    assert rows("Documents") == ["1kb", "1mb", "10mb"]
    assert rows("Core per call") == list(cases.CORE)
    assert len(rows("Against SciPy")) == 3 and len(rows("Memory")) == 4 and len(rows("Threads")) == 2
    assert len(rows("Spread of the repeats")) == 6


def test_run_facts_are_in_the_document(run):
    failing, _, document, _ = run
    for fact in ("2025-01-02 03:04:05 UTC", "Test CPU @ 1 GHz", "| cores | 2 |", "1.50 1.00 0.50", "3.50 2.00 1.00",
                 "Linux 6.1", "g++ 12", "| Google Benchmark | 1.7.1 |", "peers agree", "SciPy agrees"):
        assert fact in document, fact
    assert ("0.1.0, commit abc123 + local changes" in document) == failing


def test_one_line_per_goal_and_a_note_under_each_failure(run):
    failing, results, document, printed = run
    lines = [line for line in document.splitlines() if line.startswith("- **")]
    assert len(lines) == len(GOALS)
    for goal, line in zip(sorted(GOALS), sorted(line.split("** ", 1)[1] for line in lines)):
        assert line.startswith(goal), (goal, line)
    verdict = "FAIL" if failing else "PASS"
    assert all(line.startswith(f"- **{verdict}**") for line in lines)
    notes = [line for line in document.splitlines() if line.startswith("  What it means: ")]
    assert len(notes) == (len(GOALS) if failing else 0)
    assert all(len(note) > 60 for note in notes)
    assert printed.startswith(document)
    assert all(report.goal_line(goal) in printed for goal in report.goals(results))


def test_failure_notes_carry_the_runs_numbers():
    built = report.goals(made_up(True))
    notes = {goal.name: goal.note for goal in built}
    assert "1540 MiB for 1024 MiB" in notes["peak RSS <= 1.1 x the arrays, fk over 10,000,000 poses"]
    overhead = notes["binding overhead (module - core) <= 1.15 x floor, every method (time)"]
    assert f"{len(cases.METHODS)} of {len(cases.METHODS)} methods" in overhead
    assert "8000 / 1000" in next(g.detail for g in built if "callgrind" in g.name)
    assert "1.20x faster with workers=-1 (2 threads)" in notes["workers=-1 speed-up >= 0.9 x two processes' speed-up, "
                                                               "1,000,000 rows"]
    assert "2200 against 1100 (+100.0%)" in notes["companion per pose with workers=1 <= 1.03 x the instructions at "
                                                  "78c6847 (before workers)"]


def test_summary_is_one_table_of_the_usual_calls():
    summary = report.summary(made_up(False))
    table = [line for line in summary.splitlines() if line.startswith("|")]
    assert len(table) == 2 + 5 + 4 + 3  # header, rule; usual calls, NumPy against lists, companion against peers
    for call in ("`arm.fk(theta_a, theta_b)`", "`arm.ik(r_target)`", "`arm.ik_from_direction(v3)`",
                 "`neck.fk(joints)`", "`neck.ik(r)`", "SciPy", "a Python loop calling `arm.fk`"):
        assert call in summary, call
    assert "| `arm.fk(theta_a, theta_b)` | 300 ns |" in summary
