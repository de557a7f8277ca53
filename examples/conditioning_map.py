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
from workspace_map import unit_vectors

if TYPE_CHECKING:
    from matplotlib.axes import Axes

FILE = "conditioning.png"
DPI = 100
DEFAULT_RESOLUTION = 361
# Condition numbers drawn on a log scale from 1 to this; worse ones take the last colour.
WORST_SHOWN = 100.0
# parallel = 0 is where the loop stops closing: the edge of the closing region.
CURVES: dict[str, dict[str, Any]] = {
    "serial_a": {"colors": "#d62728", "linestyles": "solid"},
    "serial_b": {"colors": "#17becf", "linestyles": "dashed"},
    "parallel": {"colors": "#000000", "linestyles": "dotted"},
}
LABELS = {"serial_a": "serial_a = 0", "serial_b": "serial_b = 0", "parallel": "parallel = 0 (the loop's edge)"}
EDGE_STYLE: dict[str, Any] = {"colors": "#0072b2", "linewidths": 1.5}


def resolution_value(text: str) -> int:
    value = int(text)
    if not 16 <= value <= 1441:
        raise argparse.ArgumentTypeError(f"must be between 16 and 1441 (got {value})")
    return value


def joint_grid(resolution: int) -> NDArray[np.float64]:
    axis = np.linspace(-math.pi, math.pi, resolution)
    return np.stack(np.meshgrid(axis, axis, indexing="xy"), axis=-1)  # [θ_B row][θ_A column] = (θ_A, θ_B)


