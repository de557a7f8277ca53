"""A picture of one arm at one joint pair, drawn on the unit sphere.

Shows the base frame, the two joint axes, the elbows v_2 and v_4 and how far
each joint has turned them, the coupler point v_3 with the great-circle arcs
between them, and the end-effector frame at v_3. Draws the left and right
presets (arm_left.png, arm_right.png), or one geometry given by flags or by a
geometry document (arm_left.png or arm_right.png, by its mirror flag):

    python examples/arm_picture.py --out out
    python examples/arm_picture.py --theta-a 0.6 --theta-b 0.4
    python examples/arm_picture.py --arm-arc 0.8 --coupler-arc 0.6 --branch negative --mirror
    python examples/arm_picture.py --document arm.json
"""

from __future__ import annotations

import math
import sys
from collections.abc import Sequence
from dataclasses import dataclass
from pathlib import Path
from typing import Any, Protocol, cast

import numpy as np
from numpy.typing import ArrayLike, NDArray

from geometry_options import (
    NamedArm,
    OneLineParser,
    UsageError,
    add_geometry_and_output,
    exit_status,
    make_output_directory,
    save,
    select_arms,
)
from quorvel_torso_kinematics import QuorvelArmKinematics

Arm = QuorvelArmKinematics
Vec = NDArray[np.float64]

LEFT_FILE = "arm_left.png"
RIGHT_FILE = "arm_right.png"
DPI = 100
DEFAULT_THETA_A = 1.2
DEFAULT_THETA_B = -0.6
# The module's v_3 must lie this close to coupler_arc from the elbows drawn here.
CLOSURE_TOLERANCE = 1e-9
CURVE_SAMPLES = 64
# Length of the e1, e2 and e3 arrows, in sphere radii.
FRAME_ARROW = 0.3
ARROW_HEAD = 0.06
# Camera: degrees above the equator, and degrees turned aside from the arm.
VIEW_ELEVATION = 15.0
VIEW_TURN = 35.0
# Room around the drawn parts of the arm, in sphere radii.
VIEW_MARGIN = 0.1
# Elbow paths shorter than this (sphere radii) are left out.
MIN_SWEEP = 0.05
# Half-length of the dashed base frame axes.
BASE_AXIS = 1.2

# Inches: a title band, the sphere in a square, the legend below. 3D axes clip
# to their square, so the square spans the width and the zoomed sphere is cut
# at the picture's edge.
FIGURE_WIDTH = 8.0
SPHERE_SIDE = 7.6
TITLE_BAND = 1.0
LEGEND_BAND = 2.15
FIGURE_HEIGHT = TITLE_BAND + SPHERE_SIDE + LEGEND_BAND
SPHERE_BOX = (
    (FIGURE_WIDTH - SPHERE_SIDE) / 2 / FIGURE_WIDTH,
    LEGEND_BAND / FIGURE_HEIGHT,
    SPHERE_SIDE / FIGURE_WIDTH,
    SPHERE_SIDE / FIGURE_HEIGHT,
)

AXIS_A_COLOUR = "#6a3d9a"
AXIS_B_COLOUR = "#e07000"
COUPLER_COLOUR = "#1b9e77"
V3_COLOUR = "black"
E1_COLOUR = "#d62728"
E2_COLOUR = "#2ca02c"
E3_COLOUR = "#1f77b4"
BASE_COLOUR = "#707070"
SPHERE_COLOUR = "#9aa7b8"
ARC_COLOURS = {
    "input arm A": AXIS_A_COLOUR,
    "input arm B": AXIS_B_COLOUR,
    "coupler from v_2": COUPLER_COLOUR,
    "coupler from v_4": COUPLER_COLOUR,
    "theta_A": AXIS_A_COLOUR,
    "theta_B": AXIS_B_COLOUR,
}
FRAME_COLOURS = {"e1": E1_COLOUR, "e2": E2_COLOUR, "e3": E3_COLOUR}
SWEEP_SYMBOLS = {"theta_A": r"$\theta_A$", "theta_B": r"$\theta_B$"}
SWEEP_DASHES = (0, (3, 2))


