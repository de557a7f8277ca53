"""What `make bench` measures: the inputs, and one row per measured call.

A row added to COMPANION (a function, its statement, the core benchmark it
is held against) is timed, counted and shown in every table and goal built
from that list; nothing else changes while its core benchmark is in CORE. A
new core benchmark is a row in CORE, one in core_bench.cpp and an operation
of callgrind_driver.cpp. A row added to METHODS needs the floor module to
mirror the method too. COMPANION_RELATIVE and WORKERS name COMPANION rows.
"""

from __future__ import annotations

import json
import sys
from pathlib import Path
from typing import NamedTuple

# The inputs of every benchmark; core_bench.cpp and callgrind_driver.cpp use the same ones.
THETA_A, THETA_B = 0.3, -0.2
NECK_JOINTS = [0.3, -0.7, 1.1]
V3_RATE, DAMPING = [0.1, -0.2, 0.3], 0.05  # joint_rates at the arm's pose
OMEGA = [0.2, -0.1, 0.3]  # neck_joint_rates at NECK_JOINTS
LOOK_DIRECTION = [0.6, 0.3, -0.5]  # neck_look_at
MAX_STEP, JOINT_LIMITS = 0.5, [[-1.5, 1.5], [-1.5, 1.5]]  # follow_path; neither refuses the benchmark's pair
TYPICAL_DOCUMENT = '{"arm_arc": 0.7, "coupler_arc": 0.5, "branch": "positive", "mirror": false}'
DOCUMENT_SIZES = {"1kb": 1024, "1mb": 1024 * 1024, "10mb": 10 * 1024 * 1024}

CALLGRIND_CALLS = 2000  # calls of each core operation in the callgrind driver
PYTHON_CALLGRIND_CALLS = 1000  # calls of each Python-level statement under callgrind
CALLGRIND_BATCH_ROWS = 10_000  # poses per companion call under callgrind
CALLGRIND_BATCH_CALLS = 3
BATCH_N = 100_000  # poses per companion call in the per-pose timings
MEMORY_N = 10_000_000  # arm forward poses of the peak-memory check
THREAD_N = 400_000  # poses of the two-threads row
WORKERS_N = 1_000_000  # rows of the workers=-1 rows

# Core benchmark (core_bench.cpp) -> the callgrind driver's operation doing the same work.
CORE = {
    "BM_forward_kinematics": "fk",
    "BM_is_reachable_joints": "is_reachable_joints",
    "BM_ik": "ik",
    "BM_is_reachable_orientation": "is_reachable_orientation",
    "BM_ik_from_direction": "ik_from_direction",
    "BM_ik_from_direction_near": "ik_from_direction_near",
    "BM_is_reachable_direction": "is_reachable_direction",
    "BM_direction_candidate_slots": "direction_candidate_slots",
    "BM_nearest_pointing": "nearest_pointing",
    "BM_neck_forward_kinematics": "neck_fk",
    "BM_neck_inverse_kinematics": "neck_ik",
    "BM_direction_jacobian": "direction_jacobian",
    "BM_angular_jacobian": "angular_jacobian",
    "BM_singularity_measures": "singularity_measures",
    "BM_joint_rates": "joint_rates",
    "BM_joint_rates_damped": "joint_rates_damped",
    "BM_neck_angular_jacobian": "neck_angular_jacobian",
    "BM_neck_joint_rates": "neck_joint_rates",
    "BM_neck_look_at": "neck_look_at",
    "BM_workspace_margin_inside": "workspace_margin_inside",
    "BM_workspace_margin_outside": "workspace_margin_outside",
    "BM_nearest_reachable_direction_inside": "nearest_reachable_direction_inside",
    "BM_nearest_reachable_direction_outside": "nearest_reachable_direction_outside",
    "BM_parse_geometry_document/typical": "parse_typical",
}


class Method(NamedTuple):
    """A public method of the main module. `statement` runs against the module,
    the floor and (where `pure`) the pure-Python peer: each namespace binds Q,
    arm and neck to its own class and objects."""

    name: str
    statement: str
    core: str | None  # core benchmark; None where no core code runs
    pure: bool = False
    scipy: str | None = None


