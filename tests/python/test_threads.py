"""Threads calling the module on shared objects.

Every outcome (result, or exception type and text) must equal one the same
call gave single-threaded beforehand. QUORVEL_THREAD_CALLS sets the total
number of calls (`make soak` runs a million).
"""
import itertools
import math
import os
import random
import sys
import threading

import numpy as np
import pytest

from quorvel_torso_kinematics import QuorvelArmKinematics as Arm, QuorvelNeckKinematics as Neck

THREADS = 8

TOTAL_CALLS = int(os.environ.get("QUORVEL_THREAD_CALLS", "200000"))
# Per converter thread; enough that a reader left holding a freed row crashes the run.
CONVERSIONS = max(1000, TOTAL_CALLS // 20)
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


class Real:
    """A number whose conversion runs Python code, so the interpreter can switch threads in the middle of it."""
    def __init__(self, value): self.value = value
    def __float__(self): return self.value


def fresh(values, wrap):
    """New objects each time: the ones they replace are freed while converters may still be reading them."""
    return [wrap(float(repr(v))) for v in values]


V_A, V_B = LEFT.direction(0.3, -0.2), LEFT.direction(-0.4, 0.5)
R_A, R_B = NECK.fk([0.1, 0.2, 0.3]), NECK.fk([-0.7, 0.4, 1.1])


def vector_items(wrap):
    """One list whose three items are replaced one at a time: any mix of the two vectors may be read."""
    def mutate(shared, rng):
        i, source = rng.randrange(3), rng.choice((V_A, V_B))
        shared[i] = fresh([source[i]], wrap)[0]
    mixes = [[(V_A, V_B)[pick][i] for i, pick in enumerate(picks)] for picks in itertools.product((0, 1), repeat=3)]
    return fresh(V_A, wrap), mutate, LEFT.ik_from_direction, mixes


def matrix_rows(wrap):
    """One matrix whose rows are replaced whole: any mix of the two matrices' rows may be read."""
    def mutate(shared, rng):
        i, source = rng.randrange(3), rng.choice((R_A, R_B))
        shared[i] = fresh(source[i], wrap)
    mixes = [[(R_A, R_B)[pick][i] for i, pick in enumerate(picks)] for picks in itertools.product((0, 1), repeat=3)]
    return [fresh(row, wrap) for row in R_A], mutate, NECK.ik, mixes


def whole_list():
    """A list of plain floats rewritten in one slice assignment: it is read whole, one vector or the other."""
    def mutate(shared, rng):
        shared[:] = fresh(rng.choice((V_A, V_B)), float)
    return fresh(V_A, float), mutate, LEFT.ik_from_direction, [V_A, V_B]


def array_in_place():
    """A float64 array rewritten in place: read in place, so one matrix or the other, never a mix."""
    a, b = np.array(R_A), np.array(R_B)
    def mutate(shared, rng):
        shared[...] = a if rng.random() < 0.5 else b
    return a.copy(), mutate, NECK.ik, [R_A, R_B]


@pytest.mark.parametrize("scenario", [
    lambda: vector_items(float), lambda: vector_items(Real), lambda: matrix_rows(float),
    lambda: matrix_rows(Real), whole_list, array_in_place,
], ids=["vector_floats", "vector_reals", "matrix_floats", "matrix_reals", "whole_list", "ndarray"])
def test_arguments_changed_by_other_threads_while_converted(scenario):
    """Two threads keep rewriting a shared argument while four convert it: each result must be one that some
    consistent reading gives single-threaded, bit for bit, and nothing read may be freed under the reader."""
    shared, mutate, call, readings = scenario()
    allowed = {repr(outcome(call, (reading,), {})) for reading in readings}
    stop, seen, unexpected = threading.Event(), set(), []

    def mutator(seed):
        rng = random.Random(seed)
        while not stop.is_set():
            mutate(shared, rng)

    def converter():
        for _ in range(CONVERSIONS):
            got = repr(outcome(call, (shared,), {}))
            seen.add(got)
            if got not in allowed:
                unexpected.append(got)

    interval = sys.getswitchinterval()
    sys.setswitchinterval(1e-6)
    try:
        mutators = [threading.Thread(target=mutator, args=(k,)) for k in range(2)]
        converters = [threading.Thread(target=converter) for _ in range(4)]
        for thread in mutators + converters:
            thread.start()
        for thread in converters:
            thread.join()
    finally:
        stop.set()
        for thread in mutators:
            thread.join()
        sys.setswitchinterval(interval)
    assert unexpected == []
    assert len(seen) >= 2  # the argument really changed under the converters
