"""Eight threads making a mixed set of calls on shared arm and neck objects.

Every outcome (result, or exception type and text) must equal the one the same
call gave single-threaded beforehand. QUORVEL_THREAD_CALLS sets the total
number of calls (`make soak` runs a million).
"""
import math
import os
import random
import sys
import threading

from quorvel_torso_kinematics import QuorvelArmKinematics as Arm, QuorvelNeckKinematics as Neck

THREADS = 8
TOTAL_CALLS = int(os.environ.get("QUORVEL_THREAD_CALLS", "200000"))
LEFT, RIGHT, NECK = Arm.default_left(), Arm.default_right(), Neck()
NEGATIVE = Arm.from_json('{"arm_arc": 0.8, "coupler_arc": 0.45, "branch": "negative", "mirror": true}')
ARMS = (LEFT, RIGHT, NEGATIVE)


def outcome(call, args, kwargs):
    try:
        result = call(*args, **kwargs)
    except Exception as error:
        return type(error), str(error)
    if isinstance(result, Arm):
        return "arm", result.arm_arc(), result.coupler_arc(), result.mirror()
    return result


def mixed_cases(seed=20240607):
    """About 600 calls covering every method, their success paths and their errors."""
    rng = random.Random(seed)
    angle = lambda: rng.uniform(-math.pi, math.pi)
    cases = []
    add = lambda call, *args, **kwargs: cases.append((call, args, kwargs))
    for _ in range(40):
        arm, a, b = rng.choice(ARMS), angle(), angle()
        add(arm.fk, a, b), add(arm.direction, theta_a=a, theta_b=b), add(arm.is_reachable_joints, a, b)
        if arm.is_reachable_joints(a, b):
            add(arm.ik, arm.fk(a, b)), add(arm.is_reachable_orientation, arm.fk(a, b))
            add(arm.ik_from_direction, arm.direction(a, b), near=(a + 0.1, b - 0.1))
        v = [rng.gauss(0, 1) for _ in range(3)]
        add(arm.ik_from_direction, v), add(arm.is_reachable_direction, v)
        m = NECK.fk([angle(), angle() / 2, angle()])
        add(arm.ik, m), add(arm.is_reachable_orientation, m), add(NECK.ik, m)
        add(NECK.fk, [angle(), angle(), angle()]), add(NECK.fk, joints=(a, b, a - b))
        add(Arm, rng.uniform(0, 2), coupler_arc=rng.uniform(0, 2), mirror=rng.random() < 0.5)
        add(arm.arm_arc), add(arm.coupler_arc), add(arm.mirror)
    for text in ('[0.7, 0.5]', '{"arm_arc": 1, "coupler_arc": 2, "mirror": true}', '[0.7, 0.5, {"negative": null}]',
                 '{"arm_arc": 1e999, "coupler_arc": 0}', '[1, 2', '{"branch": "sideways"}', ""):
        add(Arm.from_json, text)
    gimbal = [[0.0, 0.0, 1.0], [0.0, 1.0, 0.0], [-1.0, 0.0, 0.0]]
    for call, args in [(NECK.ik, (gimbal,)), (LEFT.fk, ("x", 0.0)), (RIGHT.ik, ([[1.0]],)), (NECK.fk, ([0, 0],)),
                       (NEGATIVE.direction, (10**400, 0)), (LEFT.ik_from_direction, ([0, 0, 1], (1, 2, 3))),
                       (Arm.default_right, ())]:
        add(call, *args)
    add(Arm, mirror=1)
    return cases


def test_concurrent_calls_give_the_single_threaded_results():
    cases = mixed_cases()
    expected = [outcome(*case) for case in cases]
    errors = sum(isinstance(e, tuple) and isinstance(e[0], type) for e in expected)
    assert 50 < errors < len(expected) - 200  # both results and errors are exercised
    per_thread = TOTAL_CALLS // THREADS
    start = threading.Barrier(THREADS)
    mismatches, done = [], [0] * THREADS

    def work(index):
        rng = random.Random(index)
        order = list(range(len(cases)))
        start.wait()
        for n in range(per_thread):
            if n % len(order) == 0:
                rng.shuffle(order)  # each thread its own order, so different calls overlap
            i = order[n % len(order)]
            got = outcome(*cases[i])
            if got != expected[i]:
                mismatches.append((i, got, expected[i]))
            done[index] += 1

    interval = sys.getswitchinterval()
    sys.setswitchinterval(1e-5)  # hand the interpreter between threads far more often than usual
    try:
        threads = [threading.Thread(target=work, args=(k,)) for k in range(THREADS)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
    finally:
        sys.setswitchinterval(interval)
    print(f"threads: {sum(done)} calls on {THREADS} threads, {len(mismatches)} mismatches")
    assert sum(done) == per_thread * THREADS
    assert mismatches == []
