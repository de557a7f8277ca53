"""How well conditioned the arm is, where it can go.

Draws conditioning.png for the left preset, or for one geometry given by flags or
by a geometry document, in two panels:

- joint space: the condition number of the direction Jacobian (1 is best) at every
  closing joint pair, with the curves where it is infinite drawn and named:
  serial_a = 0 and serial_b = 0 (an input arm in line with its coupler: two
  inverse solutions meet there) and parallel = 0 (the couplers stretched or
  folded: the loop stops closing and a followed path loses its solution);
- pointing directions: at every reachable direction, the best condition any of
  its joint pairs gives, the edge of the reachable set (workspace_margin = 0) and
  the images of the three curves.

    python examples/conditioning_map.py --out out
    python examples/conditioning_map.py --arm-arc 0.9 --coupler-arc 0.6 --resolution 241
"""

from __future__ import annotations

import argparse
import math
from collections.abc import Sequence
from typing import TYPE_CHECKING, Any

import numpy as np
from numpy.typing import NDArray

import quorvel_torso_kinematics_batch as batch
from geometry_options import (
    NamedArm,
    OneLineParser,
    add_geometry_and_output,
    exit_status,
    make_output_directory,
    save,
    select_arms,
)
from quorvel_torso_kinematics import QuorvelArmKinematics

if TYPE_CHECKING:
    from matplotlib.axes import Axes

FILE = "conditioning.png"
DPI = 100
DEFAULT_RESOLUTION = 361
# Condition numbers drawn on a log scale from 1 to this; worse ones take the last colour.
WORST_SHOWN = 100.0
CURVES: dict[str, dict[str, Any]] = {
    "serial_a": {"colors": "#d55e00", "linestyles": "solid"},
    "serial_b": {"colors": "#cc79a7", "linestyles": "dashed"},
    "parallel": {"colors": "#000000", "linestyles": "dotted"},
}
EDGE_STYLE: dict[str, Any] = {"colors": "#0072b2", "linewidths": 1.5}


def resolution_value(text: str) -> int:
    value = int(text)
    if not 16 <= value <= 1441:
        raise argparse.ArgumentTypeError(f"must be between 16 and 1441 (got {value})")
    return value


def joint_grid(resolution: int) -> NDArray[np.float64]:
    axis = np.linspace(-math.pi, math.pi, resolution)
    return np.stack(np.meshgrid(axis, axis, indexing="xy"), axis=-1)  # [θ_B row][θ_A column] = (θ_A, θ_B)


