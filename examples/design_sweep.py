"""Which arm geometry serves a pointing cone best? A sweep on Dask.

For every (arm_arc, coupler_arc) of a grid, over directions spread evenly in a
cone about a required pointing axis: the share of the cone the arm reaches
(ik_from_direction), and the mean and worst condition number of the direction
Jacobian over the reached part (singularity_measures; 1 is best). The poses are
a dask.array cut into blocks; each block is one companion call, which gives up
the interpreter lock, so Dask's threaded scheduler runs blocks in parallel, and
a distributed cluster of processes gets the arms pickled to its workers.

Prints a table and the best geometry, and draws a heat map of the reached share
(the cells whose share is within 1% of the best, outlined).

    python examples/design_sweep.py --out out                       # threads, every core
    python examples/design_sweep.py --threads 1                     # one thread
    python examples/design_sweep.py --out out --cluster 2           # two worker processes
    python examples/design_sweep.py --grid 12 --directions 20000
"""

from __future__ import annotations

import argparse
import importlib
import math
import sys
import time
from collections.abc import Iterator
from contextlib import contextmanager
from pathlib import Path
from typing import Any, NamedTuple

import numpy as np
from numpy.typing import NDArray

import quorvel_torso_kinematics_batch as batch
from quorvel_torso_kinematics import QuorvelArmKinematics

# Dask's functions carry no annotations: reached through Any, so the rest stays strictly typed.
dask: Any = importlib.import_module("dask")
da: Any = importlib.import_module("dask.array")

AXIS = (0.6, 0.5, 0.6)  # the direction the arm must point around, base frame
HALF_ANGLE = 0.35  # the cone's half angle, radians
ARM_ARCS = (0.45, 1.15)
COUPLER_ARCS = (0.3, 0.9)
PICTURE = "design_sweep.png"


class Score(NamedTuple):
    arm_arc: float
    coupler_arc: float
    share: float  # of the cone's directions, reached
    mean_condition: float  # over the reached directions; inf if any is singular
    worst_condition: float


def cone_directions(count: int, axis: tuple[float, float, float] = AXIS, half_angle: float = HALF_ANGLE) -> NDArray[np.float64]:
    """Unit directions spread evenly (a Fibonacci spiral) over the cone's cap."""
    u = np.asarray(axis, dtype=np.float64) / np.linalg.norm(axis)
    helper = np.array([1.0, 0.0, 0.0]) if abs(u[0]) < 0.9 else np.array([0.0, 1.0, 0.0])
    e1 = np.cross(u, helper)
    e1 /= np.linalg.norm(e1)
    e2 = np.cross(u, e1)
    k = np.arange(count) + 0.5
    cos_t = 1.0 - (1.0 - math.cos(half_angle)) * k / count  # equal areas of the cap
    sin_t = np.sqrt(1.0 - cos_t * cos_t)
    phi = k * math.pi * (3.0 - math.sqrt(5.0))
    return np.asarray(cos_t[:, None] * u + sin_t[:, None] * (np.cos(phi)[:, None] * e1 + np.sin(phi)[:, None] * e2))


def block_totals(directions: NDArray[np.float64], arm: QuorvelArmKinematics) -> NDArray[np.float64]:
    """[directions, reached, sum of condition, worst condition] of one block, as a (1, 4) array."""
    joints, found = batch.ik_from_direction(arm, directions)
    condition = batch.singularity_measures(arm, joints[found]).condition
    worst = float(condition.max()) if condition.size else 0.0
    return np.array([[len(directions), found.sum(), condition.sum(), worst]])


def lazy_totals(arm: QuorvelArmKinematics, directions: Any) -> Any:
    """One arm's block totals over a dask.array of directions: a lazy (blocks, 4) array. They are
    reduced on the client, since a Dask reduction per field would add four tasks a block, and with
    them most of a sweep's time."""
    return directions.map_blocks(block_totals, arm, chunks=(1, 4), dtype=np.float64)


def grid(size: int) -> list[tuple[float, float]]:
    arm = np.linspace(*ARM_ARCS, size)
    coupler = np.linspace(*COUPLER_ARCS, size)
    return [(float(a), float(c)) for a in arm for c in coupler]


def sweep(size: int, count: int, block: int) -> list[Score]:
    """Every geometry of the grid, computed in one Dask graph by whatever scheduler is active."""
    directions = da.from_array(cone_directions(count), chunks=(block, 3))
    cells = grid(size)
    lazy = [lazy_totals(QuorvelArmKinematics(a, c), directions) for a, c in cells]
    scores = []
    for (a, c), totals in zip(cells, dask.compute(*lazy), strict=True):
        total, reached, condition_sum = totals[:, :3].sum(axis=0)
        worst = totals[:, 3].max()
        mean = condition_sum / reached if reached else math.nan
        scores.append(Score(a, c, reached / total, mean, worst if reached else math.nan))
    return scores


