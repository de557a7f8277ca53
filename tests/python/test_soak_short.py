"""The leak soak (tests/python/soak.py) with a short count, and proof that it sees leaks."""
import ctypes

import soak


def test_every_path_stays_flat():
    report = []
    assert soak.soak(2_000, out=report.append) == []
    assert report[0].startswith(f"soak: {len(soak.PATHS)} paths x 2000 = {len(soak.PATHS) * 2000} calls")


def test_the_soak_reports_each_kind_of_leak(monkeypatch):
    kept, blocks, held, arg = [], [], [], soak.fresh(1.5)
    libc = ctypes.CDLL(None)
    libc.malloc.restype = ctypes.c_void_p
    monkeypatch.setattr(soak, "PATHS", [
        ("python objects kept", lambda: kept.append(soak.fresh(1.25)), None, ()),
        ("C heap kept", lambda: blocks.append(libc.malloc(48)), None, ()),
        ("argument reference kept", lambda: held.append(arg), None, (arg,)),
        ("class reference kept", lambda: held.append(soak.Neck), None, ()),
        ("flat", lambda: soak.LEFT.fk(0.1, 0.2), None, ()),
    ])
    failures = soak.soak(2_000, out=lambda line: None)
    named = {f.split(":")[0]: f for f in failures}
    assert "'traced'" in named["python objects kept"] and "'heap'" in named["C heap kept"]
    assert "counts" in named["argument reference kept"] and "counts" in named["class reference kept"]
    assert "flat" not in named
    held.clear()
    for block in blocks:
        libc.free(ctypes.c_void_p(block))
