"""Workspace pictures for the arms.

Draws, for the left and right presets or for one geometry given by flags or by a
geometry document, which joint pairs close the loop and which pointing
directions the arm can reach, and writes them as PNG files:

    python examples/workspace_map.py --out out
    python examples/workspace_map.py --arm-arc 0.8 --coupler-arc 0.6 --branch negative --mirror
    python examples/workspace_map.py --document arm.json --resolution 181
"""

from __future__ import annotations

import argparse
import json
import math
import sys
from collections.abc import Sequence
from dataclasses import dataclass
from pathlib import Path
from typing import TYPE_CHECKING, NoReturn

import numpy as np
from numpy.typing import NDArray

import quorvel_torso_kinematics_batch as batch
from quorvel_torso_kinematics import QuorvelArmKinematics

if TYPE_CHECKING:
    from matplotlib.axes import Axes
    from matplotlib.figure import Figure

JOINT_FILE = "workspace_joint_space.png"
DIRECTION_FILE = "workspace_directions.png"
DPI = 100
DEFAULT_RESOLUTION = 361
MIN_RESOLUTION = 8
MAX_RESOLUTION = 1441
# At most this many forward images per axis are overlaid as dots: enough to see
# that they fill the shaded region without hiding it.
OVERLAY_SAMPLES = 48

UNREACHED_COLOUR = "#e8e8e8"
REACHED_COLOUR = "#3b7dd8"
OVERLAY_COLOUR = "#d8572a"


Arm = QuorvelArmKinematics


@dataclass(frozen=True)
class NamedArm:
    label: str
    arm: Arm


class UsageError(Exception):
    """A bad input, reported as one line on standard error."""


class OneLineParser(argparse.ArgumentParser):
    # argparse prints the whole usage before its error; one line is easier to
    # read in logs and to check in tests.
    def error(self, message: str) -> NoReturn:
        raise UsageError(message)


def one_line(text: str) -> str:
    # Document errors quote the offending text, which may hold line breaks.
    return text.replace("\r", "\\r").replace("\n", "\\n")


def lon_lat_degrees(v: Sequence[float]) -> tuple[float, float]:
    """Longitude (from +x toward +y) and latitude (toward +z) of a direction, in degrees."""
    x, y, z = v
    length = math.sqrt(x * x + y * y + z * z)
    return math.degrees(math.atan2(y, x)), math.degrees(math.asin(z / length))


def unit_vector(lon_deg: float, lat_deg: float) -> tuple[float, float, float]:
    lon, lat = math.radians(lon_deg), math.radians(lat_deg)
    return (math.cos(lat) * math.cos(lon), math.cos(lat) * math.sin(lon), math.sin(lat))


def check_arc(name: str, value: float) -> float:
    # The module stores any float; outside (0, π) the linkage is not a real one.
    if not (math.isfinite(value) and 0.0 < value < math.pi):
        raise UsageError(f"{name} must be an angle in radians strictly between 0 and pi (got {value!r})")
    return value


def resolution_value(text: str) -> int:
    try:
        value = int(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"invalid integer: {text!r}") from None
    if not MIN_RESOLUTION <= value <= MAX_RESOLUTION:
        raise argparse.ArgumentTypeError(f"must be between {MIN_RESOLUTION} and {MAX_RESOLUTION} (got {value})")
    return value


def build_parser() -> OneLineParser:
    parser = OneLineParser(
        description="Draw the joint-space and pointing-direction workspace of the arms as PNG files.",
    )
    geometry = parser.add_argument_group("geometry (default: the left and right presets)")
    geometry.add_argument("--arm-arc", type=float, help="arc of each input arm, radians (default 0.7)")
    geometry.add_argument("--coupler-arc", type=float, help="arc of each coupler segment, radians (default 0.5)")
    geometry.add_argument("--mirror", action="store_true", help="a right (mirrored) arm")
    geometry.add_argument("--branch", choices=("positive", "negative"), help="closure of the loop (default positive)")
    geometry.add_argument("--document", type=Path, help="JSON geometry document; excludes the flags above")
    parser.add_argument("--out", type=Path, default=Path("out"), help="output directory (default out/)")
    parser.add_argument(
        "--resolution",
        type=resolution_value,
        default=DEFAULT_RESOLUTION,
        help=f"grid points per axis of the joint map, and longitude samples of the direction map (default {DEFAULT_RESOLUTION})",
    )
    return parser


