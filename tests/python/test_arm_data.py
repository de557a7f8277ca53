"""Arms as data: geometry(), to_json() and pickling round trips, in this process and in worker processes."""
import concurrent.futures
import copy
import json
import math
import multiprocessing
import pickle
import subprocess
import sys

import pytest

import quorvel_torso_kinematics_batch as qb
from quorvel_torso_kinematics import QuorvelArmKinematics as Arm

GEOMETRIES = {
    "left": Arm.default_left(),
    "right": Arm.default_right(),
    "negative mirrored": Arm.from_json('{"arm_arc": 0.8, "coupler_arc": 0.45, "branch": "negative", "mirror": true}'),
    "extreme arcs": Arm.from_json('[1e-300, 3.141592653589793, "positive", false]'),
    "negative zero and large": Arm.from_json('{"arm_arc": -0.0, "coupler_arc": 1.7976931348623157e308}'),
    "not round in decimal": Arm(0.1 + 0.2, 2.0 / 3.0, mirror=True),
}


def same_geometry(a, b):
    ga, gb = qb.geometry(a), qb.geometry(b)
    return ga.keys() == gb.keys() and all(
        math.copysign(1.0, ga[k]) == math.copysign(1.0, gb[k]) and ga[k] == gb[k] if isinstance(ga[k], float)
        else ga[k] == gb[k] for k in ga)


@pytest.mark.parametrize("arm", GEOMETRIES.values(), ids=GEOMETRIES.keys())
def test_geometry_to_json_and_pickle_round_trip_exactly(arm):
    g = qb.geometry(arm)
    assert set(g) == {"arm_arc", "coupler_arc", "branch", "mirror"} and g["mirror"] is arm.mirror()
    assert (g["arm_arc"], g["coupler_arc"]) == (arm.arm_arc(), arm.coupler_arc())
    document = qb.to_json(arm)
    assert json.loads(document) == g  # plain JSON, nothing but the four fields
    for twin in (Arm.from_json(document), pickle.loads(pickle.dumps(arm)), copy.copy(arm), copy.deepcopy(arm)):
        assert type(twin) is Arm and twin is not arm and same_geometry(twin, arm)
    # The branch is not visible on the arm itself: the pairs it gives tell it.
    twin = pickle.loads(pickle.dumps(arm))
    assert qb.ik_from_direction(twin, [0.6, 0.5, 0.6])[0].tobytes() == qb.ik_from_direction(arm, [0.6, 0.5, 0.6])[0].tobytes()


@pytest.mark.parametrize("arc", [math.nan, math.inf, -math.inf])
def test_non_finite_arcs_have_no_document(arc):
    with pytest.raises(ValueError, match="^argument 'arm': its arm_arc is not finite"):
        qb.to_json(Arm(arc, 0.5))
    assert math.isnan(qb.geometry(Arm(arc, 0.5))["arm_arc"]) == math.isnan(arc)


def test_arms_travel_to_a_process_pool_and_unpickle_without_the_companion():
    arm = GEOMETRIES["negative mirrored"]
    v = arm.direction(0.3, -0.2)
    # Spawned workers start from nothing: the bound method brings the arm, pickled, and nothing else.
    with concurrent.futures.ProcessPoolExecutor(2, mp_context=multiprocessing.get_context("spawn")) as pool:
        assert list(pool.map(arm.ik_from_direction, [v] * 3)) == [arm.ik_from_direction(v)] * 3
    code = ("import pickle, sys; arm = pickle.loads(sys.stdin.buffer.read()); "
            "print('quorvel_torso_kinematics_batch' in sys.modules, arm.arm_arc())")
    done = subprocess.run([sys.executable, "-c", code], input=pickle.dumps(arm), capture_output=True, timeout=60)
    assert done.returncode == 0 and done.stdout.split() == [b"False", b"0.8"], done.stderr


@pytest.mark.parametrize("call", [qb.geometry, qb.to_json])
def test_only_arms_have_geometry(call):
    with pytest.raises(TypeError, match="^argument 'arm': 'dict' object cannot be converted to 'QuorvelArmKinematics'$"):
        call({"arm_arc": 0.7})