class Axes3D(Protocol):
    """The 3D axes methods used here; mpl_toolkits ships no type information."""

    def view_init(self, elev: float, azim: float) -> None: ...
    def plot(self, xs: ArrayLike, ys: ArrayLike, zs: ArrayLike, **kwargs: Any) -> object: ...
    def plot_wireframe(self, x: ArrayLike, y: ArrayLike, z: ArrayLike, **kwargs: Any) -> object: ...
    def scatter(self, xs: ArrayLike, ys: ArrayLike, zs: ArrayLike, **kwargs: Any) -> object: ...
    def text(self, x: float, y: float, z: float, s: str, **kwargs: Any) -> object: ...
    def set_xlim(self, left: float, right: float) -> object: ...
    def set_ylim(self, bottom: float, top: float) -> object: ...
    def set_zlim(self, bottom: float, top: float) -> object: ...
    def set_box_aspect(self, aspect: tuple[float, float, float], zoom: float = ...) -> None: ...
    def set_axis_off(self) -> None: ...


@dataclass(frozen=True)
class Curve:
    """A drawn curve on the unit sphere from point `start` to point `end` (rows of xyz)."""

    name: str
    start: str
    end: str
    points: Vec


@dataclass(frozen=True)
class ArmDrawing:
    """What the picture shows, as unit vectors in the base frame.

    points: the joint axes, the rest elbows, v_2, v_3, v_4 and the frame axes e1, e2, e3.
    arcs: the input arms and the couplers, great-circle arcs between two points.
    sweeps: the circles each elbow travelled on from its rest position as its joint turned.
    """

    points: dict[str, Vec]
    arcs: tuple[Curve, ...]
    sweeps: tuple[Curve, ...]


def check_angle(name: str, value: float) -> float:
    # The module turns a NaN or infinite angle into a NaN pose rather than failing.
    if not math.isfinite(value):
        raise UsageError(f"{name} must be a finite angle in radians (got {value!r})")
    return value


def build_parser() -> OneLineParser:
    parser = OneLineParser(description="Draw one arm at a joint pair on the unit sphere as a PNG file.")
    pose = parser.add_argument_group("pose")
    pose.add_argument("--theta-a", type=float, default=DEFAULT_THETA_A, help=f"joint A angle, radians (default {DEFAULT_THETA_A})")
    pose.add_argument("--theta-b", type=float, default=DEFAULT_THETA_B, help=f"joint B angle, radians (default {DEFAULT_THETA_B})")
    add_geometry_and_output(parser)
    return parser


def side(arm: Arm) -> str:
    return "right" if arm.mirror() else "left"


def presets() -> list[NamedArm]:
    return [
        NamedArm("Left arm (default_left preset)", QuorvelArmKinematics.default_left()),
        NamedArm(
            "Right arm (default_right preset)",
            QuorvelArmKinematics.default_right(),
            "the left arm turned half a turn about +z, (x, y, z) → (−x, −y, z); the camera turns with it",
        ),
    ]


def vec(values: Sequence[float]) -> Vec:
    return np.array(values, dtype=np.float64)


def unit(v: Vec) -> Vec:
    result: Vec = v / np.linalg.norm(v)
    return result


def arc_between(p: Vec, q: Vec) -> float:
    # atan2 stays accurate for short and for long arcs, where acos of the dot product does not.
    return math.atan2(float(np.linalg.norm(np.cross(p, q))), float(p @ q))


def great_circle(p: Vec, q: Vec) -> Vec:
    """The shorter great-circle arc from unit vector p to unit vector q."""
    omega = arc_between(p, q)
    t = np.linspace(0.0, 1.0, CURVE_SAMPLES)[:, np.newaxis]
    points: Vec = (np.sin((1.0 - t) * omega) * p + np.sin(t * omega) * q) / math.sin(omega)
    return points


def turned(axis: Vec, p: Vec, angles: NDArray[np.float64]) -> Vec:
    """p turned right-handedly about the unit vector axis by each angle (rows)."""
    c, s = np.cos(angles)[:, np.newaxis], np.sin(angles)[:, np.newaxis]
    points: Vec = p * c + np.cross(axis, p) * s + axis * float(axis @ p) * (1.0 - c)
    return points


