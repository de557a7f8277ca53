"""Prints every method's results on a fixed set of inputs, floats as hex, so two builds compare bit for bit.

usage: results_dump.py OUT
  OUT  file to write, one line per call: method, input number, result or exception

Run by two interpreters (the project's build and an installed wheel); the
outputs must be byte-identical. Arrays from the companion are written as their
raw bytes, so NaN payloads and signed zeros count too.
"""

import math
import random
import sys

import numpy as np
import quorvel_torso_kinematics as qtk
import quorvel_torso_kinematics_batch as batch

PER_ARM = 1500
SEED = 20260
Arm, Neck = qtk.QuorvelArmKinematics, qtk.QuorvelNeckKinematics


def text(value):
    if isinstance(value, bool) or value is None:
        return repr(value)
    if isinstance(value, float):
        return value.hex()
    if isinstance(value, (list, tuple)):
        return "[" + ",".join(text(v) for v in value) + "]"
    if isinstance(value, np.ndarray):
        return f"{value.dtype}{value.shape}:{value.tobytes().hex()}"
    raise TypeError(f"no text for {type(value).__name__}")


def outcome(call, *args, **kwargs):
    try:
        return text(call(*args, **kwargs))
    except Exception as error:  # noqa: BLE001 - the exception's type and text are results too
        return f"{type(error).__name__}: {error}"


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


def arm_inputs(rng, arm):
    # Most pairs close the loop; every eighth is drawn from the whole turn.
    pairs = [(rng.uniform(-w, w), rng.uniform(-w, w)) for w in (math.pi if i % 8 == 0 else 1.7 for i in range(PER_ARM))]
    pairs[:6] = [(0.0, 0.0), (-0.0, 0.0), (math.nan, 0.0), (math.inf, 1.0), (1e300, -1e300), (0.0, math.pi)]
    rotations, directions = [], []
    for pair in pairs:
        try:
            reached = arm.fk(*pair)
        except RuntimeError:
            reached = rotation(rng)
        # Exact, nudged across the 1e-6 acceptance and unrelated targets.
        choice = rng.randrange(3)
        nudge = (0.0, rng.uniform(-2e-6, 2e-6), 0.0)[choice]
        target = reached if choice < 2 else rotation(rng)
        rotations.append([[v + nudge for v in row] for row in target])
        scale = rng.choice([1.0, 2.5, 1e-7])
        directions.append([row[2] * scale for row in target])
    nears = [rng.choice([None, (rng.uniform(-4, 4), rng.uniform(-4, 4))]) for _ in pairs]
    return pairs, rotations, directions, nears


def dump_arm(write, name, arm, rng):
    pairs, rotations, directions, nears = arm_inputs(rng, arm)
    for i, pair in enumerate(pairs):
        write(name, "fk", i, outcome(arm.fk, *pair))
        write(name, "direction", i, outcome(arm.direction, *pair))
        write(name, "is_reachable_joints", i, outcome(arm.is_reachable_joints, *pair))
    for i, (r, v3, near) in enumerate(zip(rotations, directions, nears, strict=True)):
        write(name, "ik", i, outcome(arm.ik, r))
        write(name, "is_reachable_orientation", i, outcome(arm.is_reachable_orientation, r))
        write(name, "ik_from_direction", i, outcome(arm.ik_from_direction, v3, near=near))
        write(name, "is_reachable_direction", i, outcome(arm.is_reachable_direction, v3))
    joints, targets, v3s = np.array(pairs), np.array(rotations), np.array(directions)
    near_rows = np.array([near or (0.0, 0.0) for near in nears])
    write(name, "batch.fk", 0, outcome(batch.fk, arm, joints))
    write(name, "batch.direction", 0, outcome(batch.direction, arm, joints))
    write(name, "batch.is_reachable_joints", 0, outcome(batch.is_reachable_joints, arm, joints))
    write(name, "batch.ik", 0, outcome(batch.ik, arm, targets))
    write(name, "batch.ik_from_direction", 0, outcome(batch.ik_from_direction, arm, v3s))
    write(name, "batch.ik_from_direction", 1, outcome(batch.ik_from_direction, arm, v3s, near_rows))
    write(name, "batch.ik_from_direction", 2, outcome(batch.ik_from_direction, arm, v3s, near_rows[7]))
    write(name, "batch.follow_path", 0, outcome(batch.follow_path, arm, v3s, near_rows[0]))
    write(name, "batch.direction_candidates", 0, outcome(batch.direction_candidates, arm, v3s))
    write(name, "batch.nearest_pointing", 0, outcome(batch.nearest_pointing, arm, targets))


def dump_neck(write, rng):
    neck = Neck()
    angles = [[rng.uniform(-math.pi, math.pi), rng.uniform(-math.pi / 2, math.pi / 2), rng.uniform(-math.pi, math.pi)]
              for _ in range(4 * PER_ARM)]
    # Pitch at and around the gimbal-lock margin.
    for i in range(0, len(angles), 50):
        angles[i][1] = math.copysign(math.pi / 2, angles[i][1]) - rng.choice([0.0, 1e-6, 2e-6, 1e-3, 5e-7])
    matrices = []
    for i, joints in enumerate(angles):
        write("neck", "fk", i, outcome(neck.fk, joints))
        matrices.append(neck.fk(joints) if i % 4 else rotation(rng))
        write("neck", "ik", i, outcome(neck.ik, matrices[-1]))
    write("neck", "batch.neck_fk", 0, outcome(batch.neck_fk, np.array(angles)))
    write("neck", "batch.neck_ik", 0, outcome(batch.neck_ik, np.array(matrices)))


def dump_documents(write, rng):
    # Numbers read by the document reader, and floats it describes in messages.
    def read(document):
        arm = Arm.from_json(document)
        return [arm.arm_arc(), arm.coupler_arc(), arm.mirror()]

    for i in range(4 * PER_ARM):
        last = rng.choice(['"mirror": true', f'"mirror": {number_text(rng)}'] + ['"branch": "negative"'] * 2)
        document = f'{{"arm_arc": {number_text(rng)}, "coupler_arc": {number_text(rng)}, {last}}}'
        write("document", "from_json", i, outcome(read, document))


def main():
    (out,) = sys.argv[1:]
    rng = random.Random(SEED)
    counts = {}
    with open(out, "w", encoding="utf-8") as lines:
        def write(owner, method, i, result):
            counts[method] = counts.get(method, 0) + 1
            lines.write(f"{owner} {method} {i} {result}\n")

        arms = {"left": Arm.default_left(), "right": Arm.default_right(), "wide": Arm(0.9, 0.45, False),
                "narrow_mirrored": Arm(0.55, 0.65, True)}
        for name, arm in arms.items():
            dump_arm(write, name, arm, rng)
        dump_neck(write, rng)
        dump_documents(write, rng)
    scalar = {m: n for m, n in counts.items() if not m.startswith("batch.")}
    print(f"{sum(scalar.values())} calls of {len(scalar)} methods, {len(counts) - len(scalar)} companion functions")


if __name__ == "__main__":
    main()
