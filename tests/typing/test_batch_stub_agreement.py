"""The companion's installed stub against its behaviour: what each function
returns, and which calls a type checker refuses."""

import ast
import re
import typing
from pathlib import Path

import mypy.api
import numpy as np
import numpy.typing as npt
import pytest

import quorvel_torso_kinematics_batch as qb
from quorvel_torso_kinematics import QuorvelArmKinematics as Arm, QuorvelNeckKinematics as Neck

MYPY_CACHE = Path(__file__).resolve().parents[2] / "build" / "mypy-cache" / "batch-agreement"
STUB = Path(qb.__file__).parent / "quorvel_torso_kinematics_batch-stubs" / "__init__.pyi"
arm = Arm.default_left()
rotation = np.array(arm.fk(0.3, -0.2))

CALLS = {
    "fk": lambda: qb.fk(arm, [[0.3, -0.2]]),
    "direction": lambda: qb.direction(arm, [0.3, -0.2]),
    "is_reachable_joints": lambda: qb.is_reachable_joints(arm, np.zeros((2, 2))),
    "ik": lambda: qb.ik(arm, rotation),
    "ik_from_direction": lambda: qb.ik_from_direction(arm, rotation[:, 2], near=(0.3, -0.2)),
    "follow_path": lambda: qb.follow_path(arm, rotation[:, 2][None], (0.3, -0.2)),
    "direction_candidates": lambda: qb.direction_candidates(arm, rotation[:, 2]),
    "nearest_pointing": lambda: qb.nearest_pointing(arm, rotation),
    "neck_fk": lambda: qb.neck_fk([0.3, -0.7, 1.1]),
    "neck_ik": lambda: qb.neck_ik(np.eye(3)),
    "direction_jacobian": lambda: qb.direction_jacobian(arm, [0.3, -0.2]),
    "angular_jacobian": lambda: qb.angular_jacobian(arm, [[0.3, -0.2]], workers=2),
    "singularity_measures": lambda: qb.singularity_measures(arm, [[0.3, -0.2]]),
    "joint_rates": lambda: qb.joint_rates(arm, [0.3, -0.2], [0.0, 0.1, 0.0], 0.05),
    "workspace_margin": lambda: qb.workspace_margin(arm, rotation[:, 2]),
    "nearest_reachable_direction": lambda: qb.nearest_reachable_direction(arm, [0.0, 0.0, 1.0]),
    "neck_angular_jacobian": lambda: qb.neck_angular_jacobian([0.3, -0.7, 1.1]),
    "neck_joint_rates": lambda: qb.neck_joint_rates([0.3, -0.7, 1.1], [0.0, 0.0, 1.0]),
    "neck_look_at": lambda: qb.neck_look_at([[1.0, 0.0, 0.0]], previous=[3.0, 0.0, 0.0]),
    "geometry": lambda: qb.geometry(arm),
    "to_json": lambda: qb.to_json(arm),
}


def stub_returns():
    tree = ast.parse(STUB.read_text(encoding="utf-8"))
    aliases = {node.targets[0].id: ast.unparse(node.value) for node in tree.body
               if isinstance(node, ast.Assign) and isinstance(node.targets[0], ast.Name)}
    returns = {}
    for node in tree.body:
        if isinstance(node, ast.FunctionDef):
            text = ast.unparse(node.returns)
            for alias, value in aliases.items():
                text = re.sub(rf"\b{alias}\b", value, text)
            returns[node.name] = text
    return returns


def conforms(value, hint):
    if hint is qb.SingularityMeasures:
        return type(value) is hint and all(conforms(field, npt.NDArray[np.float64]) for field in value)
    if isinstance(hint, type):  # str, or dict for the geometry's TypedDict
        return type(value) is hint
    if typing.get_origin(hint) is tuple:
        args = typing.get_args(hint)
        return type(value) is tuple and len(value) == len(args) and all(map(conforms, value, args))
    if typing.get_origin(hint) is npt.NDArray:  # NumPy's alias, NDArray[scalar type]
        return type(value) is np.ndarray and value.dtype == typing.get_args(hint)[0]
    raise AssertionError(f"annotation {hint!r} not understood by this test")


def test_every_stub_function_is_called():
    assert set(stub_returns()) == set(CALLS)


@pytest.mark.parametrize("name", sorted(CALLS))
def test_return_annotation_matches_result(name):
    annotation = stub_returns()[name]
    names = {"np": np, "npt": npt, "SingularityMeasures": qb.SingularityMeasures, "_Geometry": dict}
    hint = eval(annotation, names)  # noqa: S307 - our own stub text
    result = CALLS[name]()
    assert conforms(result, hint), f"{name}: stub says {annotation}, got {result!r}"


# Lines marked "# error" are refused by the module with a TypeError and must
# be the only ones mypy reports. NumPy's ArrayLike also admits strings and
# complex numbers, which the module refuses at run time only.
TYPED_USE = """\
import numpy as np
import quorvel_torso_kinematics_batch as qb
from quorvel_torso_kinematics import QuorvelArmKinematics, QuorvelNeckKinematics
arm = QuorvelArmKinematics.default_left()
rotations, closed = qb.fk(arm, np.zeros((4, 2)))
angles, ok = qb.neck_ik(rotations)
joints, found = qb.ik_from_direction(arm, [[0, 1, 1]], near=None)
joints, found = qb.ik_from_direction(arm, [[0, 1, 1]], np.zeros(2))
path, reached, taken = qb.follow_path(arm, np.ones((3, 3)), start=(0.0, 0.0), max_step=0.1)
slots, exists, reaches = qb.direction_candidates(arm, [0.0, 1.0, 1.0])
pairs, residual, pointed = qb.nearest_pointing(arm, rotations)
qb.fk(QuorvelNeckKinematics(), [0.0, 0.0])  # error
qb.fk(arm)  # error
qb.neck_fk(joints=[0, 0, 0], r=1)  # error
qb.follow_path(arm, np.ones((3, 3)))  # error
count: int = qb.is_reachable_joints(arm, [0.0, 0.0])  # error
"""


def refused_at_run_time(line):
    namespace = {}
    exec("\n".join(l for l in TYPED_USE.splitlines()[:4]), namespace)  # noqa: S102 - the snippet's head
    try:
        exec(line.split("  #")[0].replace("count: int = ", ""), namespace)  # noqa: S102
    except TypeError:
        return True
    return False


def test_type_checker_refuses_exactly_what_the_module_refuses():
    stdout, stderr, status = mypy.api.run(["--strict", "--cache-dir", str(MYPY_CACHE), "--no-error-summary",
                                           "-c", TYPED_USE])
    assert status in (0, 1), stderr + stdout
    flagged = {int(n) for n in re.findall(r"^<string>:(\d+): error:", stdout, re.M)}
    lines = TYPED_USE.splitlines()
    marked = {i for i, line in enumerate(lines, 1) if line.endswith("# error")}
    assert flagged == marked, stdout
    # The annotated assignment is a type error only; every other marked call
    # is refused by the module too.
    assert [refused_at_run_time(lines[i - 1]) for i in sorted(marked)] == [True, True, True, True, False]