def describe(arm: Arm, branch: str | None) -> str:
    parts = [f"arm_arc {arm.arm_arc():g}", f"coupler_arc {arm.coupler_arc():g}"]
    if branch is not None:
        parts.append(f"branch {branch}")
    parts.append("mirrored" if arm.mirror() else "not mirrored")
    return ", ".join(parts)


def arm_from_document(path: Path) -> NamedArm:
    try:
        text = path.read_text(encoding="utf-8")
    except UnicodeDecodeError:
        raise UsageError(f"cannot read {path}: not UTF-8 text") from None
    except OSError as error:
        raise UsageError(f"cannot read {path}: {error.strerror or error}") from None
    try:
        arm = QuorvelArmKinematics.from_json(text)
    except ValueError as error:
        raise UsageError(f"{path}: {error}") from None
    check_arc(f"{path}: arm_arc", arm.arm_arc())
    check_arc(f"{path}: coupler_arc", arm.coupler_arc())
    return NamedArm(f"{path.name}: {describe(arm, infer_branch(arm))}", arm)


def flag_arm(arm_arc: float, coupler_arc: float, branch: str, mirror: bool) -> Arm:
    # The constructor always assembles the positive branch; only a geometry
    # document chooses the branch, so every flag geometry goes through one.
    document = {"arm_arc": arm_arc, "coupler_arc": coupler_arc, "branch": branch, "mirror": mirror}
    return QuorvelArmKinematics.from_json(json.dumps(document))


def infer_branch(arm: Arm) -> str | None:
    """The branch of an arm read from a document, which the arm does not expose.

    Both branches close the loop at the same joint pairs and put v_3 on either
    side of the elbows, so comparing with the positive branch tells them apart.
    """
    positive = flag_arm(arm.arm_arc(), arm.coupler_arc(), "positive", arm.mirror())
    angles = np.linspace(-math.pi, math.pi, 37)
    pairs = np.stack(np.meshgrid(angles, angles, indexing="ij"), axis=-1).reshape(-1, 2)
    directions, closing = batch.direction(arm, pairs)
    if not closing.any():
        return None
    reference, _ = batch.direction(positive, pairs[closing])
    distances = np.linalg.norm(directions[closing] - reference, axis=1)
    return "negative" if (distances > 1e-9).any() else "positive"


def arm_from_flags(args: argparse.Namespace) -> NamedArm:
    arm_arc = check_arc("arm_arc", 0.7 if args.arm_arc is None else args.arm_arc)
    coupler_arc = check_arc("coupler_arc", 0.5 if args.coupler_arc is None else args.coupler_arc)
    branch = args.branch or "positive"
    arm = flag_arm(arm_arc, coupler_arc, branch, bool(args.mirror))
    return NamedArm(f"custom arm: {describe(arm, branch)}", arm)


def select_arms(args: argparse.Namespace) -> list[NamedArm]:
    flags_given = args.arm_arc is not None or args.coupler_arc is not None or args.mirror or args.branch is not None
    if args.document is not None:
        if flags_given:
            raise UsageError("--document cannot be combined with --arm-arc, --coupler-arc, --mirror or --branch")
        return [arm_from_document(args.document)]
    if flags_given:
        return [arm_from_flags(args)]
    left = QuorvelArmKinematics.default_left()
    right = QuorvelArmKinematics.default_right()
    return [
        NamedArm(f"LEFT preset: {describe(left, 'positive')}", left),
        NamedArm(f"RIGHT preset: {describe(right, 'positive')}", right),
    ]


def joint_grid(arm: Arm, angles: NDArray[np.float64]) -> NDArray[np.bool_]:
    """closes[i, j]: whether (θ_A = angles[j], θ_B = angles[i]) closes the loop."""
    theta_a, theta_b = np.meshgrid(angles, angles)
    return batch.is_reachable_joints(arm, np.stack((theta_a, theta_b), axis=-1))


