"""Workspace pictures for the arms.

Draws, for the left and right presets or for one geometry given by flags or by a
geometry document, two PNG files:

- workspace_joint_space.png: on the left, the joint pairs (θ_A, θ_B) at which the
  loop closes; on the right, the same region coloured by which of the four inverse
  candidates of its own pointing direction each pair is, (ε_A, ε_B) = (+,+), (+,-),
  (-,+) or (-,-) as direction_candidates orders them, with the fold lines where two
  candidates meet and the pairs that point v_3 where (0, 0) does. Why this panel: a
  controller solving ik_from_direction(near=previous) stays on its candidate until
  the path reaches a fold, so the folds are the joint-space facts it has to plan
  around. The obvious alternative, the negative branch's closing region, would
  only repeat the left panel: the branch picks on which side v_3 closes, not
  whether the loop closes. The right preset shares this figure with the left one:
  mirroring turns the whole arm half a turn about joint axis A, which moves no
  joint pair and no candidate slot.
- workspace_directions.png: the pointing directions v_3 each arm reaches, coloured
  by how many joint pairs reach them (1 to 4); where the count changes, two
  solutions meet and vanish. Each map is centred on its own arm's region.

    python examples/workspace_map.py --out out
    python examples/workspace_map.py --arm-arc 0.8 --coupler-arc 0.6 --branch negative --mirror
    python examples/workspace_map.py --document arm.json --resolution 181
"""

from __future__ import annotations

import argparse
import math
import sys
from collections.abc import Sequence
from pathlib import Path
from typing import TYPE_CHECKING, Any, Literal

import numpy as np
from numpy.typing import NDArray

import quorvel_torso_kinematics_batch as batch
from geometry_options import (
    NamedArm,
    OneLineParser,
    add_geometry_and_output,
    exit_status,
    flag_arm,
    make_output_directory,
    save,
    select_arms,
)
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
# A closing pair is its own candidate up to rounding (about 1e-11 rad); a different
# candidate lies a visible distance away except on a fold, where both are the pair.
MATCH_TOLERANCE = 1e-6
NO_SLOT = -1
UNMATCHED = 4

UNREACHED_COLOUR = "#e8e8e8"
REACHED_COLOUR = "#3b7dd8"
# Okabe-Ito hues, told apart with any colour vision; counts go light to dark.
SLOT_COLOURS = ("#0072b2", "#e69f00", "#009e73", "#cc79a7")
SLOT_NAMES = ("(+,+)", "(+,−)", "(−,+)", "(−,−)")
UNMATCHED_COLOUR = "#000000"
# The fold of elbow A is drawn solid, that of elbow B dashed.
FOLD_STYLES: dict[str, Literal["solid", "dashed"]] = {"A": "solid", "B": "dashed"}
COUNT_COLOURS = ("#fde725", "#35b779", "#31688e", "#440154")
AXIS_STYLE: dict[str, Any] = {"linestyle": "none", "marker": "x", "color": "black", "markersize": 6, "clip_on": False}
REFERENCE_STYLE: dict[str, Any] = {
    "linestyle": "none", "marker": "*", "markersize": 13, "markerfacecolor": "white", "markeredgecolor": "black",
}
SIBLING_STYLE: dict[str, Any] = {
    "linestyle": "none", "marker": "o", "markersize": 7, "markerfacecolor": "white", "markeredgecolor": "black",
}
SLOT_CAPTION = (
    r"Up to four joint pairs point $v_3$ the same way. $\varepsilon_A$ ($\varepsilon_B$) is the side of the great"
    r" circle from joint axis A (B) to $v_3$ on which elbow $v_2$ ($v_4$) lies,"
    "\n"
    r"+ toward axis $\times$ $v_3$. direction_candidates lists the pairs in the order of the legend; ik_from_direction"
    " picks among those that reach.\n"
    "On a fold line two candidates coincide (an input arm in line with its coupler):"
    " a path solved with ik_from_direction(near=previous) can change branch there."
)
COUNT_CAPTION = (
    r"Where the colour changes, a joint pair that reaches $v_3$ meets another solution and vanishes:"
    "\na path solved with ik_from_direction(near=previous) may jump to another branch there."
)

Arm = QuorvelArmKinematics


