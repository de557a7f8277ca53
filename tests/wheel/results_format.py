"""The text form of results_dump.py's records, one line per call: subject, function, input number, result.

Floats are written as hex and arrays as their raw bytes, so NaN payloads and
signed zeros count too; an exception is {"raised": "Type: message"}, a text
{"text": ...}. A run
under emulation pickles its records unencoded (encoding is most of its time
there) and this module writes their lines on the machine itself.
"""

import json
import pickle

import numpy as np


def encoded(value):
    if isinstance(value, bool) or value is None:
        return value
    if isinstance(value, float):
        return value.hex()
    if isinstance(value, (list, tuple)):
        return [encoded(v) for v in value]
    if isinstance(value, np.ndarray):
        return {"dtype": str(value.dtype), "shape": list(value.shape), "bytes": value.tobytes().hex()}
    if isinstance(value, dict) and value.keys() == {"raised"}:
        return value
    if isinstance(value, str):  # a document: compared exactly
        return {"text": value}
    raise TypeError(f"no encoding for {type(value).__name__}")


def line(subject, function, index, result):
    return f"{subject} {function} {index} {json.dumps(encoded(result), separators=(',', ':'))}"


def read_lines(path):
    """The lines of a text dump, or of pickled records (a path ending in .pickle)."""
    if path.endswith(".pickle"):
        with open(path, "rb") as f:
            return [line(*record) for record in pickle.load(f)]
    with open(path, encoding="utf-8") as f:
        return f.read().splitlines()