def base_frame(arm: Arm, theta_a: float, theta_b: float) -> dict[str, Vec]:
    """Joint axes, rest elbows and elbows v_2 and v_4, which the module does not expose.

    The closed forms of the base frame (README, "Arm frame"), with mirror sign m
    and α = arm_arc: joint A turns v_2 about +z, joint B turns v_4 about m·x.
    """
    m = -1.0 if arm.mirror() else 1.0
    sa, ca = math.sin(arm.arm_arc()), math.cos(arm.arm_arc())
    return {
        "axis A": vec((0.0, 0.0, 1.0)),
        "axis B": vec((m, 0.0, 0.0)),
        "rest A": vec((m * sa, 0.0, ca)),
        "rest B": vec((m * ca, 0.0, sa)),
        "v_2": vec((m * sa * math.cos(theta_a), m * sa * math.sin(theta_a), ca)),
        "v_4": vec((m * ca, -m * sa * math.sin(theta_b), sa * math.cos(theta_b))),
    }


def arm_drawing(arm: Arm, theta_a: float, theta_b: float) -> ArmDrawing:
    """The points and curves of one arm at (theta_a, theta_b); UsageError if the loop does not close."""
    try:
        rotation = np.array(arm.fk(theta_a, theta_b), dtype=np.float64)
    except RuntimeError as error:
        raise UsageError(f"no picture at theta_a={theta_a:g}, theta_b={theta_b:g}: {error}") from None
    points = base_frame(arm, theta_a, theta_b)
    points["v_3"] = vec(arm.direction(theta_a, theta_b))
    for k, name in enumerate(("e1", "e2", "e3")):
        points[name] = rotation[:, k].copy()
    for elbow in ("v_2", "v_4"):
        if abs(arc_between(points[elbow], points["v_3"]) - arm.coupler_arc()) > CLOSURE_TOLERANCE:
            # The elbows drawn here are no longer the module's: a bug, not bad input.
            raise RuntimeError(f"{elbow} drawn here is not at coupler_arc from the module's v_3")
    arcs = tuple(
        Curve(name, start, end, great_circle(points[start], points[end]))
        for name, start, end in (
            ("input arm A", "axis A", "v_2"),
            ("input arm B", "axis B", "v_4"),
            ("coupler from v_2", "v_2", "v_3"),
            ("coupler from v_4", "v_4", "v_3"),
        )
    )
    sweeps = tuple(
        Curve(name, rest, elbow, turned(points[axis], points[rest], np.linspace(0.0, theta, CURVE_SAMPLES)))
        for name, axis, rest, elbow, theta in (
            ("theta_A", "axis A", "rest A", "v_2", theta_a),
            ("theta_B", "axis B", "rest B", "v_4", theta_b),
        )
    )
    return ArmDrawing(points, arcs, sweeps)


def camera(elevation: float, azimuth: float) -> Vec:
    el, az = math.radians(elevation), math.radians(azimuth)
    return vec((math.cos(el) * math.cos(az), math.cos(el) * math.sin(az), math.sin(el)))


def view_angles(drawing: ArmDrawing) -> tuple[float, float]:
    """Elevation and azimuth (degrees) of the camera.

    Looking straight at the arm would point e3 = v_3 at the viewer, so the
    camera turns aside from the arm's centre, to the side where joint axis B
    lies across the picture rather than toward the viewer.
    """
    p = drawing.points
    centre = p["v_2"] + p["v_3"] + p["v_4"]
    facing = math.degrees(math.atan2(float(centre[1]), float(centre[0])))
    turns = [(VIEW_ELEVATION, facing + offset) for offset in (-VIEW_TURN, VIEW_TURN)]
    return min(turns, key=lambda angles: abs(float(camera(*angles) @ p["axis B"])))


def on_screen(v: Vec, eye: Vec) -> Vec:
    """The unit direction in which the viewer sees v point."""
    across = v - (v @ eye) * eye
    length = float(np.linalg.norm(across))
    if length < 1e-9:
        return unit(np.cross(eye, vec((0.0, 0.0, 1.0))))
    result: Vec = across / length
    return result


def nearest_on(axis: Vec, point: Vec, eye: Vec) -> Vec:
    """The point of the drawn segment from the centre to axis that the viewer sees closest to point."""
    flat_axis = axis - (axis @ eye) * eye
    flat_point = point - (point @ eye) * eye
    t = min(1.0, max(0.0, float(flat_point @ flat_axis) / float(flat_axis @ flat_axis)))
    result: Vec = t * axis
    return result