def unit_vectors(lons: NDArray[np.float64], lats: NDArray[np.float64]) -> NDArray[np.float64]:
    """v[i, j]: unit_vector(lons[j], lats[i]) for the whole grid at once."""
    lon = np.radians(lons)[np.newaxis, :]
    lat = np.radians(lats)[:, np.newaxis]
    x, y, z = np.broadcast_arrays(np.cos(lat) * np.cos(lon), np.cos(lat) * np.sin(lon), np.sin(lat))
    return np.stack((x, y, z), axis=-1)


def direction_grid(arm: Arm, lons: NDArray[np.float64], lats: NDArray[np.float64]) -> NDArray[np.bool_]:
    """reach[i, j]: whether the direction at (lons[j], lats[i]) is reachable."""
    _, reach = batch.ik_from_direction(arm, unit_vectors(lons, lats))
    return reach


def forward_images(arm: Arm, angles: NDArray[np.float64], closes: NDArray[np.bool_]) -> NDArray[np.float64]:
    """Longitude and latitude of v_3 for a thinned-out set of closing joint pairs (rows of two)."""
    step = max(1, len(angles) // OVERLAY_SAMPLES)
    picked = angles[::step]
    theta_a, theta_b = np.meshgrid(picked, picked)
    pairs = np.stack((theta_a, theta_b), axis=-1)[closes[::step, ::step]]
    v, _ = batch.direction(arm, pairs)
    lon = np.degrees(np.arctan2(v[:, 1], v[:, 0]))
    lat = np.degrees(np.arcsin(v[:, 2] / np.linalg.norm(v, axis=1)))
    return np.stack((lon, lat), axis=-1).reshape(-1, 2)


def sphere_fraction(reach: NDArray[np.bool_], lats: NDArray[np.float64]) -> float:
    # Grid cells shrink toward the poles with the cosine of the latitude.
    weights = np.cos(np.radians(lats))[:, np.newaxis] * np.ones(reach.shape[1])
    return float((weights * reach).sum() / weights.sum())


def new_figure(columns: int, width: float, height: float) -> tuple[Figure, list[Axes]]:
    # matplotlib loads only once the inputs are checked, so bad input fails fast.
    import matplotlib.figure
    from matplotlib.backends.backend_agg import FigureCanvasAgg

    figure = matplotlib.figure.Figure(figsize=(width * columns, height))
    FigureCanvasAgg(figure)  # the non-interactive Agg renderer, without pyplot's global state
    axes = figure.subplots(1, columns, squeeze=False)
    return figure, list(axes[0])


def shade(ax: Axes, x: NDArray[np.float64], y: NDArray[np.float64], mask: NDArray[np.bool_]) -> None:
    from matplotlib.colors import ListedColormap

    colours = ListedColormap([UNREACHED_COLOUR, REACHED_COLOUR])
    ax.pcolormesh(x, y, mask.astype(np.int8), cmap=colours, vmin=0, vmax=1, shading="nearest")


def degree_axes(ax: Axes, x_label: str, y_label: str, x_ticks: range, y_ticks: range) -> None:
    ax.set_xlabel(x_label)
    ax.set_ylabel(y_label)
    ax.set_xticks(list(x_ticks))
    ax.set_yticks(list(y_ticks))
    ax.set_aspect("equal")
    ax.grid(True, color="white", linewidth=0.5, alpha=0.6)


def draw_joint_space(arms: list[NamedArm], angles: NDArray[np.float64], path: Path) -> list[NDArray[np.bool_]]:
    from matplotlib.patches import Patch

    degrees = np.degrees(angles)
    figure, axes = new_figure(len(arms), 6.0, 6.0)
    grids: list[NDArray[np.bool_]] = []
    for ax, named in zip(axes, arms):
        closes = joint_grid(named.arm, angles)
        grids.append(closes)
        shade(ax, degrees, degrees, closes)
        ax.set_xlim(-180, 180)
        ax.set_ylim(-180, 180)
        degree_axes(ax, r"$\theta_A$ (degrees)", r"$\theta_B$ (degrees)", range(-180, 181, 90), range(-180, 181, 90))
        ax.set_title(f"{named.label}\nloop closes on {100.0 * closes.mean():.1f}% of the joint square", fontsize=9)
    legend = [Patch(color=REACHED_COLOUR, label="loop closes"), Patch(color=UNREACHED_COLOUR, label="loop does not close")]
    figure.legend(handles=legend, loc="lower center", ncol=2, frameon=False)
    figure.suptitle(r"Joint space: which ($\theta_A$, $\theta_B$) close the five-bar loop")
    figure.tight_layout(rect=(0.0, 0.05, 1.0, 1.0))
    save(figure, path)
    return grids


def draw_directions(
    arms: list[NamedArm], resolution: int, angles: NDArray[np.float64], grids: list[NDArray[np.bool_]], path: Path
) -> None:
    # The region is the reachability predicate on a longitude/latitude grid:
    # each cell answers exactly whether its direction can be reached, whereas
    # pushing joint pairs through direction() gives a point cloud whose density
    # depends on the joint parametrisation and leaves gaps. A thinned-out set of
    # such forward images is drawn on top as a cross-check: they must all fall
    # inside the shaded region.
    from matplotlib.lines import Line2D
    from matplotlib.patches import Patch

    lon_step = 360.0 / resolution
    lons = np.linspace(-180.0 + lon_step / 2, 180.0 - lon_step / 2, resolution)
    lat_count = max(2, resolution // 2)
    lat_step = 180.0 / lat_count
    lats = np.linspace(-90.0 + lat_step / 2, 90.0 - lat_step / 2, lat_count)
    figure, axes = new_figure(len(arms), 7.0, 4.6 if len(arms) > 1 else 5.2)
    for ax, named, closes in zip(axes, arms, grids):
        reach = direction_grid(named.arm, lons, lats)
        shade(ax, lons, lats, reach)
        images = forward_images(named.arm, angles, closes)
        if len(images):
            ax.scatter(images[:, 0], images[:, 1], s=1.5, color=OVERLAY_COLOUR, linewidths=0)
        axis_b_lon = 180.0 if named.arm.mirror() else 0.0
        ax.plot([0.0, 0.0, axis_b_lon], [90.0, -90.0, 0.0], linestyle="none", marker="x", color="black", markersize=6, clip_on=False)
        ax.set_xlim(-180, 180)
        ax.set_ylim(-90, 90)
        degree_axes(ax, r"longitude of $v_3$ (degrees)", r"latitude of $v_3$ (degrees)", range(-180, 181, 60), range(-90, 91, 30))
        fraction = sphere_fraction(reach, lats)
        ax.set_title(f"{named.label}\nreachable: {100.0 * fraction:.1f}% of the sphere", fontsize=9)
    legend = [
        Patch(color=REACHED_COLOUR, label="reachable (is_reachable_direction)"),
        Patch(color=UNREACHED_COLOUR, label="not reachable"),
        Line2D([], [], linestyle="none", marker="o", markersize=3, color=OVERLAY_COLOUR, label="direction(θ_A, θ_B) of closing pairs"),
        Line2D([], [], linestyle="none", marker="x", color="black", label="joint axes A (poles) and B"),
    ]
    columns = 4 if len(arms) > 1 else 2
    figure.legend(handles=legend, loc="lower center", ncol=columns, frameon=False, fontsize=8)
    title = r"Pointing directions $v_3$ the arm can reach" + "\n(longitude from +x toward +y, latitude toward +z)"
    figure.suptitle(title, fontsize=10)
    figure.tight_layout(rect=(0.0, 0.07 if columns == 4 else 0.12, 1.0, 1.0))
    save(figure, path)


def save(figure: Figure, path: Path) -> None:
    try:
        figure.savefig(path, dpi=DPI)
    except OSError as error:
        raise UsageError(f"cannot write {path}: {error.strerror or error}") from None
    print(path, flush=True)


def run(argv: Sequence[str]) -> None:
    args = build_parser().parse_args(argv)
    arms = select_arms(args)
    out: Path = args.out
    try:
        out.mkdir(parents=True, exist_ok=True)
    except OSError as error:
        raise UsageError(f"cannot create {out}: {error.strerror or error}") from None
    angles = np.linspace(-math.pi, math.pi, args.resolution)
    grids = draw_joint_space(arms, angles, out / JOINT_FILE)
    draw_directions(arms, args.resolution, angles, grids, out / DIRECTION_FILE)


def main(argv: Sequence[str] | None = None) -> int:
    try:
        run(sys.argv[1:] if argv is None else argv)
    except UsageError as error:
        print(f"workspace_map.py: error: {one_line(str(error))}", file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main())
