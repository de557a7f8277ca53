"""The benchmark report's writer, fed made-up results (no benchmark runs): every
section, table and goal line reaches docs/benchmarks.md and the console, and
every failing goal carries a note worded from the run's numbers."""

import pathlib
import sys

import pytest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "bench"))

import python_bench as pb  # noqa: E402
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
         "companion neck fk and ik >= 10x SciPy", "peak RSS <= 1.1 x the arrays"]
NS = 1e-9


def made_up(failing: bool) -> report.Results:
    """Results that meet every goal, or (failing) miss every one."""
    bad = 2.0 if failing else 1.0
    methods, python_counts = [], {}
    for m in pb.methods():
        core = 200 * NS if m.core else None
        module = (core or 0.0) + 100 * NS * bad
        methods.append(pb.MethodTimes(m, module, 100 * NS, core, pure=module * 100 / bad**6 if m.pure else None,
                                      scipy=module * 100 / bad**6 if m.scipy else None, spread=0.1))
        python_counts[f"module:{m.name}"] = (1000 if m.core else 0) + 500 * bad
        python_counts[f"floor:{m.name}"] = 500
    core_counts = {op: 1000.0 for op in report.CORE_OPERATION.values()}
    core_counts["ik_from_direction"] = 4000.0 * bad
    for f in pb.batch_functions():
        python_counts[f"batch:{f.name}"] = 1000 * 1.1 * bad
    sizes = {"1kb": 1024.0, "1mb": 1024.0**2, "10mb": 10 * 1024.0**2}
    documents = {size: {"bytes": n, "core": n * NS * (bad if size == "1mb" else 1), "from_json": n * NS,
                        "json.loads": n * NS * 2 / bad**2, "spread": 0.2} for size, n in sizes.items()}
    python = pb.PythonResults(methods, 20 * NS, [19 * NS, 21 * NS], documents, ["peers agree"])
    callgrind = report.Callgrind(core_counts, python_counts,
                                 {"1kb": 100 * 1024.0, "1mb": 100 * bad * 1024.0**2})
    batch = pb.BatchResults(
        functions=[pb.BatchTimes(f, 110 * NS * bad, 100 * NS, 0.3) for f in pb.batch_functions()],
        peers={"arm fk vs Python loop over arm.fk": (10 * NS, 100 * NS / bad**3),
               "neck fk vs SciPy from_euler('ZYX').as_matrix()": (10 * NS, 200 * NS / bad**4),
               "neck ik vs SciPy from_matrix().as_euler('ZYX')": (10 * NS, 300 * NS / bad**4)},
        main_numpy=[(label, 100 * NS * bad, 100 * NS, goal) for label, _, _, goal in pb.MAIN_NUMPY_ROWS],
        memory={"peak": 1100 * 2.0**20 * (1.4 if failing else 1.0), "arrays": 1024 * 2.0**20, "before": 30 * 2.0**20},
        threads={"one": 0.2, "two": 0.11, "one cpu": 0.2, "two cpu": 0.21}, load=[(1.0, 1.0, 1.0), (2.0, 2.0, 2.0)],
        checks=["SciPy agrees"], spreads={"arm.ik(R)": 0.05})
    info = report.RunInfo("2025-01-02 03:04:05 UTC", 600.0, "Test CPU @ 1 GHz", 2, (1.5, 1.0, 0.5), (3.5, 2.0, 1.0),
                          "Linux 6.1 x86_64", "g++ 12", "3.13.0", "2.1", "1.14", "1.7.1", "0.1.0", "abc123",
                          dirty=failing)
    return report.Results(info, python, callgrind, batch)


@pytest.fixture(params=[False, True], ids=["passing", "failing"])
def run(request):
    results = made_up(request.param)
    built = report.build_report(results)
    return request.param, results, built, report.render_markdown(built, results)


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
    _, _, _, document = run
    assert document.startswith("# Benchmarks\n") and "do not edit it by hand" in document
    for title in SECTIONS:
        assert f"\n## {title}\n" in document, title
    tables = first_cells(document)

    def rows(prefix: str) -> list[str]:
        [title] = [title for title in tables if title.startswith(prefix)]
        return tables[title]

    methods = [m.name for m in pb.methods()]
    functions = [f.name for f in pb.batch_functions()]
    assert rows("Time per call") == methods and rows("Instructions per call") == methods
    assert rows("Per pose against the core (time") == functions
    assert rows("Per pose against the core (instructions") == functions
    assert rows("ndarray against list") == [label for label, *_ in pb.MAIN_NUMPY_ROWS]
    assert rows("Documents") == ["1kb", "1mb", "10mb"]
    assert rows("Core per call") == list(report.CORE_OPERATION)
    assert len(rows("Against SciPy")) == 3 and len(rows("Memory")) == 4 and len(rows("Threads")) == 2
    assert len(rows("Spread of the repeats")) == 5


def test_run_facts_are_in_the_document(run):
    failing, _, _, document = run
    for fact in ("2025-01-02 03:04:05 UTC", "Test CPU @ 1 GHz", "| cores | 2 |", "1.50 1.00 0.50", "3.50 2.00 1.00",
                 "Linux 6.1", "g++ 12", "| Google Benchmark | 1.7.1 |", "peers agree", "SciPy agrees"):
        assert fact in document, fact
    assert ("0.1.0, commit abc123 + local changes" in document) == failing


def test_one_line_per_goal_and_a_note_under_each_failure(run):
    failing, _, built, document = run
    lines = [line for line in document.splitlines() if line.startswith("- **")]
    assert len(lines) == len(GOALS)
    for goal, line in zip(sorted(GOALS), sorted(line.split("** ", 1)[1] for line in lines)):
        assert line.startswith(goal), (goal, line)
    verdict = "FAIL" if failing else "PASS"
    assert all(line.startswith(f"- **{verdict}**") for line in lines)
    notes = [line for line in document.splitlines() if line.startswith("  What it means: ")]
    assert len(notes) == (len(GOALS) if failing else 0)
    assert all(len(note) > 60 for note in notes)
    text = report.render_text(built)
    assert all(report.goal_line(goal) in text for goal in built.goals)


def test_failure_notes_carry_the_runs_numbers():
    results = made_up(True)
    notes = {goal.name: goal.note for goal in report.build_report(results).goals}
    assert "1540 MiB for 1024 MiB" in notes["peak RSS <= 1.1 x the arrays, fk over 10,000,000 poses"]
    overhead = notes["binding overhead (module - core) <= 1.15 x floor, every method (time)"]
    assert f"{len(pb.methods())} of {len(pb.methods())} methods" in overhead
    assert "8000 / 1000" in next(g.detail for g in report.build_report(results).goals if "callgrind" in g.name)


def test_summary_is_one_table_of_the_usual_calls():
    summary = report.render_summary(made_up(False))
    table = [line for line in summary.splitlines() if line.startswith("|")]
    assert len(table) == 2 + 5 + 4 + 3  # header, rule; usual calls, NumPy against lists, companion against peers
    for call in ("`arm.fk(theta_a, theta_b)`", "`arm.ik(r_target)`", "`arm.ik_from_direction(v3)`",
                 "`neck.fk(joints)`", "`neck.ik(r)`", "SciPy", "a Python loop calling `arm.fk`"):
        assert call in summary, call
    assert "| `arm.fk(theta_a, theta_b)` | 300 ns |" in summary
