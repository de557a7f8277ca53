"""Instruction counts per Python-level call, module and floor, under callgrind.

Run by bench/run_bench.py as

    valgrind --tool=callgrind --callgrind-out-file=DIR/python.out \\
        python bench/python_callgrind.py --build-dir build/bench --calls N

For every statement of the Python-level timings (module and floor, no peers)
it warms the statement up (so the interpreter's specialisations are in
place), dumps callgrind's counts to discard them, runs the statement N times
in timeit's loop and dumps again under the statement's label. run_bench.py
reads the labelled dumps; per call = (count - count of the empty loop) / N.
Instruction counts do not depend on what else the machine is doing, so they
cross-check the timings on a busy machine. The array companion's functions
follow, each run CALLGRIND_BATCH_CALLS times over CALLGRIND_BATCH_ROWS poses
and dumped under "batch:NAME" (per pose = count / (calls x rows)).
"""

from __future__ import annotations

import argparse
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))

import python_bench  # noqa: E402

WARM_UP = 200


def statements() -> list[tuple[str, str]]:
    """(label, statement) pairs: the empty loop, then module and floor of every method."""
    pairs = [("pass", "pass")]
    for method in python_bench.methods():
        pairs.append((f"module:{method.name}", method.module))
        pairs.append((f"floor:{method.name}", method.floor))
    return pairs


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("--build-dir", type=Path, required=True)
    parser.add_argument("--calls", type=int, default=1000)
    args = parser.parse_args()

    floor = python_bench.load_floor(args.build_dir)
    ns = python_bench.namespace(floor, None, {})
    for label, stmt in statements():
        timer = python_bench._timer(stmt, ns)  # noqa: SLF001
        timer.timeit(WARM_UP)
        floor.callgrind_dump(f"warm-up {label}")
        timer.timeit(args.calls)
        floor.callgrind_dump(label)
    batch_ns = python_bench.batch_namespace(None, python_bench.CALLGRIND_BATCH_ROWS)
    for function in python_bench.batch_functions():
        timer = python_bench._timer(function.statement, batch_ns)  # noqa: SLF001
        timer.timeit(2)
        floor.callgrind_dump(f"warm-up batch:{function.name}")
        timer.timeit(python_bench.CALLGRIND_BATCH_CALLS)
        floor.callgrind_dump(f"batch:{function.name}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