@contextmanager
def scheduler(cluster: int, threads: int | None = None) -> Iterator[str]:
    """Dask's threaded scheduler (cluster 0; every core, or `threads`), or a local cluster of that many
    single-threaded worker processes."""
    if cluster == 0:
        with dask.config.set(scheduler="threads", num_workers=threads):
            yield f"{threads or 'all'} thread(s)"
        return
    distributed: Any = importlib.import_module("dask.distributed")  # only when asked for
    with distributed.LocalCluster(n_workers=cluster, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as local:
        with distributed.Client(local):
            yield f"{cluster} worker processes"


def best(scores: list[Score]) -> Score:
    """The largest share; among shares within 1% of it, the smallest mean condition."""
    top = max(s.share for s in scores)
    return min((s for s in scores if s.share >= top - 0.01), key=lambda s: s.mean_condition)


def draw(scores: list[Score], size: int, path: Path) -> None:
    import matplotlib  # noqa: PLC0415 - only for the picture

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt  # noqa: PLC0415

    share = np.array([s.share for s in scores]).reshape(size, size)
    top = best(scores)
    figure, axes = plt.subplots(figsize=(6.4, 5.2), dpi=100)
    extent = (COUPLER_ARCS[0], COUPLER_ARCS[1], ARM_ARCS[0], ARM_ARCS[1])
    image = axes.imshow(share, origin="lower", extent=extent, aspect="auto", vmin=0.0, vmax=1.0, cmap="viridis")
    axes.contour(np.linspace(*COUPLER_ARCS, size), np.linspace(*ARM_ARCS, size), share,
                 levels=[share.max() - 0.01], colors="white", linewidths=1.2)
    axes.plot(top.coupler_arc, top.arm_arc, marker="*", color="red", markersize=14,
              label=f"best: arm {top.arm_arc:.3f}, coupler {top.coupler_arc:.3f}")
    axes.set_xlabel("coupler_arc (rad)")
    axes.set_ylabel("arm_arc (rad)")
    axes.set_title(f"Share of the {HALF_ANGLE:.2f} rad cone about {AXIS} reached")
    axes.legend(loc="lower right")
    figure.colorbar(image, ax=axes, label="share reached")
    figure.tight_layout()
    figure.savefig(path)
    plt.close(figure)


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--grid", type=int, default=8, help="geometries per arc (default 8)")
    parser.add_argument("--directions", type=int, default=4000, help="directions in the cone (default 4000)")
    parser.add_argument("--block", type=int, default=5000, help="directions per Dask block (default 5000)")
    parser.add_argument("--cluster", type=int, default=0, help="worker processes; 0: Dask's threads (default)")
    parser.add_argument("--threads", type=int, help="with --cluster 0: threads (default: every core)")
    parser.add_argument("--out", type=Path, help="directory for design_sweep.png (no picture without it)")
    args = parser.parse_args(argv)
    if args.grid < 2 or args.directions < 1 or args.block < 1 or args.cluster < 0:
        parser.error("--grid must be >= 2, --directions and --block >= 1, --cluster >= 0")

    with scheduler(args.cluster, args.threads) as name:
        started = time.perf_counter()
        scores = sweep(args.grid, args.directions, args.block)
        seconds = time.perf_counter() - started
    print(f"{len(scores)} geometries x {args.directions} directions on {name}: {seconds:.2f} s")
    print(f"{'arm_arc':>8} {'coupler':>8} {'share':>7} {'mean cond':>10} {'worst cond':>11}")
    for s in scores:
        print(f"{s.arm_arc:8.3f} {s.coupler_arc:8.3f} {s.share:7.3f} {s.mean_condition:10.3f} {s.worst_condition:11.3f}")
    top = best(scores)
    print(f"best: arm_arc {top.arm_arc:.3f}, coupler_arc {top.coupler_arc:.3f}: reaches {top.share:.1%} of the cone, "
          f"condition mean {top.mean_condition:.2f}, worst {top.worst_condition:.2f}")
    if args.out is not None:
        args.out.mkdir(parents=True, exist_ok=True)
        draw(scores, args.grid, args.out / PICTURE)
        print(args.out / PICTURE)
    return 0


if __name__ == "__main__":
    sys.exit(main())