METHODS = [
    Method("QuorvelArmKinematics(0.7, 0.5)", "Q(0.7, 0.5)", None),
    Method("QuorvelArmKinematics(0.7, 0.5, mirror=True)", "Q(0.7, 0.5, mirror=True)", None),
    Method("default_left()", "Q.default_left()", None),
    Method("default_right()", "Q.default_right()", None),
    Method("fk(a, b)", "arm.fk(0.3, -0.2)", "BM_forward_kinematics", pure=True),
    Method("fk(theta_a=, theta_b=)", "arm.fk(theta_a=0.3, theta_b=-0.2)", "BM_forward_kinematics"),
    Method("direction(a, b)", "arm.direction(0.3, -0.2)", "BM_forward_kinematics", pure=True),
    Method("is_reachable_joints(a, b)", "arm.is_reachable_joints(0.3, -0.2)", "BM_is_reachable_joints"),
    Method("ik(R)", "arm.ik(R)", "BM_ik"),
    Method("is_reachable_orientation(R)", "arm.is_reachable_orientation(R)", "BM_is_reachable_orientation"),
    Method("ik_from_direction(v)", "arm.ik_from_direction(V)", "BM_ik_from_direction", pure=True),
    Method("ik_from_direction(v, near=)", "arm.ik_from_direction(V, near=NEAR)", "BM_ik_from_direction_near",
           pure=True),
    Method("is_reachable_direction(v)", "arm.is_reachable_direction(V)", "BM_is_reachable_direction"),
    Method("arm_arc()", "arm.arm_arc()", None),
    Method("coupler_arc()", "arm.coupler_arc()", None),
    Method("mirror()", "arm.mirror()", None),
    Method("from_json(typical)", "Q.from_json(DOC)", "BM_parse_geometry_document/typical"),
    Method("neck.fk(joints)", "neck.fk(J)", "BM_neck_forward_kinematics", pure=True,
           scipy='Rotation.from_euler("ZYX", J).as_matrix()'),
    Method("neck.ik(R)", "neck.ik(NR)", "BM_neck_inverse_kinematics", pure=True,
           scipy='Rotation.from_matrix(NR).as_euler("ZYX")'),
]

# The array companion, per pose against the core benchmark of the same operation:
# (function, statement over the rows of the batch namespace, core benchmark).
COMPANION = [
    ("fk(arm, joints)", "qb.fk(arm, BJ)", "BM_forward_kinematics"),
    ("direction(arm, joints)", "qb.direction(arm, BJ)", "BM_forward_kinematics"),
    ("is_reachable_joints(arm, joints)", "qb.is_reachable_joints(arm, BJ)", "BM_is_reachable_joints"),
    ("ik(arm, r_target)", "qb.ik(arm, BR)", "BM_ik"),
    ("ik_from_direction(arm, v3)", "qb.ik_from_direction(arm, BV)", "BM_ik_from_direction"),
    ("ik_from_direction(arm, v3, near (2,))", "qb.ik_from_direction(arm, BV, NEAR)", "BM_ik_from_direction_near"),
    ("ik_from_direction(arm, v3, near (N, 2))", "qb.ik_from_direction(arm, BV, BJ)", "BM_ik_from_direction_near"),
    ("follow_path(arm, directions, start)", "qb.follow_path(arm, BV, NEAR)", "BM_ik_from_direction_near"),
    ("follow_path(arm, directions, start, max_step, joint_limits)",
     "qb.follow_path(arm, BV, NEAR, max_step=MAX_STEP, joint_limits=LIMITS)", "BM_ik_from_direction_near"),
    ("direction_candidates(arm, v3)", "qb.direction_candidates(arm, BV)", "BM_direction_candidate_slots"),
    ("nearest_pointing(arm, r_target)", "qb.nearest_pointing(arm, BR)", "BM_nearest_pointing"),
    ("neck_fk(joints)", "qb.neck_fk(BNJ)", "BM_neck_forward_kinematics"),
    ("neck_ik(r)", "qb.neck_ik(BNR)", "BM_neck_inverse_kinematics"),
    ("direction_jacobian(arm, joints)", "qb.direction_jacobian(arm, BJ)", "BM_direction_jacobian"),
    ("angular_jacobian(arm, joints)", "qb.angular_jacobian(arm, BJ)", "BM_angular_jacobian"),
    ("singularity_measures(arm, joints)", "qb.singularity_measures(arm, BJ)", "BM_singularity_measures"),
    ("joint_rates(arm, joints, v3_rate)", "qb.joint_rates(arm, BJ, BRATE)", "BM_joint_rates"),
    ("joint_rates(arm, joints, v3_rate, damping)", "qb.joint_rates(arm, BJ, BRATE, DAMPING)", "BM_joint_rates_damped"),
    ("neck_angular_jacobian(joints)", "qb.neck_angular_jacobian(BNJ)", "BM_neck_angular_jacobian"),
    ("neck_joint_rates(joints, omega)", "qb.neck_joint_rates(BNJ, BOMEGA)", "BM_neck_joint_rates"),
    ("neck_look_at(directions)", "qb.neck_look_at(BLOOK)", "BM_neck_look_at"),
    # Outside: the benchmark direction reversed, which the arm cannot reach.
    ("workspace_margin(arm, v3 inside)", "qb.workspace_margin(arm, BV)", "BM_workspace_margin_inside"),
    ("workspace_margin(arm, v3 outside)", "qb.workspace_margin(arm, BVOUT)", "BM_workspace_margin_outside"),
    ("nearest_reachable_direction(arm, v3 inside)", "qb.nearest_reachable_direction(arm, BV)",
     "BM_nearest_reachable_direction_inside"),
    ("nearest_reachable_direction(arm, v3 outside)", "qb.nearest_reachable_direction(arm, BVOUT)",
     "BM_nearest_reachable_direction_outside"),
]