def lon_lat_degrees(v: Sequence[float]) -> tuple[float, float]:
    """Longitude (from +x toward +y) and latitude (toward +z) of a direction, in degrees."""
    x, y, z = v
    length = math.sqrt(x * x + y * y + z * z)
    return math.degrees(math.atan2(y, x)), math.degrees(math.asin(z / length))


def unit_vector(lon_deg: float, lat_deg: float) -> tuple[float, float, float]:
    lon, lat = math.radians(lon_deg), math.radians(lat_deg)
    return (math.cos(lat) * math.cos(lon), math.cos(lat) * math.sin(lon), math.sin(lat))


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
    add_geometry_and_output(parser)
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


def presets() -> list[NamedArm]:
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


def wrapped_gap(a: NDArray[np.float64], b: NDArray[np.float64]) -> NDArray[np.float64]:
    # Candidates come back in [-π, π]; a grid angle of π may be listed as -π.
    return np.abs(np.remainder(a - b + math.pi, 2.0 * math.pi) - math.pi)


def slot_grid(arm: Arm, angles: NDArray[np.float64]) -> NDArray[np.int8]:
    """slot[i, j]: the candidate slot (0 to 3) that (θ_A = angles[j], θ_B = angles[i]) is
    among the inverse candidates of its own pointing direction; NO_SLOT where the loop
    does not close, UNMATCHED where no reaching candidate equals the pair."""
    theta_a, theta_b = np.meshgrid(angles, angles)
    pairs = np.stack((theta_a, theta_b), axis=-1)
    directions, closes = batch.direction(arm, pairs)
    # NaN rows would give NaN candidates; any direction will do there, it is masked below.
    joints, _, reaches = batch.direction_candidates(arm, np.where(closes[..., np.newaxis], directions, 1.0))
    gap = wrapped_gap(joints, pairs[..., np.newaxis, :]).max(axis=-1)
    # Where two slots coincide (a fold) both match; the earlier one is kept, as the solver does.
    matches = reaches & (gap < MATCH_TOLERANCE)
    slots = np.where(matches.any(axis=-1), np.argmax(matches, axis=-1), UNMATCHED)
    return np.where(closes, slots, NO_SLOT).astype(np.int8)


def reference_pair(arm: Arm, angles: NDArray[np.float64]) -> tuple[float, float] | None:
    """(0, 0) when its loop closes, else the closing grid pair nearest to it."""
    if arm.is_reachable_joints(0.0, 0.0):
        return (0.0, 0.0)
    rows, columns = np.nonzero(joint_grid(arm, angles))
    if len(rows) == 0:
        return None
    k = int(np.argmin(angles[rows] ** 2 + angles[columns] ** 2))
    return (float(angles[columns[k]]), float(angles[rows[k]]))


def siblings(arm: Arm, pair: tuple[float, float]) -> NDArray[np.float64]:
    """Every joint pair (rows of two, slot order) that points v_3 where `pair` does."""
    joints, _, reaches = batch.direction_candidates(arm, arm.direction(*pair))
    return joints[reaches]


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


def candidate_count_grid(arm: Arm, lons: NDArray[np.float64], lats: NDArray[np.float64]) -> NDArray[np.int8]:
    """count[i, j]: how many candidate slots reach the direction at (lons[j], lats[i]), 0 to 4."""
    _, _, reaches = batch.direction_candidates(arm, unit_vectors(lons, lats))
    return reaches.sum(axis=-1, dtype=np.int8)


