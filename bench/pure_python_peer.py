"""The arm and neck kinematics in plain Python with the math module.

This is what a user without quorvel_torso_kinematics would write: the same
formulas, tuples for vectors, small helper functions, no NumPy. It is the
pure-Python peer of the benchmarks; run_bench.py checks that it agrees with the
module before timing it.
"""

import math

# ---------------------------------------------------------------- vectors


def _dot(a, b):
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]


def _cross(a, b):
    return (a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0])


def _norm(a):
    return math.sqrt(_dot(a, a))


def _add(a, b):
    return (a[0] + b[0], a[1] + b[1], a[2] + b[2])


def _sub(a, b):
    return (a[0] - b[0], a[1] - b[1], a[2] - b[2])


def _scale(s, a):
    return (s * a[0], s * a[1], s * a[2])


def _div(a, s):
    return (a[0] / s, a[1] / s, a[2] / s)


# -------------------------------------------------------------------- arm


def close_loop(u, alpha, w, beta, sigma):
    """The point at arc alpha from u and arc beta from w, on the side sigma; None if none."""
    c = _dot(u, w)
    if c > 1.0:
        c = 1.0
    elif c < -1.0:
        c = -1.0
    s = math.sqrt(1.0 - c * c)
    if s < 1e-12:
        return None
    ca = math.cos(alpha)
    cb = math.cos(beta)
    k = (cb - c * ca) / s
    q = 1.0 - ca * ca - k * k
    if q < 0.0:
        return None
    n = _div(_cross(u, w), s)
    t = _cross(n, u)
    return _add(_add(_scale(ca, u), _scale(k, t)), _scale(sigma * math.sqrt(q), n))


class PurePythonArm:
    """One spherical five-bar arm; the same public methods as the module's class."""

    def __init__(self, arm_arc=0.7, coupler_arc=0.5, mirror=False, negative_branch=False):
        self.arm_arc = arm_arc
        self.coupler_arc = coupler_arc
        self.mirror = mirror
        self.sigma = -1.0 if negative_branch else 1.0

    def _elbows(self, theta_a, theta_b):
        m = -1.0 if self.mirror else 1.0
        sa = math.sin(self.arm_arc)
        ca = math.cos(self.arm_arc)
        if theta_a == 0.0:
            v_2 = (m * sa, 0.0, ca)
        else:
            v_2 = (m * sa * math.cos(theta_a), m * sa * math.sin(theta_a), ca)
        if theta_b == 0.0:
            v_4 = (m * ca, 0.0, sa)
        else:
            v_4 = (m * ca, -m * sa * math.sin(theta_b), sa * math.cos(theta_b))
        return v_2, v_4

    def _pose(self, theta_a, theta_b):
        """(rotation rows, v_3), or None when the loop does not close."""
        v_2, v_4 = self._elbows(theta_a, theta_b)
        v_3 = close_loop(v_2, self.coupler_arc, v_4, self.coupler_arc, self.sigma)
        if v_3 is None:
            return None
        total = _add(v_2, v_4)
        d = _div(total, _norm(total))
        p = _sub(d, _scale(_dot(d, v_3), v_3))
        length = _norm(p)
        if not length > 1e-12:
            a = (1.0, 0.0, 0.0) if abs(v_3[0]) < 0.9 else (0.0, 1.0, 0.0)
            p = _sub(a, _scale(_dot(a, v_3), v_3))
            length = _norm(p)
        e1 = _div(p, length)
        e2 = _cross(v_3, e1)
        rows = [[e1[i], e2[i], v_3[i]] for i in range(3)]
        return rows, v_3

    def fk(self, theta_a, theta_b):
        pose = self._pose(theta_a, theta_b)
        if pose is None:
            raise RuntimeError("Spherical 5-bar loop does not close")
        return pose[0]

    def direction(self, theta_a, theta_b):
        pose = self._pose(theta_a, theta_b)
        if pose is None:
            raise RuntimeError("Spherical 5-bar loop does not close")
        return list(pose[1])

    def _candidates(self, d):
        m = -1.0 if self.mirror else 1.0
        sa = math.sin(self.arm_arc)
        ca = math.cos(self.arm_arc)
        axis_a = (0.0, 0.0, 1.0)
        axis_b = (m, 0.0, 0.0)

        def project(x, k):
            return _sub(x, _scale(_dot(x, k), k))

        def signed_angle(p, q, k):
            return math.atan2(_dot(k, _cross(p, q)), _dot(p, q))

        p_a = project((m * sa, 0.0, ca), axis_a)
        p_b = project((m * ca, 0.0, sa), axis_b)
        found = []
        for eps_a in (1.0, -1.0):
            v_2 = close_loop(axis_a, self.arm_arc, d, self.coupler_arc, eps_a)
            if v_2 is None:
                continue
            theta_a = signed_angle(p_a, project(v_2, axis_a), axis_a)
            for eps_b in (1.0, -1.0):
                v_4 = close_loop(axis_b, self.arm_arc, d, self.coupler_arc, eps_b)
                if v_4 is None:
                    continue
                theta_b = signed_angle(p_b, project(v_4, axis_b), axis_b)
                pose = self._pose(theta_a, theta_b)
                if pose is not None:
                    found.append((theta_a, theta_b, pose[1]))
        return found

    def ik_from_direction(self, v3, near=None):
        length = _norm(v3)
        if length < 1e-12:
            raise RuntimeError("Target orientation is outside the spherical 5-bar workspace.")
        u = _div(tuple(v3), length)
        best = None
        best_metric = 0.0
        for theta_a, theta_b, v_3 in self._candidates(u):
            if not _norm(_sub(v_3, u)) < 1e-6:
                continue
            if near is not None:
                metric = (theta_a - near[0]) ** 2 + (theta_b - near[1]) ** 2
            else:
                metric = theta_a * theta_a + theta_b * theta_b
            if best is None or best_metric > metric:
                best = (theta_a, theta_b)
                best_metric = metric
        if best is None:
            raise RuntimeError("Target orientation is outside the spherical 5-bar workspace.")
        return best


# ------------------------------------------------------------------- neck


class PurePythonNeck:
    """Yaw-pitch-roll neck: intrinsic z-y'-x''."""

    def fk(self, joints):
        yaw, pitch, roll = joints
        cy, sy = math.cos(yaw), math.sin(yaw)
        cp, sp = math.cos(pitch), math.sin(pitch)
        cr, sr = math.cos(roll), math.sin(roll)
        return [
            [cy * cp, cy * sp * sr - sy * cr, cy * sp * cr + sy * sr],
            [sy * cp, sy * sp * sr + cy * cr, sy * sp * cr - cy * sr],
            [-sp, cp * sr, cp * cr],
        ]

    def ik(self, r):
        if 1.0 - abs(r[2][0]) < 1e-6:
            raise ValueError("Gimbal lock: pitch is too close to ±π/2.")
        pitch = math.asin(-r[2][0])
        roll = math.atan2(r[2][1], r[2][2])
        yaw = math.atan2(r[1][0], r[0][0])
        return (yaw, pitch, roll)
