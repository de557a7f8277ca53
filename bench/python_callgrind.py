"""Instruction counts of the Python-level statements, run by run_bench.py under
callgrind (valgrind --tool=callgrind ... python_callgrind.py BUILD_DIR).

Each statement is warmed up (so the interpreter's specialisations are in
place), callgrind's counts so far are dumped and discarded, then the statement
runs N times in timeit's loop and the counts are dumped under its label:
"pass" (the empty loop), "module:NAME" and "floor:NAME" for every method, and
"batch:NAME" for every companion function (CALLGRIND_BATCH_CALLS calls over
CALLGRIND_BATCH_ROWS poses).
"""

import sys
from pathlib import Path

import cases
import timing

WARM_UP = 200


def main(build_dir: Path) -> None:
    floor = cases.load_floor(build_dir)

    def count(label: str, stmt: str, ns: dict, warm_up: int, calls: int) -> None:
        timer = timing.timer(stmt, ns)
        timer.timeit(warm_up)
        floor.callgrind_dump(f"warm-up {label}")
        timer.timeit(calls)
        floor.callgrind_dump(label)

    module, floor_ns = cases.namespace("module"), cases.namespace("floor", floor)
    count("pass", "pass", module, WARM_UP, cases.PYTHON_CALLGRIND_CALLS)
    for method in cases.METHODS:
        count(f"module:{method.name}", method.statement, module, WARM_UP, cases.PYTHON_CALLGRIND_CALLS)
        count(f"floor:{method.name}", method.statement, floor_ns, WARM_UP, cases.PYTHON_CALLGRIND_CALLS)
    batch = cases.batch_namespace(cases.CALLGRIND_BATCH_ROWS)
    for name, stmt, _ in cases.COMPANION:
        count(f"batch:{name}", stmt, batch, 2, cases.CALLGRIND_BATCH_CALLS)


if __name__ == "__main__":
    main(Path(sys.argv[1]))
