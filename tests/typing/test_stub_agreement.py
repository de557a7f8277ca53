"""The installed stubs against the module's behaviour, where stubtest cannot look:
stubtest checks names, parameters and defaults, but neither what a compiled
method returns nor which argument types it accepts."""

import ast
import math
import re
import typing
from fractions import Fraction
from pathlib import Path

import mypy.api
import numpy as np
import pytest

import quorvel_torso_kinematics as qtk
from quorvel_torso_kinematics import QuorvelArmKinematics as Arm, QuorvelNeckKinematics as Neck

MYPY_CACHE = Path(__file__).resolve().parents[2] / "build" / "mypy-cache" / "agreement"
STUB = Path(qtk.__file__).parent / "quorvel_torso_kinematics-stubs" / "__init__.pyi"
DOC = '{"arm_arc": 0.7, "coupler_arc": 0.5}'
arm, neck = Arm.default_left(), Neck()


def stub_returns():
    """{(class, method): return annotation} read from the installed stub."""
    tree = ast.parse(STUB.read_text(encoding="utf-8"))
    return {(c.name, f.name): (c.name, ast.unparse(f.returns))
            for c in tree.body if isinstance(c, ast.ClassDef) and not c.name.startswith("_")
            for f in c.body if isinstance(f, ast.FunctionDef)}


# One real call per stub method; the stub's return annotation must describe what it gives.
CALLS = {
    ("QuorvelArmKinematics", "__new__"): lambda: Arm(0.8, coupler_arc=0.6, mirror=True),
    ("QuorvelArmKinematics", "default_left"): Arm.default_left,
    ("QuorvelArmKinematics", "default_right"): Arm.default_right,
    ("QuorvelArmKinematics", "from_json"): lambda: Arm.from_json(DOC),
    ("QuorvelArmKinematics", "fk"): lambda: arm.fk(0.3, -0.2),
    ("QuorvelArmKinematics", "ik"): lambda: arm.ik(arm.fk(0.3, -0.2)),
    ("QuorvelArmKinematics", "ik_from_direction"): lambda: arm.ik_from_direction(arm.direction(0, 0), (1.3, 0.0)),
    ("QuorvelArmKinematics", "direction"): lambda: arm.direction(0.3, -0.2),
    ("QuorvelArmKinematics", "is_reachable_joints"): lambda: arm.is_reachable_joints(0.0, math.pi),
    ("QuorvelArmKinematics", "is_reachable_orientation"): lambda: arm.is_reachable_orientation(arm.fk(0, 0)),
    ("QuorvelArmKinematics", "is_reachable_direction"): lambda: arm.is_reachable_direction([0, 0, 1]),
    ("QuorvelArmKinematics", "arm_arc"): arm.arm_arc,
    ("QuorvelArmKinematics", "coupler_arc"): arm.coupler_arc,
    ("QuorvelArmKinematics", "mirror"): arm.mirror,
    ("QuorvelNeckKinematics", "__new__"): Neck,
    ("QuorvelNeckKinematics", "fk"): lambda: neck.fk([0.3, -0.7, 1.1]),
    ("QuorvelNeckKinematics", "ik"): lambda: neck.ik(neck.fk([0.3, -0.7, 1.1])),
}


def conforms(value, hint):
    origin, args = typing.get_origin(hint), typing.get_args(hint)
    if origin is list:
        return type(value) is list and all(conforms(v, args[0]) for v in value)
    if origin is tuple:
        return type(value) is tuple and len(value) == len(args) and all(map(conforms, value, args))
    if isinstance(hint, type):
        return type(value) is hint  # exact: a float result is never an int
    raise AssertionError(f"annotation {hint!r} not understood by this test")


def test_every_stub_method_is_called():
    assert set(stub_returns()) == set(CALLS)


@pytest.mark.parametrize("key", sorted(CALLS), ids="{0[0]}.{0[1]}".format)
def test_return_annotation_matches_result(key):
    owner, annotation = stub_returns()[key]
    hint = eval(annotation, {"Self": getattr(qtk, owner), **vars(qtk)})  # noqa: S307 - our own stub text
    result = CALLS[key]()
    assert conforms(result, hint), f"{key}: stub says {annotation}, got {result!r}"