def put_label(ax: Axes3D, at: Vec, text: str, colour: str, lines_to: Sequence[Vec], eye: Vec, gap: float = 0.1) -> None:
    """A label beside the point at, in the widest open angle between the lines drawn from it."""
    right = on_screen(np.cross(vec((0.0, 0.0, 1.0)), eye), eye)
    up = np.cross(eye, right)
    angles = sorted(math.atan2(float((q - at) @ up), float((q - at) @ right)) for q in lines_to if math.dist(q, at) > 1e-9)
    if not angles:
        angles = [-math.pi / 2.0]
    gaps = [(b - a, a) for a, b in zip(angles, angles[1:] + [angles[0] + 2.0 * math.pi])]
    width, start = max(gaps)
    middle = start + width / 2.0
    put_text(ax, at + gap * (math.cos(middle) * right + math.sin(middle) * up), text, colour)


def put_text(ax: Axes3D, at: Vec, text: str, colour: str, bold: bool = True) -> None:
    # A light backing keeps a label legible where it crosses a line.
    ax.text(float(at[0]), float(at[1]), float(at[2]), text, color=colour, fontsize=12 if bold else 13,
            ha="center", va="center", fontweight="bold" if bold else "normal",
            bbox={"facecolor": "white", "alpha": 0.75, "edgecolor": "none", "pad": 1.0})


def signed_axis_name(axis: Vec) -> str:
    k = int(np.argmax(np.abs(axis)))
    return ("+" if axis[k] > 0 else "−") + "xyz"[k]


def view_box(drawing: ArmDrawing) -> tuple[Vec, float]:
    """Centre and half-width of the cube that holds every drawn part of the arm, with a margin."""
    p = drawing.points
    parts = [np.zeros((1, 3)), np.array([p["axis A"], p["axis B"]])]
    parts += [curve.points for curve in drawing.arcs + drawing.sweeps]
    parts += [np.array([p["v_3"] + FRAME_ARROW * p[name] for name in ("e1", "e2", "e3")])]
    every = np.concatenate(parts)
    low, high = every.min(axis=0), every.max(axis=0)
    return (low + high) / 2.0, float((high - low).max()) / 2.0 + VIEW_MARGIN


def base_axis_labels(centre: Vec, half: float) -> list[tuple[Vec, str]]:
    """Where to name each visible end of the base axes: at its tip, or where it leaves the view."""
    labels = []
    for k in range(3):
        if any(abs(float(centre[j])) > half for j in range(3) if j != k):
            continue  # this axis misses the view
        for sign in (1.0, -1.0):
            end = np.zeros(3)
            end[k] = sign
            reach = min(BASE_AXIS + 0.08, sign * float(centre[k]) + half - 0.05)
            if reach > 0.5:
                labels.append((reach * end, signed_axis_name(end)))
    return labels


def plot_curve(ax: Axes3D, points: Vec, **style: Any) -> None:
    ax.plot(points[:, 0], points[:, 1], points[:, 2], **style)


def arrow(ax: Axes3D, start: Vec, delta: Vec, eye: Vec, colour: str, width: float) -> None:
    """A shaft and an open head; the head opens across the line of sight, so it never shows edge-on."""
    tip = start + delta
    back = ARROW_HEAD * unit(delta)
    across = 0.5 * ARROW_HEAD * on_screen(np.cross(delta, eye), eye)
    plot_curve(ax, np.array([start, tip]), color=colour, linewidth=width, solid_capstyle="butt")
    plot_curve(ax, np.array([tip - back + across, tip, tip - back - across]), color=colour, linewidth=width,
               solid_joinstyle="miter")


def degrees_text(name: str, theta: float) -> str:
    return f"{name} = {theta:g} rad ({math.degrees(theta):.1f}°)"


def draw_sphere_and_base(ax: Axes3D, drawing: ArmDrawing, centre: Vec, half: float) -> None:
    # A wireframe never hides what lies behind it, unlike a surface.
    u = np.linspace(0.0, 2.0 * math.pi, 37)
    w = np.linspace(0.0, math.pi, 19)
    ax.plot_wireframe(np.outer(np.cos(u), np.sin(w)), np.outer(np.sin(u), np.sin(w)), np.outer(np.ones_like(u), np.cos(w)),
                      color=SPHERE_COLOUR, linewidth=0.4, alpha=0.5)
    for k in range(3):
        ends = np.zeros((2, 3))
        ends[:, k] = (-BASE_AXIS, BASE_AXIS)
        plot_curve(ax, ends, color=BASE_COLOUR, linewidth=0.9, linestyle="--")
    joint_axes = [drawing.points["axis A"], drawing.points["axis B"]]
    for where, name in base_axis_labels(centre, half):
        # The joint axes' own labels already name these ends.
        if not any(math.dist(unit(where), a) < 1e-9 for a in joint_axes):
            put_text(ax, where, name, BASE_COLOUR, bold=False)


