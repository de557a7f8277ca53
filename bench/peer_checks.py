"""Before anything is timed, the peers must compute what the module computes:
the pure-Python peer and SciPy against the main module on a grid of inputs,
SciPy against the array companion on random poses. A disagreement raises."""

from __future__ import annotations

TOLERANCE = 1e-12


def _difference(a, b) -> float:
    a, b = (x.tolist() if hasattr(x, "tolist") else x for x in (a, b))
    if isinstance(a, (list, tuple)):
        if len(a) != len(b):
            return float("inf")
        return max((_difference(x, y) for x, y in zip(a, b)), default=0.0)
    return abs(float(a) - float(b))


def _within(worst: dict[str, float], who: str) -> dict[str, float]:
    for name, difference in worst.items():
        if not difference <= TOLERANCE:
            raise AssertionError(f"{who} disagrees on {name}: max |difference| {difference:.3g}")
    return worst


def _solve(peer, v, near):
    try:
        return peer.ik_from_direction(v, near=near)
    except RuntimeError:
        return None


def check_main(module: dict, pure: dict, rotation_cls) -> list[str]:
    """The pure-Python peer and SciPy against the main module; `module` and `pure` are cases.namespace()s."""
    arm, parm, neck, pneck = module["arm"], pure["arm"], module["neck"], pure["neck"]
    worst = dict.fromkeys(["arm fk", "arm direction", "arm ik_from_direction", "neck fk", "neck ik",
                           "SciPy neck fk", "SciPy neck ik"], 0.0)

    def note(name, a, b):
        worst[name] = max(worst[name], _difference(a, b))

    steps = [-0.9, -0.45, -0.2, 0.0, 0.15, 0.3, 0.6, 1.1]
    pairs = [(a, b) for a in steps for b in steps if arm.is_reachable_joints(a, b)]
    for a, b in pairs:
        note("arm fk", arm.fk(a, b), parm.fk(a, b))
        v = arm.direction(a, b)
        note("arm direction", v, parm.direction(a, b))
        scaled = [3.0 * x for x in v]
        for near in (None, (a, b), (1.3, 0.0)):
            expected, got = _solve(arm, scaled, near), _solve(parm, scaled, near)
            if (expected is None) != (got is None):
                raise AssertionError(f"ik_from_direction({scaled}, near={near}): module {expected}, peer {got}")
            if expected is not None:
                note("arm ik_from_direction", expected, got)
    angles, pitches = [-2.5, -0.7, 0.0, 0.3, 1.1, 3.0], [-1.2, -0.7, 0.0, 0.4, 1.3]
    poses = [[yaw, pitch, roll] for yaw in angles for pitch in pitches for roll in angles]
    for joints in poses:
        r = neck.fk(joints)
        back = neck.ik(r)
        note("neck fk", r, pneck.fk(joints))
        note("neck ik", back, pneck.ik(r))
        note("SciPy neck fk", r, rotation_cls.from_euler("ZYX", joints).as_matrix())
        note("SciPy neck ik", back, rotation_cls.from_matrix(r).as_euler("ZYX"))
    return [f"peers agree with the module to {TOLERANCE:g} ({len(pairs)} arm joint pairs, {len(poses)} neck poses)"] + [
        f"{name}: max |difference| {value:.2g}" for name, value in _within(worst, "a peer of the module").items()]


def check_companion(ns: dict) -> list[str]:
    """SciPy's ZYX Euler angles are the neck's [yaw, pitch, roll]; `ns` is a cases.batch_namespace()."""
    np, qb, rotation_cls = ns["np"], ns["qb"], ns["Rotation"]
    rng = np.random.default_rng(1)
    angles = np.column_stack([rng.uniform(-3.1, 3.1, 2000), rng.uniform(-1.5, 1.5, 2000), rng.uniform(-3.1, 3.1, 2000)])
    rotations = qb.neck_fk(angles)
    back, ok = qb.neck_ik(rotations)
    worst = {"from_euler('ZYX').as_matrix()": float(np.abs(rotation_cls.from_euler("ZYX", angles).as_matrix()
                                                           - rotations).max()),
             "from_matrix().as_euler('ZYX')": float(np.abs(rotation_cls.from_matrix(rotations[ok]).as_euler("ZYX")
                                                           - back[ok]).max())}
    return [f"companion neck_fk / neck_ik: {int(ok.sum())} of {len(angles)} poses inverted"] + [
        f"SciPy {name} agrees with the companion: max |difference| {value:.2g}"
        for name, value in _within(worst, "SciPy against the companion").items()]
