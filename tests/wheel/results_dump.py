"""Writes every function's results on fixed inputs, so two builds compare value by value.

usage: results_dump.py OUT [--save-inputs FILE | --load-inputs FILE]
  OUT            the records, one line per call (results_format.py), or pickled
                 unencoded when OUT ends in .pickle (for a run under emulation)
  --save-inputs  draw the inputs and keep them in FILE as well
  --load-inputs  call on the inputs kept in FILE instead of drawing them

Some inputs are drawn through the module under test (targets the arm reaches
come from its own fk), and libm's last bits differ between CPUs: a build on
another CPU loads the inputs its reference saved, so both see the very same
numbers. results_compare.py reads two dumps.

FUNCTIONS holds one row per function: its name, the subjects it is called on,
how to call it and what draws its inputs. A function added to either module
is one more row.
"""

import argparse
import math
import os
import pickle
import random
import sys
from typing import Any, Callable, NamedTuple

import numpy as np
import quorvel_torso_kinematics as qtk
import quorvel_torso_kinematics_batch as batch

# Run with -I, so that only the installed module is imported: its own
# directory is then off sys.path, and holds no module of that name.
sys.path.append(os.path.dirname(os.path.abspath(__file__)))
from results_format import line  # noqa: E402

PER_ARM = 1500
SEED = 20260
Arm, Neck = qtk.QuorvelArmKinematics, qtk.QuorvelNeckKinematics

ARMS = {"left": Arm.default_left, "right": Arm.default_right,
        "wide": lambda: Arm(0.9, 0.45, False), "narrow_mirrored": lambda: Arm(0.55, 0.65, True)}
NECK = {"neck": Neck}
MODULE = {"-": lambda: None}


# ---- input generators: (rng, subject) -> list of inputs ----------------------------------------------------------

def rotation(rng):
    """A random proper rotation from a random unit quaternion."""
    w, x, y, z = (rng.gauss(0, 1) for _ in range(4))
    n = math.sqrt(w * w + x * x + y * y + z * z)
    w, x, y, z = w / n, x / n, y / n, z / n
    return [[1 - 2 * (y * y + z * z), 2 * (x * y - w * z), 2 * (x * z + w * y)],
            [2 * (x * y + w * z), 1 - 2 * (x * x + z * z), 2 * (y * z - w * x)],
            [2 * (x * z - w * y), 2 * (y * z + w * x), 1 - 2 * (x * x + y * y)]]


def number_text(rng):
    value = rng.choice([rng.uniform(-2, 2), rng.uniform(0, 1) * 10.0 ** rng.randint(-320, 308), rng.uniform(0.1, 1.5)])
    return rng.choice([repr(value), f"{value:.17g}", f"{value:.3e}", f"{value:.25f}", f"{value:E}"])


def joint_pairs(rng, _arm):
    # Most pairs close the loop; every eighth is drawn from the whole turn.
    pairs = [(rng.uniform(-w, w), rng.uniform(-w, w)) for w in (math.pi if i % 8 == 0 else 1.7 for i in range(PER_ARM))]
    pairs[:6] = [(0.0, 0.0), (-0.0, 0.0), (math.nan, 0.0), (math.inf, 1.0), (1e300, -1e300), (0.0, math.pi)]
    return pairs


def targets(rng, arm):
    """Rotations the arm reaches, the same nudged across the 1e-6 acceptance, and unrelated ones."""
    found = []
    for pair in joint_pairs(rng, arm):
        try:
            reached = arm.fk(*pair)
        except RuntimeError:
            reached = rotation(rng)
        choice = rng.randrange(3)
        nudge = (0.0, rng.uniform(-2e-6, 2e-6), 0.0)[choice]
        target = reached if choice < 2 else rotation(rng)
        found.append([[v + nudge for v in row] for row in target])
    return found


def pointings(rng, arm):
    """(v3, near): the targets' third columns at several lengths, near a random pair or None."""
    return [([row[2] * rng.choice([1.0, 2.5, 1e-7]) for row in target],
             rng.choice([None, (rng.uniform(-4, 4), rng.uniform(-4, 4))])) for target in targets(rng, arm)]


def neck_angles(rng, _neck):
    angles = [[rng.uniform(-math.pi, math.pi), rng.uniform(-math.pi / 2, math.pi / 2), rng.uniform(-math.pi, math.pi)]
              for _ in range(4 * PER_ARM)]
    # Pitch at and around the gimbal-lock margin.
    for i in range(0, len(angles), 50):
        angles[i][1] = math.copysign(math.pi / 2, angles[i][1]) - rng.choice([0.0, 1e-6, 2e-6, 1e-3, 5e-7])
    return angles


def neck_targets(rng, neck):
    return [neck.fk(joints) if i % 4 else rotation(rng) for i, joints in enumerate(neck_angles(rng, neck))]


def geometries(rng, _):
    """(arm_arc, coupler_arc, mirror), stored unchecked: any float, NaN and infinities too."""
    special = [math.nan, math.inf, -math.inf, 0.0, -0.0, 1e-300, math.pi]
    return [(rng.choice(special) if i % 10 == 0 else rng.uniform(-4, 4), rng.uniform(0, 2), rng.random() < 0.5)
            for i in range(PER_ARM)]