def draw_joints(ax: Axes3D, drawing: ArmDrawing, eye: Vec) -> None:
    """The joint axes, their input arms, the couplers, the elbow paths and the elbows."""
    p = drawing.points
    origin = np.zeros(3)
    for arc in drawing.arcs:
        plot_curve(ax, arc.points, color=ARC_COLOURS[arc.name], linewidth=3.2)
    for sweep in drawing.sweeps:
        colour = ARC_COLOURS[sweep.name]
        if float(np.linalg.norm(np.diff(sweep.points, axis=0), axis=1).sum()) < MIN_SWEEP:
            continue  # the elbow is at rest: nothing to show, and no room for a label
        plot_curve(ax, sweep.points, color=colour, linewidth=1.3, linestyle=SWEEP_DASHES)
        rest = p[sweep.start]
        ax.scatter([rest[0]], [rest[1]], [rest[2]], s=30, facecolors="white", edgecolors=colour, depthshade=False)
        # Beside the middle of the path, on the side away from the couplers.
        k = len(sweep.points) // 2
        middle = sweep.points[k]
        across = on_screen(np.cross(sweep.points[k + 1] - sweep.points[k - 1], eye), eye)
        if across @ (middle - p["v_3"]) < 0.0:
            across = -across
        put_text(ax, middle + 0.07 * across, SWEEP_SYMBOLS[sweep.name], colour)
    for arc in drawing.arcs[:2]:
        axis, colour = p[arc.start], ARC_COLOURS[arc.name]
        arrow(ax, origin, axis, eye, colour, 2.6)
        put_label(ax, axis, f"{arc.start} ({signed_axis_name(axis)})", colour, [origin, p[arc.end]], eye, 0.13)
    for arc, sweep in zip(drawing.arcs[:2], drawing.sweeps):
        elbow, colour = p[arc.end], ARC_COLOURS[arc.name]
        ax.scatter([elbow[0]], [elbow[1]], [elbow[2]], color=colour, s=55, depthshade=False)
        # Away from the input arm, the coupler and the end of the elbow's path.
        put_label(ax, elbow, f"$v_{arc.end[-1]}$", colour, [p[arc.start], p["v_3"], sweep.points[-8]], eye)


def draw_end_effector(ax: Axes3D, drawing: ArmDrawing, eye: Vec) -> None:
    """v_3 with the line from the centre, and the frame e1, e2, e3 at v_3."""
    p = drawing.points
    origin = np.zeros(3)
    v_3 = p["v_3"]
    plot_curve(ax, np.array([origin, v_3]), color=V3_COLOUR, linewidth=0.9, linestyle=":")
    tips = []
    for name, colour in FRAME_COLOURS.items():
        tips.append(v_3 + FRAME_ARROW * p[name])
        arrow(ax, v_3, FRAME_ARROW * p[name], eye, colour, 2.2)
        put_label(ax, tips[-1], name, colour, [v_3], eye, 0.06)
    ax.scatter([v_3[0]], [v_3[1]], [v_3[2]], color=V3_COLOUR, s=55, depthshade=False)
    crossing = [nearest_on(p[axis], v_3, eye) for axis in ("axis A", "axis B")]
    put_label(ax, v_3, "$v_3$", V3_COLOUR, [p["v_2"], p["v_4"], origin, *tips, *crossing], eye)