# Instructions per pose of COMPANION rows (and of their core) at the commit
# before a call could split its rows over workers: with workers=1 a call
# should still cost that.
BASELINE_COMMIT = "78c6847"
COMPANION_BASELINE = {  # function: (instructions per pose, core instructions)
    "fk(arm, joints)": (764, 744),
    "direction(arm, joints)": (757, 744),
    "is_reachable_joints(arm, joints)": (750, 753),
    "ik(arm, r_target)": (3678, 3649),
    "ik_from_direction(arm, v3)": (3627, 3609),
    "ik_from_direction(arm, v3, near (2,))": (3640, 3615),
    "ik_from_direction(arm, v3, near (N, 2))": (3640, 3615),
    "follow_path(arm, directions, start)": (3632, 3615),
    "direction_candidates(arm, v3)": (3635, 3395),
    "nearest_pointing(arm, r_target)": (3752, 3721),
    "neck_fk(joints)": (765, 747),
    "neck_ik(r)": (431, 403),
}

# Companion functions against another companion function per pose, each group
# timed in one interleaved group: (what, the function held against, the
# functions, limit on the ratio).
COMPANION_RELATIVE = [
    ("velocities and singularity measures", "fk(arm, joints)",
     ["direction_jacobian(arm, joints)", "angular_jacobian(arm, joints)", "singularity_measures(arm, joints)",
      "joint_rates(arm, joints, v3_rate)", "joint_rates(arm, joints, v3_rate, damping)"], 1.5),
    ("follow_path with max_step and joint_limits", "follow_path(arm, directions, start)",
     ["follow_path(arm, directions, start, max_step, joint_limits)"], 1.1),
    ("workspace_margin and nearest_reachable_direction", "ik_from_direction(arm, v3)",
     ["workspace_margin(arm, v3 inside)", "workspace_margin(arm, v3 outside)",
      "nearest_reachable_direction(arm, v3 inside)", "nearest_reachable_direction(arm, v3 outside)"], 20.0),
]

# Companion functions over WORKERS_N rows with workers=W, against the same rows
# split over two processes: (function, statement).
WORKERS = [
    ("fk(arm, joints)", "qb.fk(arm, BJ, workers=W)"),
    ("ik_from_direction(arm, v3)", "qb.ik_from_direction(arm, BV, workers=W)"),
]

# The companion against its peers over BATCH_N poses: (comparison, companion, peer).
COMPANION_PEERS = [
    ("arm fk vs Python loop over arm.fk", "qb.fk(arm, BJ)", "loop_fk()"),
    ("neck fk vs SciPy from_euler('ZYX').as_matrix()", "qb.neck_fk(BNJ)",
     "Rotation.from_euler('ZYX', BNJ).as_matrix()"),
    ("neck ik vs SciPy from_matrix().as_euler('ZYX')", "qb.neck_ik(BNR)", "Rotation.from_matrix(BNR).as_euler('ZYX')"),
]