# Calls that the module accepts or refuses with a TypeError; the type checker
# must agree on each. Length errors (ValueError) are out of a checker's reach.
ARGUMENT_CASES = [
    "arm.fk(0, 1)",
    "arm.fk(theta_b=0.5, theta_a=Fraction(1, 3))",
    "arm.fk(True, np.float64(0.1))",
    "arm.direction(np.int64(1), 0.0)",
    "arm.fk('0', 0)",
    "arm.fk(None, 0)",
    "arm.fk(0)",
    "arm.fk(0, 0, 0)",
    "arm.is_reachable_joints(0, theta_c=1)",
    "Arm(1, 2)",
    "Arm(0.9, mirror=True)",
    "Arm(mirror=1)",
    "Arm(mirror=None)",
    "Arm(arm_arc=None)",
    "Arm('0.7')",
    "Arm(0.7, 0.5, False, 1)",
    "Arm.from_json(DOC)",
    "arm.from_json(DOC)",
    "Arm.from_json(b'{}')",
    "Arm.default_left(0)",
    "arm.arm_arc(1)",
    "arm.ik_from_direction((0, 1, 1))",
    "arm.ik_from_direction(range(3), None)",
    "arm.ik_from_direction(v3=np.array([0.0, 1.0, 1.0]), near=(1, 0))",
    "arm.ik_from_direction([0.0, 1.0, 1.0], near=[1.0, 0.0])",
    "arm.ik_from_direction('abc')",
    "arm.ik_from_direction({0.0, 1.0, 2.0})",
    "arm.is_reachable_direction([0, 1, 1], near=None)",
    "arm.ik([[1, 0, 0], [0, 1, 0], [0, 0, 1]])",
    "arm.ik(((1.0, 0, 0), (0, 1.0, 0), (0, 0, 1.0)))",
    "arm.is_reachable_orientation(np.eye(3))",
    "arm.ik([1, 0, 0])",
    "arm.is_reachable_orientation([[1, 0, 0], [0, 1, 0], [0, 0, '1']])",
    "neck.fk(joints=[0, 0, 0])",
    "neck.fk(b'abc')",
    "neck.fk(0.5)",
    "neck.fk([0, 0, 0], r=1)",
    "neck.ik(r=[[1.0, 0.0, 0.0]] * 3)",
    "neck.ik([[0, 0, 1], [0, 1, 0], [-1, 0, 0]])",
    "neck.ik(None)",
    "Neck(0)",
]

SNIPPET_HEAD = """\
from fractions import Fraction
import numpy as np
from quorvel_torso_kinematics import QuorvelArmKinematics as Arm, QuorvelNeckKinematics as Neck
DOC = '{}'
arm, neck = Arm.default_left(), Neck()
"""


def refused_at_run_time(expression):
    try:
        eval(expression, {"Arm": Arm, "Neck": Neck, "arm": arm, "neck": neck,  # noqa: S307
                          "DOC": DOC, "Fraction": Fraction, "np": np})
    except TypeError:
        return True
    except (ValueError, RuntimeError):
        pass  # a value the types allow: wrong length, out of the workspace, gimbal lock
    return False


def test_type_checker_agrees_with_the_module():
    snippet = SNIPPET_HEAD + "\n".join(ARGUMENT_CASES) + "\n"
    first = SNIPPET_HEAD.count("\n") + 1
    stdout, stderr, status = mypy.api.run(["--cache-dir", str(MYPY_CACHE), "--no-error-summary", "-c", snippet])
    assert status in (0, 1), stderr + stdout
    flagged = {int(n) for n in re.findall(r"^<string>:(\d+): error:", stdout, re.M)}
    assert not {n for n in flagged if n < first}, stdout
    disagreements = [
        f"{expression}: module {'refuses' if refused else 'accepts'}, mypy {'refuses' if checked else 'accepts'}"
        for line, expression in enumerate(ARGUMENT_CASES, first)
        if (refused := refused_at_run_time(expression)) != (checked := line in flagged)
    ]
    assert not disagreements, "\n".join(disagreements) + "\n" + stdout