def legend_entries(arm: Arm) -> list[Any]:
    from matplotlib.lines import Line2D

    arcs = f"arm_arc {arm.arm_arc():g}"
    return [
        Line2D([], [], color=BASE_COLOUR, linewidth=0.9, linestyle="--", label="base frame axes x, y, z through the centre"),
        Line2D([], [], color=AXIS_A_COLOUR, linewidth=3, label=f"joint axis A = +z; input arm to elbow $v_2$ ({arcs})"),
        Line2D([], [], color=AXIS_B_COLOUR, linewidth=3,
               label=f"joint axis B = {'−' if arm.mirror() else '+'}x; input arm to elbow $v_4$ ({arcs})"),
        Line2D([], [], color=BASE_COLOUR, linewidth=1.3, linestyle=SWEEP_DASHES, marker="o", markerfacecolor="white",
               label=r"elbow paths from the rest positions (○), swept by $\theta_A$ and $\theta_B$"),
        Line2D([], [], color=COUPLER_COLOUR, linewidth=3,
               label=f"couplers $v_2$–$v_3$ and $v_4$–$v_3$ (coupler_arc {arm.coupler_arc():g})"),
        Line2D([], [], color=V3_COLOUR, linestyle=":", marker="o", label="$v_3$: coupler point, the pointing direction (direction())"),
        Line2D([], [], color=E1_COLOUR, linewidth=2.2, label="e1: from $v_3$ toward the elbows (fk column 0)"),
        Line2D([], [], color=E2_COLOUR, linewidth=2.2, label="e2 = $v_3$ × e1 (fk column 1)"),
        Line2D([], [], color=E3_COLOUR, linewidth=2.2, label="e3 = $v_3$ (fk column 2)"),
    ]


def draw(named: NamedArm, drawing: ArmDrawing, theta_a: float, theta_b: float, path: Path) -> None:
    # matplotlib loads only once the inputs are checked, so bad input fails fast.
    import matplotlib.figure
    from matplotlib.backends.backend_agg import FigureCanvasAgg

    figure = matplotlib.figure.Figure(figsize=(FIGURE_WIDTH, FIGURE_HEIGHT))
    FigureCanvasAgg(figure)  # the non-interactive Agg renderer, without pyplot's global state
    # Drawn in call order, so the sphere stays behind the arm.
    ax = cast(Axes3D, figure.add_axes(SPHERE_BOX, projection="3d", computed_zorder=False))
    elevation, azimuth = view_angles(drawing)
    ax.view_init(elev=elevation, azim=azimuth)
    eye = camera(elevation, azimuth)
    # Zoomed to the arm; the far side of the sphere may leave the picture.
    centre, half = view_box(drawing)
    draw_sphere_and_base(ax, drawing, centre, half)
    draw_joints(ax, drawing, eye)
    draw_end_effector(ax, drawing, eye)
    ax.set_xlim(centre[0] - half, centre[0] + half)
    ax.set_ylim(centre[1] - half, centre[1] + half)
    ax.set_zlim(centre[2] - half, centre[2] + half)
    ax.set_box_aspect((1.0, 1.0, 1.0), zoom=1.2)
    ax.set_axis_off()

    figure.legend(handles=legend_entries(named.arm), loc="lower center", ncol=1, frameon=False, fontsize=10)
    pose = f"{degrees_text(r'$\theta_A$', theta_a)},   {degrees_text(r'$\theta_B$', theta_b)}"
    figure.suptitle(f"{named.label}\n{pose}", fontsize=14, y=1.0 - 0.12 / FIGURE_HEIGHT, va="top")
    if named.note:
        figure.text(0.5, 1.0 - 0.68 / FIGURE_HEIGHT, named.note, fontsize=9.5, ha="center", va="top", style="italic")
    save(figure, path, DPI)


def run(argv: Sequence[str]) -> None:
    args = build_parser().parse_args(argv)
    theta_a = check_angle("theta_a", args.theta_a)
    theta_b = check_angle("theta_b", args.theta_b)
    arms = select_arms(
        args,
        presets,
        document_label=lambda arm, path: f"{side(arm).capitalize()} arm from {path.name}",
        flags_label=lambda arm, branch: f"Custom {side(arm)} arm, {branch} branch",
    )
    drawings = [arm_drawing(named.arm, theta_a, theta_b) for named in arms]
    out: Path = args.out
    make_output_directory(out)
    for named, drawing in zip(arms, drawings):
        draw(named, drawing, theta_a, theta_b, out / (RIGHT_FILE if named.arm.mirror() else LEFT_FILE))


def main(argv: Sequence[str] | None = None) -> int:
    return exit_status("arm_picture.py", run, argv)


if __name__ == "__main__":
    sys.exit(main())