# The main module given float64 arrays against the same call given lists:
# (call, ndarray statement, list statement, goal).
MAIN_NUMPY = [
    ("arm.ik(R)", "arm.ik(RA)", "arm.ik(R)", 1.2),
    ("arm.ik_from_direction(v)", "arm.ik_from_direction(VA)", "arm.ik_from_direction(V)", 1.2),
    ("neck.fk(joints)", "neck.fk(JA)", "neck.fk(J)", 1.5),
    ("neck.ik(R)", "neck.ik(NRA)", "neck.ik(NR)", 1.5),
]


def load_floor(build_dir: Path):
    """The benchmark-only floor module (bench/floor), from the bench build."""
    sys.path.insert(0, str(build_dir / "bench"))
    import quorvel_bench_floor  # noqa: PLC0415

    return quorvel_bench_floor


def namespace(kind: str, floor=None, extra: dict | None = None) -> dict:
    """The names METHODS' statements use, with Q, arm and neck from the module,
    the floor or the pure-Python peer (kind). The same keys in the same order
    for every kind, so timeit's setup costs each the same."""
    from quorvel_torso_kinematics import QuorvelArmKinematics, QuorvelNeckKinematics  # noqa: PLC0415

    arm, neck = QuorvelArmKinematics.default_left(), QuorvelNeckKinematics()
    if kind == "floor":
        subjects = floor.FloorArm, floor.FloorArm(), floor.FloorNeck()
    elif kind == "pure":
        from pure_python_peer import PurePythonArm, PurePythonNeck  # noqa: PLC0415

        subjects = None, PurePythonArm(), PurePythonNeck()
    else:
        subjects = QuorvelArmKinematics, arm, neck
    return dict(zip(("Q", "arm", "neck"), subjects)) | {
        "R": arm.fk(THETA_A, THETA_B), "V": arm.direction(THETA_A, THETA_B), "NEAR": (THETA_A, THETA_B),
        "J": list(NECK_JOINTS), "NR": neck.fk(NECK_JOINTS), "DOC": TYPICAL_DOCUMENT, "json": json} | (extra or {})


def batch_namespace(rows: int, rotation_cls=None) -> dict:
    """The companion's inputs: `rows` copies of the core benchmark's input; and the
    single inputs of MAIN_NUMPY, as lists and as arrays."""
    import numpy as np  # noqa: PLC0415

    import quorvel_torso_kinematics_batch as qb  # noqa: PLC0415
    from quorvel_torso_kinematics import QuorvelArmKinematics, QuorvelNeckKinematics  # noqa: PLC0415

    arm, neck = QuorvelArmKinematics.default_left(), QuorvelNeckKinematics()
    rotation, direction = arm.fk(THETA_A, THETA_B), arm.direction(THETA_A, THETA_B)
    neck_rotation = neck.fk(NECK_JOINTS)
    fk, pairs = arm.fk, [(THETA_A, THETA_B)] * rows

    def loop_fk():
        return [fk(a, b) for a, b in pairs]

    ns = {"qb": qb, "np": np, "arm": arm, "neck": neck, "loop_fk": loop_fk, "NEAR": (THETA_A, THETA_B),
          "BJ": np.tile([THETA_A, THETA_B], (rows, 1)), "BR": np.tile(rotation, (rows, 1, 1)),
          "BV": np.tile(direction, (rows, 1)), "BVOUT": np.tile([-x for x in direction], (rows, 1)),
          "BNJ": np.tile(NECK_JOINTS, (rows, 1)),
          "BNR": np.tile(neck_rotation, (rows, 1, 1)), "BRATE": np.tile(V3_RATE, (rows, 1)), "DAMPING": DAMPING,
          "BOMEGA": np.tile(OMEGA, (rows, 1)), "BLOOK": np.tile(LOOK_DIRECTION, (rows, 1)), "MAX_STEP": MAX_STEP,
          "LIMITS": np.array(JOINT_LIMITS),
          "R": rotation, "RA": np.array(rotation), "V": direction, "VA": np.array(direction),
          "J": list(NECK_JOINTS), "JA": np.array(NECK_JOINTS), "NR": neck_rotation, "NRA": np.array(neck_rotation)}
    if rotation_cls is not None:
        ns["Rotation"] = rotation_cls
    return ns
