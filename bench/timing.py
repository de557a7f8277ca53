"""Interleaved timeit repeats on process CPU time.

Every time is the median of REPEATS repeats, each of at least MIN_TIME
seconds of process CPU time (time.process_time), so time spent descheduled on
a shared machine does not count. The samplers compared with each other take
turns repeat by repeat, so a slow spell of the machine hits all of them alike.
"""

from __future__ import annotations

import math
import statistics
import time
import timeit
from typing import Callable

REPEATS = 5
MIN_TIME = 0.2

# One repeat of one measurement: seconds per call.
Sampler = Callable[[], float]


def timer(stmt: str, namespace: dict, clock: Callable[[], float] = time.process_time) -> timeit.Timer:
    # The names become fast locals of timeit's inner function, as they would be in a user's function.
    setup = "\n".join(f"{name} = _ns[{name!r}]" for name in namespace)
    return timeit.Timer(stmt, setup=setup, timer=clock, globals={"_ns": namespace})


def sampler(stmt: str, namespace: dict) -> Sampler:
    """timeit of one statement. The loop count is picked the autorange way (1, 2,
    5, 10, ... until a run lasts a quarter of MIN_TIME) and scaled to a tenth over
    MIN_TIME; a repeat that still came out shorter runs again with a larger count."""
    t = timer(stmt, namespace)
    number, base = 0, 1
    while not number:
        for factor in (1, 2, 5):
            taken = t.timeit(base * factor)
            if taken >= MIN_TIME / 4:
                number = max(base * factor, math.ceil(base * factor * 1.1 * MIN_TIME / taken))
                break
        base *= 10

    def sample() -> float:
        nonlocal number
        while (taken := t.timeit(number)) < MIN_TIME:
            number = math.ceil(number * 1.1 * MIN_TIME / taken)
        return taken / number

    return sample


def interleave(samplers: list[Sampler]) -> list[list[float]]:
    """REPEATS samples of each sampler, their repeats interleaved."""
    samples: list[list[float]] = [[] for _ in samplers]
    for _ in range(REPEATS):
        for sample, bucket in zip(samplers, samples):
            bucket.append(sample())
    return samples


def spread(samples: list[float]) -> float:
    """(largest - smallest) / median of one measurement's repeats."""
    return (max(samples) - min(samples)) / statistics.median(samples)


class LoopCost:
    """The empty timeit loop's cost per iteration, subtracted from statements'
    times: REPEATS repeats before the first group and again after the last."""

    def __init__(self) -> None:
        self.samples: list[float] = []
        self._sample = sampler("pass", {})

    def measure(self) -> None:
        self.samples += [self._sample() for _ in range(REPEATS)]

    @property
    def value(self) -> float:
        return statistics.median(self.samples)
