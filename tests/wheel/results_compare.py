"""Compares two results_dump.py files made on the same inputs by builds for different CPUs.

usage: results_compare.py EXPECTED ACTUAL [--label TEXT] [--ulp N] [--abs X]
  EXPECTED, ACTUAL  dumps as lines, or as pickled records (ending in .pickle)

Every call must agree: booleans, None, shapes, dtypes and exceptions (type and
message) exactly; each float bit for bit, or within N units in the last place
(4) or X absolute (1e-15), NaN against NaN. Prints how many calls and floats
agree bit for bit, the largest difference, and which functions differ.
"""

import argparse
import json
import sys
from collections import Counter

import numpy as np
from results_format import read_lines


def ordered(a):
    """Each float's place on the number line counted in units in the last place; -0.0 sits one below 0.0,
    so a check at 0 ulp tells the zeros apart."""
    bits = a.view(np.int64)
    return np.where(bits >= 0, bits, -(bits & np.int64(0x7FFF_FFFF_FFFF_FFFF)) - 1).tolist()


class Tally:
    def __init__(self, ulp, absolute):
        self.ulp, self.absolute = ulp, absolute
        self.floats = self.identical_floats = 0
        self.max_ulp, self.max_abs = 0, 0.0
        self.problems = []

    def floats_pair(self, a, b, where):
        """a, b: float64 arrays of one shape."""
        self.floats += a.size
        same_bits = a.view(np.int64) == b.view(np.int64)
        self.identical_floats += int(same_bits.sum())
        if same_bits.all():
            return
        nan_a, nan_b = np.isnan(a), np.isnan(b)
        if (nan_a != nan_b).any():
            self.problems.append(f"{where}: NaN against a number at {np.argwhere(nan_a != nan_b)[0].tolist()}")
            return
        # NaN against NaN agrees whatever its sign and payload.
        differ = ~same_bits & ~nan_a
        x, y = a[differ], b[differ]
        if not x.size:
            return
        if (np.isinf(x) | np.isinf(y)).any():
            self.problems.append(f"{where}: an infinity against another value")
            return
        # Python integers: the distance between two large ones of opposite sign overflows int64.
        ulps = np.array([abs(p - q) for p, q in zip(ordered(x), ordered(y))], dtype=np.float64)
        absolute = np.abs(x - y)
        self.max_ulp = max(self.max_ulp, int(ulps.max()))
        self.max_abs = max(self.max_abs, float(absolute.max()))
        # An absolute allowance of 0 allows nothing, not even -0.0 against 0.0.
        outside = (ulps > self.ulp) & ((absolute > self.absolute) | (self.absolute == 0))
        if outside.any():
            i = int(np.argmax(outside))
            self.problems.append(f"{where}: {x[i]!r} against {y[i]!r} ({ulps[i]:.0f} ulp, {absolute[i]:.3g} apart)")

    def walk(self, a, b, where):
        if isinstance(a, str) and isinstance(b, str):
            return self.floats_pair(np.array([float.fromhex(a)]), np.array([float.fromhex(b)]), where)
        if isinstance(a, list) and isinstance(b, list) and len(a) == len(b):
            for i, (x, y) in enumerate(zip(a, b)):
                self.walk(x, y, f"{where}[{i}]")
            return None
        if isinstance(a, dict) and isinstance(b, dict) and "bytes" in a and "bytes" in b:
            if (a["dtype"], a["shape"]) != (b["dtype"], b["shape"]):
                return self.problems.append(f"{where}: {a['dtype']}{a['shape']} against {b['dtype']}{b['shape']}")
            if a["dtype"] == "float64":
                return self.floats_pair(np.frombuffer(bytes.fromhex(a["bytes"]), "<f8"),
                                        np.frombuffer(bytes.fromhex(b["bytes"]), "<f8"), where)
        if a != b:
            self.problems.append(f"{where}: {json.dumps(a)[:150]} against {json.dumps(b)[:150]}")
        return None


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("expected")
    parser.add_argument("actual")
    parser.add_argument("--label", default="results")
    parser.add_argument("--ulp", type=int, default=4)
    parser.add_argument("--abs", type=float, default=1e-15, dest="absolute")
    args = parser.parse_args()
    tally = Tally(args.ulp, args.absolute)
    calls = identical_calls = 0
    differing = Counter()
    expected, actual = read_lines(args.expected), read_lines(args.actual)
    if len(expected) != len(actual):
        sys.exit(f"{args.label}: {len(actual)} calls in {args.actual}, {len(expected)} in {args.expected}")
    for number, (line_a, line_b) in enumerate(zip(expected, actual), 1):
        *key_a, result_a = line_a.split(" ", 3)
        *key_b, result_b = line_b.split(" ", 3)
        if key_a != key_b:
            sys.exit(f"{args.label}: line {number} is {key_b} in {args.actual} but {key_a} in {args.expected}")
        calls += 1
        identical_calls += result_a == result_b
        if result_a != result_b:
            differing[key_a[1]] += 1
        tally.walk(json.loads(result_a), json.loads(result_b), " ".join(key_a))
    for problem in tally.problems[:20]:
        print(f"{args.label}: FAIL: {problem}")
    where = ", ".join(f"{f} {n}" for f, n in differing.most_common()) or "none"
    print(f"{args.label}: {calls} calls compared: {identical_calls} bit-identical, {calls - identical_calls} differ "
          f"(by function: {where}); {tally.floats} floats, {tally.identical_floats} "
          f"bit-identical, largest difference {tally.max_ulp} ulp / {tally.max_abs:.3g} absolute")
    if tally.problems:
        print(f"{args.label}: {len(tally.problems)} results outside {args.ulp} ulp or {args.absolute:g} absolute,"
              " or not equal where they must be")
        sys.exit(1)


if __name__ == "__main__":
    main()
