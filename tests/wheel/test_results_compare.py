"""What results_compare.py lets through between CPUs, and what it must not."""

import math

import numpy as np
import pytest
from results_compare import Tally
from results_format import encoded

ONE = 0.7853981633974483
BIG = 1234.5678  # its ulp is 2.3e-13: here the 4 ulp bound decides


def ulps_up(x, n):
    for _ in range(n):
        x = math.nextafter(x, math.inf)
    return x


def array(values, dtype=np.float64):
    return np.array(values, dtype=dtype)


NAN_OTHER_SIGN = -math.nan
CASES = [
    # (expected, actual, agrees)
    (ONE, ONE, True),
    (BIG, ulps_up(BIG, 4), True),
    (BIG, ulps_up(BIG, 5), False),
    (ONE, ulps_up(ONE, 9), True),                # 1.0e-15 apart
    (1e-17, -1e-17, True),                       # far apart in ulps, within 1e-15
    (0.0, -0.0, True),
    (math.nan, NAN_OTHER_SIGN, True),
    (math.nan, ONE, False),
    (math.inf, 1e308, False),
    (True, False, False),
    (ONE, True, False),
    ([ONE, ONE], [ONE], False),
    ({"raised": "RuntimeError: a"}, {"raised": "RuntimeError: b"}, False),
    ({"raised": "RuntimeError: a"}, ONE, False),
    (array([ONE, 2.0]), array([ulps_up(ONE, 3), 2.0]), True),
    (array([ONE, 2.0]), array([ONE, ulps_up(2.0, 9)]), False),
    (array([[ONE, 2.0]]), array([ONE, 2.0]), False),
    (array([True, False], bool), array([True, True], bool), False),
    (array([math.nan]), array([NAN_OTHER_SIGN]), True),
]


@pytest.mark.parametrize("expected, actual, agrees", CASES)
def test_tolerance(expected, actual, agrees):
    tally = Tally(ulp=4, absolute=1e-15)
    tally.walk(encoded(expected), encoded(actual), "case")
    assert (not tally.problems) == agrees, tally.problems


# At 0 ulp and 0 absolute (a wheel against the project build on one CPU): only a NaN's sign may differ.
EXACT_CASES = [
    (0.0, -0.0, False),
    (math.nan, NAN_OTHER_SIGN, True),
    (ONE, ulps_up(ONE, 1), False),
    ('{"arm_arc": 0.7}', '{"arm_arc": 0.7}', True),
    ('{"arm_arc": 0.7}', '{"arm_arc": 0.70}', False),
]


@pytest.mark.parametrize("expected, actual, agrees", EXACT_CASES)
def test_exact_mode(expected, actual, agrees):
    tally = Tally(ulp=0, absolute=0.0)
    tally.walk(encoded(expected), encoded(actual), "case")
    assert (not tally.problems) == agrees, tally.problems


def test_counts_identical_and_largest_difference():
    tally = Tally(ulp=4, absolute=1e-15)
    tally.walk(encoded([ONE, 2.0, array([ONE, 3.0])]), encoded([ulps_up(ONE, 2), 2.0, array([ONE, 3.0])]), "case")
    assert (tally.floats, tally.identical_floats, tally.max_ulp) == (4, 3, 2)