def direction_grid(arm: QuorvelArmKinematics, resolution: int,
                   centre: float) -> tuple[NDArray[np.float64], NDArray[np.float64], NDArray[np.float64]]:
    """A longitude-latitude grid over the reachable directions with a 10° frame: found on a whole-sphere
    grid about `centre` (degrees, so the region never straddles the seam), then sampled finely."""
    lon = centre + np.linspace(-180.0, 180.0, resolution)
    lat = np.linspace(-90.0, 90.0, resolution // 2 + 1)
    inside = batch.workspace_margin(arm, unit_vectors(lon, lat)) > 0
    if inside.any():
        rows, columns = np.nonzero(inside)
        lon = np.linspace(lon[columns.min()] - 10.0, lon[columns.max()] + 10.0, resolution)
        lat = np.linspace(max(-90.0, lat[rows.min()] - 10.0), min(90.0, lat[rows.max()] + 10.0), resolution)
    return lon, lat, unit_vectors(lon, lat)


def lon_lat(v: NDArray[np.float64], centre: float) -> tuple[NDArray[np.float64], NDArray[np.float64]]:
    lon = np.degrees(np.arctan2(v[..., 1], v[..., 0]))
    lon = centre + (lon - centre + 180.0) % 360.0 - 180.0
    return lon, np.degrees(np.arcsin(np.clip(v[..., 2], -1.0, 1.0)))


def best_condition(arm: QuorvelArmKinematics, v: NDArray[np.float64]) -> NDArray[np.float64]:
    """At each direction, the smallest condition number among the joint pairs that reach it (NaN where none)."""
    pairs, _, reaches = batch.direction_candidates(arm, v)
    condition = np.where(reaches, batch.singularity_measures(arm, pairs).condition, np.inf)
    best = condition.min(axis=-1)
    return np.where(reaches.any(axis=-1), best, np.nan)


def onto_edge(arm: QuorvelArmKinematics, axis: NDArray[np.float64], points: NDArray[np.float64]) -> NDArray[np.float64]:
    """Contour points of the closing region's edge, each moved onto the edge itself: a point lies on a grid
    edge between a closing node and one that is not, and bisection along it finds where closing stops."""
    step = axis[1] - axis[0]
    grid = (points - axis[0]) / step
    a, b = axis[0] + np.floor(grid) * step, axis[0] + np.ceil(grid) * step
    a_closes = batch.is_reachable_joints(arm, a)[:, None]
    inside, outside = np.where(a_closes, a, b), np.where(a_closes, b, a)
    for _ in range(40):
        middle = (inside + outside) / 2
        closes = batch.is_reachable_joints(arm, middle)[:, None]
        inside, outside = np.where(closes, middle, inside), np.where(closes, outside, middle)
    return np.asarray(inside)


def singular_curves(arm: QuorvelArmKinematics, axis: NDArray[np.float64], m: Any) -> dict[str, list[NDArray[np.float64]]]:
    """The joint pairs where each measure is zero, as polylines."""
    import contourpy  # noqa: PLC0415 - matplotlib's own contouring, without a figure

    curves = {}
    for name in CURVES:
        field = getattr(m, name)
        if name == "parallel":
            # Outside the closing region the measures are NaN: parallel went through 0 at its edge, so
            # the far side takes the other sign.
            field = np.where(np.isnan(field), -np.sign(np.nanmean(field)), field)
        lines = contourpy.contour_generator(axis, axis, field).lines(0.0)
        segments = [np.asarray(line) for line in lines if len(line) > 1]
        curves[name] = [onto_edge(arm, axis, s) for s in segments] if name == "parallel" else segments
    return curves


def draw_joint_space(axes: Axes, arm: QuorvelArmKinematics, resolution: int) -> tuple[Any, dict[str, Any]]:
    q = joint_grid(resolution)
    m = batch.singularity_measures(arm, q)
    axis = q[0, :, 0]
    image = axes.pcolormesh(axis, axis, np.log10(np.minimum(m.condition, WORST_SHOWN)), vmin=0.0,
                            vmax=math.log10(WORST_SHOWN), cmap="viridis", shading="auto")
    curves = singular_curves(arm, axis, m)
    for name, style in CURVES.items():
        for segment in curves[name]:
            axes.plot(segment[:, 0], segment[:, 1], color=style["colors"], linestyle=style["linestyles"],
                      linewidth=1.6)
        axes.plot([], [], color=style["colors"], linestyle=style["linestyles"], label=LABELS[name])
    axes.set_xlabel(r"$\theta_A$ (rad)")
    axes.set_ylabel(r"$\theta_B$ (rad)")
    axes.set_title("closing joint pairs (grey: the loop does not close)")
    axes.set_facecolor("#e8e8e8")
    axes.legend(loc="upper right", fontsize=8)
    return image, curves


def draw_directions(axes: Axes, arm: QuorvelArmKinematics, resolution: int, joint_curves: dict[str, Any]) -> None:
    rest = np.array(arm.direction(0.0, 0.0))
    centre = float(np.degrees(np.arctan2(rest[1], rest[0])))
    lon, lat, v = direction_grid(arm, resolution, centre)
    condition = best_condition(arm, v)
    axes.pcolormesh(lon, lat, np.log10(np.minimum(condition, WORST_SHOWN)), vmin=0.0, vmax=math.log10(WORST_SHOWN),
                    cmap="viridis", shading="auto")
    axes.contour(lon, lat, batch.workspace_margin(arm, v), levels=[0.0], **EDGE_STYLE)
    axes.plot([], [], color=EDGE_STYLE["colors"], label="edge: workspace_margin = 0")
    # The joint-space curves carried over by the forward kinematics.
    for name, style in CURVES.items():
        for segment in joint_curves[name]:
            # Rows that do not close are NaN, which breaks the line there rather than bridging the gap; so
            # is a jump, where the curve passes a pair whose elbows coincide and v_3 changes side.
            directions, _ = batch.direction(arm, segment)
            jumps = np.linalg.norm(np.diff(directions, axis=0), axis=1) > 0.1
            directions[1:][jumps] = np.nan
            x, y = lon_lat(directions, centre)
            # Break the line where it wraps around at ±180°.
            x = np.where(np.abs(np.diff(x, prepend=x[:1])) > 180.0, np.nan, x)
            axes.plot(x, y, color=style["colors"], linestyle=style["linestyles"], linewidth=1.0)
    axes.set_xlim(lon[0], lon[-1])
    axes.set_ylim(lat[0], lat[-1])
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
