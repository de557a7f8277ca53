"""The arm geometry chosen on the command line, and bad input reported in one line.

Shared by the picture scripts: the geometry flags or a geometry document (else
the script's own presets), the output directory and the written files, and the
exit status 2 with one line on standard error for any bad input.
"""

from __future__ import annotations

import argparse
import json
import math
import sys
from collections.abc import Callable, Sequence
from dataclasses import dataclass
from pathlib import Path
from typing import TYPE_CHECKING, NoReturn

from quorvel_torso_kinematics import QuorvelArmKinematics

if TYPE_CHECKING:
    from matplotlib.figure import Figure

Arm = QuorvelArmKinematics


@dataclass(frozen=True)
class NamedArm:
    label: str
    arm: Arm
    note: str = ""


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


def check_arc(name: str, value: float) -> float:
    # The module stores any float; outside (0, π) the linkage is not a real one.
    if not (math.isfinite(value) and 0.0 < value < math.pi):
        raise UsageError(f"{name} must be an angle in radians strictly between 0 and pi (got {value!r})")
    return value


def add_geometry_and_output(parser: argparse.ArgumentParser) -> None:
    """The geometry flags, --document and --out."""
    geometry = parser.add_argument_group("geometry (default: the left and right presets)")
    geometry.add_argument("--arm-arc", type=float, help="arc of each input arm, radians (default 0.7)")
    geometry.add_argument("--coupler-arc", type=float, help="arc of each coupler segment, radians (default 0.5)")
    geometry.add_argument("--mirror", action="store_true", help="a right (mirrored) arm")
    geometry.add_argument("--branch", choices=("positive", "negative"), help="closure of the loop (default positive)")
    geometry.add_argument("--document", type=Path, help="JSON geometry document; excludes the flags above")
    parser.add_argument("--out", type=Path, default=Path("out"), help="output directory (default out/)")


def flag_arm(arm_arc: float, coupler_arc: float, branch: str, mirror: bool) -> Arm:
    # The constructor always assembles the positive branch; only a geometry
    # document chooses the branch, so every flag geometry goes through one.
    document = {"arm_arc": arm_arc, "coupler_arc": coupler_arc, "branch": branch, "mirror": mirror}
    return QuorvelArmKinematics.from_json(json.dumps(document))


def document_arm(path: Path) -> Arm:
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
    return arm


def select_arms(
    args: argparse.Namespace,
    presets: Callable[[], list[NamedArm]],
    document_label: Callable[[Arm, Path], str],
    flags_label: Callable[[Arm, str], str],
) -> list[NamedArm]:
    """The one arm --document or the geometry flags give, named by the script (flags_label
    gets the branch, which the arm does not expose), else the script's presets."""
    flags_given = args.arm_arc is not None or args.coupler_arc is not None or args.mirror or args.branch is not None
    if args.document is not None:
        if flags_given:
            raise UsageError("--document cannot be combined with --arm-arc, --coupler-arc, --mirror or --branch")
        arm = document_arm(args.document)
        return [NamedArm(document_label(arm, args.document), arm)]
    if not flags_given:
        return presets()
    arm_arc = check_arc("arm_arc", 0.7 if args.arm_arc is None else args.arm_arc)
    coupler_arc = check_arc("coupler_arc", 0.5 if args.coupler_arc is None else args.coupler_arc)
    branch = args.branch or "positive"
    arm = flag_arm(arm_arc, coupler_arc, branch, bool(args.mirror))
    return [NamedArm(flags_label(arm, branch), arm)]


def make_output_directory(out: Path) -> None:
    try:
        out.mkdir(parents=True, exist_ok=True)
    except OSError as error:
        raise UsageError(f"cannot create {out}: {error.strerror or error}") from None


def save(figure: Figure, path: Path, dpi: int) -> None:
    """Writes the figure and prints its path."""
    try:
        figure.savefig(path, dpi=dpi)
    except OSError as error:
        raise UsageError(f"cannot write {path}: {error.strerror or error}") from None
    print(path, flush=True)


def exit_status(script: str, run: Callable[[Sequence[str]], None], argv: Sequence[str] | None) -> int:
    """Runs run(argv, else the command line's arguments): 0, or 2 once a UsageError is
    on standard error as one line headed by the script's file name."""
    try:
        run(sys.argv[1:] if argv is None else argv)
    except UsageError as error:
        print(f"{script}: error: {one_line(str(error))}", file=sys.stderr)
        return 2
    return 0