def documents(rng, _):
    """Numbers read by the document reader, and floats it describes in messages."""
    found = []
    for _ in range(4 * PER_ARM):
        last = rng.choice(['"mirror": true', f'"mirror": {number_text(rng)}'] + ['"branch": "negative"'] * 2)
        found.append(f'{{"arm_arc": {number_text(rng)}, "coupler_arc": {number_text(rng)}, {last}}}')
    return found


def once(_rng, _):
    return [()]


class From(NamedTuple):
    """Inputs shaped from another generator's: the companion sees the rows the per-call methods saw."""
    source: Callable[[random.Random, Any], list[Any]]
    shape: Callable[[list[Any]], list[Any]]


def as_blocks(rows):
    """All rows as one array, the same under a two-dimensional leading shape, and none."""
    whole = np.array(rows, dtype=np.float64)
    n = len(whole) // 50 * 50
    return [whole, whole[:n].reshape((n // 50, 50) + whole.shape[1:]), whole[:0]]


def directions_of(pointings_drawn):
    return [v for v, _ in pointings_drawn]


def with_near(pointings_drawn):
    """(v3, near): near None, one pair for all rows, or a pair per row (None drawn as (0, 0))."""
    v3 = np.array(directions_of(pointings_drawn))
    near = np.array([n or (0.0, 0.0) for _, n in pointings_drawn])
    return [(v3, None), (v3, near), (v3, near[7])]


def as_paths(pointings_drawn):
    """(directions (N, 3), start, options) in the drawn order, from two starts, with and without limits."""
    v3 = np.array(directions_of(pointings_drawn))
    limited = {"max_step": 0.3, "joint_limits": [[-1.5, 1.5], [-1.2, 1.2]]}
    return [(v3, np.array([0.0, 0.0]), {}), (v3, np.array([1.3, -0.4]), limited)]


def with_rates(pairs):
    """(joints, v3_rate, damping): a rate per row, undamped and damped."""
    joints = np.array(pairs)
    rates = np.random.default_rng(SEED).normal(size=(len(joints), 3))
    return [(joints, rates, 0.0), (joints, rates, 0.05)]


def with_omega(angles):
    joints = np.array(angles)
    return [(joints, np.random.default_rng(SEED).normal(size=joints.shape))]


def with_previous(pointings_drawn):
    """(directions, previous): none, or the angles of a head that looked elsewhere."""
    v3 = np.array(directions_of(pointings_drawn))
    return [(v3, None), (v3, np.random.default_rng(SEED).uniform(-4, 4, size=v3.shape))]


# ---- how each function is called ------------------------------------------------------------------------------------

def geometry(arm):
    return [arm.arm_arc(), arm.coupler_arc(), arm.mirror()]


class Function(NamedTuple):
    name: str
    subjects: dict[str, Callable[[], Any]]
    call: Callable[[Any, Any], Any]
    inputs: Callable[[random.Random, Any], list[Any]] | From


FUNCTIONS = [
    # The constructors, read back through the three accessors.
    Function("QuorvelArmKinematics", MODULE, lambda _, g: geometry(Arm(*g)), geometries),
    Function("default_left", MODULE, lambda _, __: geometry(Arm.default_left()), once),
    Function("default_right", MODULE, lambda _, __: geometry(Arm.default_right()), once),
    Function("from_json", MODULE, lambda _, document: geometry(Arm.from_json(document)), documents),
    Function("fk", ARMS, lambda arm, pair: arm.fk(*pair), joint_pairs),
    Function("direction", ARMS, lambda arm, pair: arm.direction(*pair), joint_pairs),
    Function("is_reachable_joints", ARMS, lambda arm, pair: arm.is_reachable_joints(*pair), joint_pairs),
    Function("ik", ARMS, lambda arm, r: arm.ik(r), targets),
    Function("is_reachable_orientation", ARMS, lambda arm, r: arm.is_reachable_orientation(r), targets),
    Function("ik_from_direction", ARMS, lambda arm, p: arm.ik_from_direction(p[0], near=p[1]), pointings),
    Function("is_reachable_direction", ARMS, lambda arm, p: arm.is_reachable_direction(p[0]), pointings),
    Function("neck.fk", NECK, lambda neck, joints: neck.fk(joints), neck_angles),
    Function("neck.ik", NECK, lambda neck, r: neck.ik(r), neck_targets),
    Function("batch.fk", ARMS, lambda arm, b: batch.fk(arm, b), From(joint_pairs, as_blocks)),
    Function("batch.direction", ARMS, lambda arm, b: batch.direction(arm, b), From(joint_pairs, as_blocks)),
    Function("batch.is_reachable_joints", ARMS, lambda arm, b: batch.is_reachable_joints(arm, b),
             From(joint_pairs, as_blocks)),
    Function("batch.ik", ARMS, lambda arm, b: batch.ik(arm, b), From(targets, as_blocks)),
    Function("batch.ik_from_direction", ARMS,
             lambda arm, p: batch.ik_from_direction(arm, *p),
             From(pointings, with_near)),
    Function("batch.follow_path", ARMS, lambda arm, p: batch.follow_path(arm, p[0], p[1], **p[2]),
             From(pointings, as_paths)),
    Function("batch.direction_candidates", ARMS, lambda arm, b: batch.direction_candidates(arm, b),
             From(pointings, lambda drawn: as_blocks(directions_of(drawn)))),
    Function("batch.nearest_pointing", ARMS, lambda arm, b: batch.nearest_pointing(arm, b),
             From(targets, as_blocks)),
    Function("batch.neck_fk", NECK, lambda _, b: batch.neck_fk(b), From(neck_angles, as_blocks)),
    Function("batch.neck_ik", NECK, lambda _, b: batch.neck_ik(b), From(neck_targets, as_blocks)),
    Function("batch.direction_jacobian", ARMS, lambda arm, b: batch.direction_jacobian(arm, b),
             From(joint_pairs, as_blocks)),
    Function("batch.angular_jacobian", ARMS, lambda arm, b: batch.angular_jacobian(arm, b),
             From(joint_pairs, as_blocks)),
    Function("batch.singularity_measures", ARMS, lambda arm, b: tuple(batch.singularity_measures(arm, b)),
             From(joint_pairs, as_blocks)),
    Function("batch.joint_rates", ARMS, lambda arm, p: batch.joint_rates(arm, *p), From(joint_pairs, with_rates)),
    Function("batch.workspace_margin", ARMS, lambda arm, b: batch.workspace_margin(arm, b),
             From(pointings, lambda drawn: as_blocks(directions_of(drawn)))),
    Function("batch.nearest_reachable_direction", ARMS, lambda arm, b: batch.nearest_reachable_direction(arm, b),
             From(pointings, lambda drawn: as_blocks(directions_of(drawn)))),
    Function("batch.neck_angular_jacobian", NECK, lambda _, b: batch.neck_angular_jacobian(b),
             From(neck_angles, as_blocks)),
    Function("batch.neck_joint_rates", NECK, lambda _, p: batch.neck_joint_rates(*p), From(neck_angles, with_omega)),
    Function("batch.neck_look_at", ARMS, lambda _, p: batch.neck_look_at(*p), From(pointings, with_previous)),
    Function("batch.geometry", MODULE, lambda _, g: list(batch.geometry(Arm(*g)).values()), geometries),
    Function("batch.to_json", MODULE, lambda _, g: batch.to_json(Arm(*g)), geometries),
]


# ---- running ----------------------------------------------------------------------------------------------------

def outcome(call, *args):
    try:
        return call(*args)
    except Exception as error:  # noqa: BLE001 - the exception's type and text are results too
        return {"raised": f"{type(error).__name__}: {error}"}


def drawn(generator, subject_name, subject, kept, load):
    # Seeded by generator and subject: a new row leaves every other row's inputs as they were.
    key = f"{generator.__name__} {subject_name}"
    if key not in kept:
        if load:
            raise SystemExit(f"results_dump: the inputs file has no {key!r}; save the inputs again")
        kept[key] = generator(random.Random(f"{SEED} {key}"), subject)
    return kept[key]


def inputs_of(function, subject_name, subject, kept, shaped, load):
    if not isinstance(function.inputs, From):
        return drawn(function.inputs, subject_name, subject, kept, load)
    key = (function.inputs, subject_name)
    if key not in shaped:
        shaped[key] = function.inputs.shape(drawn(function.inputs.source, subject_name, subject, kept, load))
    return shaped[key]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("out")
    where = parser.add_mutually_exclusive_group()
    where.add_argument("--save-inputs")
    where.add_argument("--load-inputs")
    args = parser.parse_args()
    kept = {}
    if args.load_inputs:
        with open(args.load_inputs, "rb") as f:
            kept = pickle.load(f)
    subjects = {name: make() for group in (ARMS, NECK, MODULE) for name, make in group.items()}
    records, shaped = [], {}
    for function in FUNCTIONS:
        for name in function.subjects:
            for i, given in enumerate(inputs_of(function, name, subjects[name], kept, shaped, bool(args.load_inputs))):
                records.append((name, function.name, i, outcome(function.call, subjects[name], given)))
    if args.out.endswith(".pickle"):
        with open(args.out, "wb") as f:
            pickle.dump(records, f, protocol=pickle.HIGHEST_PROTOCOL)
    else:
        with open(args.out, "w", encoding="utf-8") as f:
            f.writelines(line(*record) + "\n" for record in records)
    if args.save_inputs:
        with open(args.save_inputs, "wb") as f:
            pickle.dump(kept, f)
    companion = [f for f in FUNCTIONS if f.name.startswith("batch.")]
    companion_calls = sum(r[1].startswith("batch.") for r in records)
    print(f"{len(records) - companion_calls} calls of {len(FUNCTIONS) - len(companion)} methods, "
          f"{companion_calls} calls of {len(companion)} companion functions")


if __name__ == "__main__":
    main()