def latitudes(resolution: int) -> NDArray[np.float64]:
    count = max(2, resolution // 2)
    step = 180.0 / count
    return np.linspace(-90.0 + step / 2, 90.0 - step / 2, count)


def longitudes(resolution: int, centre: float) -> NDArray[np.float64]:
    step = 360.0 / resolution
    return np.linspace(centre - 180.0 + step / 2, centre + 180.0 - step / 2, resolution)


def centre_longitude(reach: NDArray[np.bool_], lons: NDArray[np.float64]) -> float:
    """The map centre that puts the ±180° seam in the middle of the widest band of
    longitudes no reachable direction touches, rounded to a multiple of 30° when
    the seam stays inside the band; 0 when every longitude is touched."""
    empty = ~reach.any(axis=0)
    if empty.all() or not empty.any():
        return 0.0
    n = len(empty)
    # Start the circular scan just after a touched column so no band is split in two.
    first = int(np.argmin(empty))
    best_start, best_length, run_start, run_length = 0, 0, 0, 0
    for k in range(1, n + 1):
        index = (first + k) % n
        if empty[index]:
            if run_length == 0:
                run_start = index
            run_length += 1
            if run_length > best_length:
                best_start, best_length = run_start, run_length
        else:
            run_length = 0
    step = 360.0 / n
    low = float(lons[best_start]) - step / 2
    seam = low + best_length * step / 2
    rounded = 30.0 * round((seam + 180.0) / 30.0)
    inside = (rounded - 180.0 - low) % 360.0
    centre = rounded if 0.0 < inside < best_length * step else seam + 180.0
    return float(centre % 360.0) if centre % 360.0 <= 180.0 else float(centre % 360.0 - 360.0)


def wrap_into(lon: float, centre: float) -> float:
    """The longitude equal to `lon` modulo 360° that lies within 180° of `centre`."""
    return centre + (lon - centre + 180.0) % 360.0 - 180.0


def longitude_label(tick: float) -> str:
    # Any axis range keeps its labels within [-180, 360], each a longitude of its own meridian.
    value = tick if -180.0 <= tick <= 360.0 else tick % 360.0
    return f"{value:g}".replace("-", "\u2212")  # the minus sign of the other axis


def sphere_fraction(mask: NDArray[np.bool_], lats: NDArray[np.float64]) -> float:
    # Grid cells shrink toward the poles with the cosine of the latitude.
    weights = np.cos(np.radians(lats))[:, np.newaxis] * np.ones(mask.shape[1])
    return float((weights * mask).sum() / weights.sum())


def new_figure(columns: int, width: float, height: float, bottom: float, top: float) -> tuple[Figure, list[Axes]]:
    """A row of `columns` panels, each `width` inches wide, leaving `bottom` and `top` inches free."""
    # matplotlib loads only once the inputs are checked, so bad input fails fast.
    import matplotlib.figure
    from matplotlib.backends.backend_agg import FigureCanvasAgg

    total = width * columns
    figure = matplotlib.figure.Figure(figsize=(total, height))
    FigureCanvasAgg(figure)  # the non-interactive Agg renderer, without pyplot's global state
    axes = figure.subplots(1, columns, squeeze=False)
    # Fixed margins, since the panels keep equal aspect and the legends sit outside them.
    figure.subplots_adjust(left=0.8 / total, right=1.0 - 0.3 / total, bottom=bottom / height, top=1.0 - top / height,
                           wspace=0.9 / width)
    return figure, list(axes[0])


def shade(
    ax: Axes, x: NDArray[np.float64], y: NDArray[np.float64], values: NDArray[np.int8], colours: Sequence[str]
) -> None:
    """Cell value k drawn in colours[k]."""
    from matplotlib.colors import ListedColormap

    colour_map = ListedColormap(list(colours))
    ax.pcolormesh(x, y, values, cmap=colour_map, vmin=-0.5, vmax=len(colours) - 0.5, shading="nearest")


def degree_axes(ax: Axes, x_label: str, y_label: str, x_ticks: Sequence[float], y_ticks: Sequence[float]) -> None:
    ax.set_xlabel(x_label)
    ax.set_ylabel(y_label)
    ax.set_xticks(list(x_ticks))
    ax.set_yticks(list(y_ticks))
    ax.set_aspect("equal")
    ax.grid(True, color="white", linewidth=0.5, alpha=0.6)


def fold_lines(ax: Axes, degrees: NDArray[np.float64], slots: NDArray[np.int8]) -> None:
    # A slot's first sign is ε_A and its second ε_B; a line where either sign flips is a fold.
    inside = (slots >= 0) & (slots < 4)
    for flips, style in ((slots < 2, FOLD_STYLES["A"]), (slots % 2 == 0, FOLD_STYLES["B"])):
        values = np.ma.masked_array(flips.astype(np.float64), mask=~inside)
        if values.count() and 0.0 < values.mean() < 1.0:
            ax.contour(degrees, degrees, values, levels=[0.5], colors="black", linewidths=1.0, linestyles=style)


def draw_joint_space(label: str, arm: Arm, angles: NDArray[np.float64], path: Path) -> None:
    from matplotlib.lines import Line2D
    from matplotlib.patches import Patch

    degrees = np.degrees(angles)
    height = 8.3
    figure, (left, right) = new_figure(2, 6.0, height, bottom=2.1, top=1.0)
    closes = joint_grid(arm, angles)
    shade(left, degrees, degrees, closes.astype(np.int8), (UNREACHED_COLOUR, REACHED_COLOUR))
    left.set_title(f"Where the loop closes: on {100.0 * closes.mean():.1f}% of the joint square", fontsize=10)
    left.legend(
        handles=[
            Patch(color=REACHED_COLOUR, label="loop closes"),
            Patch(color=UNREACHED_COLOUR, label="loop does not close"),
        ],
        loc="upper center", bbox_to_anchor=(0.5, -0.1), ncol=2, frameon=False, fontsize=9,
    )

    slots = slot_grid(arm, angles)
    # Shifted by one so that "does not close" is colour 0 and an unmatched pair the last.
    shade(right, degrees, degrees, (slots + 1).astype(np.int8), (UNREACHED_COLOUR, *SLOT_COLOURS, UNMATCHED_COLOUR))
    fold_lines(right, degrees, slots)
    handles: list[Patch | Line2D] = [
        Patch(color=colour, label=rf"$(\varepsilon_A, \varepsilon_B)$ = {name}")
        for colour, name in zip(SLOT_COLOURS, SLOT_NAMES)
    ]
    if (slots == UNMATCHED).any():
        handles.append(Patch(color=UNMATCHED_COLOUR, label="no candidate equals the pair (a fault)"))
    for joint, style in FOLD_STYLES.items():
        text = rf"fold: input arm {joint} in line with its coupler ($\varepsilon_{joint}$ flips)"
        handles.append(Line2D([], [], color="black", linewidth=1.0, linestyle=style, label=text))
    reference = reference_pair(arm, angles)
    if reference is not None:
        here = np.degrees(np.array(reference))
        name = f"({here[0]:.0f}°, {here[1]:.0f}°)"
        right.plot(*here, **REFERENCE_STYLE)
        handles.append(Line2D([], [], label=f"the pair {name}", **REFERENCE_STYLE))
        others = np.degrees(siblings(arm, reference))
        others = others[np.abs(others - here).max(axis=1) > 1e-6]
        if len(others):
            right.plot(others[:, 0], others[:, 1], **SIBLING_STYLE)
            handles.append(Line2D([], [], label=f"other pairs pointing $v_3$ where {name} does", **SIBLING_STYLE))
    right.set_title("Which of the four inverse candidates each closing pair is", fontsize=10)
    right.legend(handles=handles, loc="upper center", bbox_to_anchor=(0.5, -0.1), ncol=2, frameon=False, fontsize=8)

    for ax in (left, right):
        ax.set_xlim(-180, 180)
        ax.set_ylim(-180, 180)
        degree_axes(ax, r"$\theta_A$ (degrees)", r"$\theta_B$ (degrees)", range(-180, 181, 90), range(-180, 181, 90))
    figure.suptitle(f"Joint space ($\\theta_A$, $\\theta_B$) of the arm\n{label}", fontsize=11)
    figure.text(0.5, 0.1 / height, SLOT_CAPTION, ha="center", va="bottom", fontsize=8)
    save(figure, path, DPI)


def pairs(count: int, kind: str = "") -> str:
    return f"{count} {kind}pair{'s' if count > 1 else ''}"


def draw_directions(arms: list[NamedArm], resolution: int, angles: NDArray[np.float64], path: Path) -> None:
    # Each cell is the companion's candidate list for its own direction: the count
    # of pairs that reach it, 0 where is_reachable_direction is false.
    from matplotlib.lines import Line2D
    from matplotlib.patches import Patch

    lats = latitudes(resolution)
    base_lons = longitudes(resolution, 0.0)
    columns, legend_rows = (7, 1) if len(arms) > 1 else (4, 2)
    height = 5.2 if len(arms) > 1 else 6.4
    bottom = 1.15 + 0.2 * legend_rows
    figure, axes = new_figure(len(arms), 7.0 if len(arms) > 1 else 9.0, height, bottom=bottom, top=1.15)
    for ax, named in zip(axes, arms):
        centre = centre_longitude(direction_grid(named.arm, base_lons, lats), base_lons)
        lons = longitudes(resolution, centre)
        counts = candidate_count_grid(named.arm, lons, lats)
        shade(ax, lons, lats, counts, (UNREACHED_COLOUR, *COUNT_COLOURS))
        axis_b_lon = wrap_into(180.0 if named.arm.mirror() else 0.0, centre)
        ax.plot([axis_b_lon, axis_b_lon, axis_b_lon], [90.0, -90.0, 0.0], **AXIS_STYLE)
        reference = reference_pair(named.arm, angles)
        if reference is not None:
            lon, lat = lon_lat_degrees(named.arm.direction(*reference))
            ax.plot(wrap_into(lon, centre), lat, **REFERENCE_STYLE)
        ax.set_xlim(centre - 180.0, centre + 180.0)
        ax.set_ylim(-90, 90)
        ticks = np.arange(math.ceil((centre - 180.0) / 60.0) * 60.0, centre + 180.0 + 1e-9, 60.0)
        lat_ticks = range(-90, 91, 30)
        degree_axes(ax, r"longitude of $v_3$ (degrees)", r"latitude of $v_3$ (degrees)", ticks.tolist(), lat_ticks)
        ax.set_xticklabels([longitude_label(t) for t in ticks])
        shares = [sphere_fraction(counts == k, lats) for k in range(1, 5)]
        by_count = ", ".join(f"{pairs(k)} {100.0 * share:.1f}%" for k, share in enumerate(shares, start=1))
        ax.set_title(f"{named.label}\nreachable: {100.0 * sum(shares):.1f}% of the sphere ({by_count})", fontsize=9)
    legend: list[Patch | Line2D] = [Patch(color=UNREACHED_COLOUR, label="not reachable")]
    legend += [Patch(color=c, label=f"reached by {pairs(k, 'joint ')}") for k, c in enumerate(COUNT_COLOURS, start=1)]
    legend += [
        Line2D([], [], label="joint axis A (the poles) and B", **AXIS_STYLE),
        Line2D([], [], label=r"$v_3$ of the starred pair in the joint map", **REFERENCE_STYLE),
    ]
    # Caption, then legend, stacked up from the bottom edge (positions in inches).
    figure.text(0.5, 0.1 / height, COUNT_CAPTION, ha="center", va="bottom", fontsize=8)
    anchor = (0.5, 0.5 / height)
    figure.legend(handles=legend, loc="lower center", bbox_to_anchor=anchor, ncol=columns, frameon=False, fontsize=8)
    title = (
        r"Pointing directions $v_3$ the arm can reach, and by how many joint pairs"
        "\n(longitude from +x toward +y, latitude toward +z; each map centred on its own arm's region)"
    )
    figure.suptitle(title, fontsize=10)
    save(figure, path, DPI)


def run(argv: Sequence[str]) -> None:
    args = build_parser().parse_args(argv)
    arms = select_arms(
        args,
        presets,
        document_label=lambda arm, path: f"{path.name}: {describe(arm, infer_branch(arm))}",
        flags_label=lambda arm, branch: f"custom arm: {describe(arm, branch)}",
    )
    out: Path = args.out
    make_output_directory(out)
    angles = np.linspace(-math.pi, math.pi, args.resolution)
    # The presets differ only by a half-turn about joint axis A, which moves no joint pair.
    first = arms[0].arm
    label = arms[0].label if len(arms) == 1 else (
        f"LEFT and RIGHT presets: arm_arc {first.arm_arc():g}, coupler_arc {first.coupler_arc():g}, branch positive"
        " (mirroring the right one leaves this map unchanged)"
    )
    draw_joint_space(label, arms[0].arm, angles, out / JOINT_FILE)
    draw_directions(arms, args.resolution, angles, out / DIRECTION_FILE)


def main(argv: Sequence[str] | None = None) -> int:
    return exit_status("workspace_map.py", run, argv)


if __name__ == "__main__":
    sys.exit(main())