def direction_grid(resolution: int) -> tuple[NDArray[np.float64], NDArray[np.float64], NDArray[np.float64]]:
    lon = np.linspace(-180.0, 180.0, resolution)
    lat = np.linspace(-90.0, 90.0, resolution // 2 + 1)
    lon_r, lat_r = np.meshgrid(np.radians(lon), np.radians(lat), indexing="xy")
    v = np.stack([np.cos(lat_r) * np.cos(lon_r), np.cos(lat_r) * np.sin(lon_r), np.sin(lat_r)], axis=-1)
    return lon, lat, v


def lon_lat(v: NDArray[np.float64]) -> tuple[NDArray[np.float64], NDArray[np.float64]]:
    return np.degrees(np.arctan2(v[..., 1], v[..., 0])), np.degrees(np.arcsin(np.clip(v[..., 2], -1.0, 1.0)))


def best_condition(arm: QuorvelArmKinematics, v: NDArray[np.float64]) -> NDArray[np.float64]:
    """At each direction, the smallest condition number among the joint pairs that reach it (NaN where none)."""
    pairs, _, reaches = batch.direction_candidates(arm, v)
    condition = np.where(reaches, batch.singularity_measures(arm, pairs).condition, np.inf)
    best = condition.min(axis=-1)
    return np.where(reaches.any(axis=-1), best, np.nan)


def draw_joint_space(axes: Axes, arm: QuorvelArmKinematics, resolution: int) -> list[Any]:
    q = joint_grid(resolution)
    m = batch.singularity_measures(arm, q)
    axis = q[0, :, 0]
    image = axes.pcolormesh(axis, axis, np.log10(np.minimum(m.condition, WORST_SHOWN)), vmin=0.0,
                            vmax=math.log10(WORST_SHOWN), cmap="viridis", shading="auto")
    paths = []
    for name, style in CURVES.items():
        paths.append(axes.contour(axis, axis, getattr(m, name), levels=[0.0], linewidths=1.3, **style))
        axes.plot([], [], color=style["colors"], linestyle=style["linestyles"], label=f"{name} = 0")
    axes.set_xlabel(r"$\theta_A$ (rad)")
    axes.set_ylabel(r"$\theta_B$ (rad)")
    axes.set_title("closing joint pairs (grey: the loop does not close)")
    axes.set_facecolor("#e8e8e8")
    axes.legend(loc="upper right", fontsize=8)
    return [image, paths]


def draw_directions(axes: Axes, arm: QuorvelArmKinematics, resolution: int, joint_curves: list[Any]) -> None:
    lon, lat, v = direction_grid(resolution)
    condition = best_condition(arm, v)
    axes.pcolormesh(lon, lat, np.log10(np.minimum(condition, WORST_SHOWN)), vmin=0.0, vmax=math.log10(WORST_SHOWN),
                    cmap="viridis", shading="auto")
    axes.contour(lon, lat, batch.workspace_margin(arm, v), levels=[0.0], **EDGE_STYLE)
    axes.plot([], [], color=EDGE_STYLE["colors"], label="edge: workspace_margin = 0")
    # The joint-space curves carried over by the forward kinematics.
    for (name, style), contour in zip(CURVES.items(), joint_curves, strict=True):
        for segment in contour.allsegs[0]:
            directions, closed = batch.direction(arm, segment)
            x, y = lon_lat(directions[closed])
            # Break the line where it wraps around at ±180°.
            x = np.where(np.abs(np.diff(x, prepend=x[:1])) > 180.0, np.nan, x)
            axes.plot(x, y, color=style["colors"], linestyle=style["linestyles"], linewidth=1.0)
    axes.set_xlim(-180, 180)
    axes.set_ylim(-90, 90)
    axes.set_xlabel("longitude of $v_3$ (deg, from +x toward +y)")
    axes.set_ylabel("latitude of $v_3$ (deg, toward +z)")
    axes.set_title("reachable directions: the best condition of their pairs")
    axes.set_facecolor("#e8e8e8")
    axes.legend(loc="lower left", fontsize=8)


def draw(named: NamedArm, resolution: int) -> Any:
    import matplotlib  # noqa: PLC0415 - only when drawing

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt  # noqa: PLC0415

    figure, (left, right) = plt.subplots(1, 2, figsize=(14.0, 5.6))
    image, curves = draw_joint_space(left, named.arm, resolution)
    draw_directions(right, named.arm, resolution, curves)
    bar = figure.colorbar(image, ax=[left, right], fraction=0.03, pad=0.02)
    ticks = [1, 2, 5, 10, 20, 50, 100]
    bar.set_ticks([math.log10(t) for t in ticks], labels=[str(t) for t in ticks[:-1]] + ["100+"])
    bar.set_label("condition number of the direction Jacobian (1 is best)")
    figure.suptitle(f"Conditioning of the {named.label}")
    return figure


def run(argv: Sequence[str]) -> None:
    parser = OneLineParser(description="Draw the arm's condition number over joint space and pointing directions.")
    add_geometry_and_output(parser)
    parser.add_argument("--resolution", type=resolution_value, default=DEFAULT_RESOLUTION,
                        help=f"grid points per joint axis and longitude samples (default {DEFAULT_RESOLUTION})")
    args = parser.parse_args(argv)
    arms = select_arms(
        args,
        lambda: [NamedArm("left preset (arm_arc 0.7, coupler_arc 0.5)", QuorvelArmKinematics.default_left())],
        lambda arm, path: f"arm of {path.name}",
        lambda arm, branch: f"arm (arm_arc {arm.arm_arc():g}, coupler_arc {arm.coupler_arc():g}, {branch} branch)",
    )
    make_output_directory(args.out)
    figure = draw(arms[0], args.resolution)
    save(figure, args.out / FILE, DPI)
    import matplotlib.pyplot as plt  # noqa: PLC0415 - drawing chose the backend

    plt.close(figure)


def main(argv: Sequence[str] | None = None) -> int:
    return exit_status("conditioning_map.py", run, argv)


if __name__ == "__main__":
    raise SystemExit(main())
