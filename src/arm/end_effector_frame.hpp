#pragma once

#include <cmath>

#include "linalg/matrix3.hpp"
#include "linalg/vector3.hpp"

namespace quorvel {

// How the end-effector frame's first axis is found: the part of a reference
// direction perpendicular to v_3, normalised. The reference is the elbows'
// normalised midpoint, or a fixed axis where that lies along v_3. Kept whole
// so the differential kinematics can differentiate the very branch the
// forward kinematics took. Not installed.
struct FrameReference {
    Vector3 direction;  // the midpoint d, or the fixed axis a
    double sum_length;  // |v_2 + v_4|
    Vector3 p;          // direction - (direction . v_3) v_3
    double length;      // |p|
    bool fixed_axis;    // the midpoint was degenerate
};

inline FrameReference frame_reference(const Vector3& v_2, const Vector3& v_3, const Vector3& v_4) {
    const Vector3 sum = v_2 + v_4;
    const double sum_length = norm(sum);
    const Vector3 d = sum / sum_length;
    Vector3 p = d - dot(d, v_3) * v_3;
    double length = norm(p);
    if (!(length > 1e-12)) {
        const Vector3 a = std::fabs(v_3.x) < 0.9 ? Vector3{1.0, 0.0, 0.0} : Vector3{0.0, 1.0, 0.0};
        p = a - dot(a, v_3) * v_3;
        length = norm(p);
        return {a, sum_length, p, length, true};
    }
    return {d, sum_length, p, length, false};
}

// Third axis v_3, first e1 = p / |p|, second e2 = v_3 x e1.
inline Matrix3 end_effector_frame(const Vector3& v_2, const Vector3& v_3, const Vector3& v_4) {
    const FrameReference f = frame_reference(v_2, v_3, v_4);
    const Vector3 e1 = f.p / f.length;
    const Vector3 e2 = cross(v_3, e1);
    return {{{e1.x, e2.x, v_3.x}, {e1.y, e2.y, v_3.y}, {e1.z, e2.z, v_3.z}}};
}

}  // namespace quorvel
