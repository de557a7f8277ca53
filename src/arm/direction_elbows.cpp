#include "arm/direction_elbows.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "arm/elbow_points.hpp"

namespace quorvel {

ReachGeometry reach_geometry(const SphericalLinkGeometry& geometry) {
    ReachGeometry g{};
    g.sigma = closure_sign(geometry);
    g.mirror = mirror_sign(geometry);
    g.axis_a = joint_axis_a();
    g.axis_b = joint_axis_b(geometry);
    g.cos_arm = std::cos(geometry.arm_arc);
    g.sin_arm = std::sin(geometry.arm_arc);
    g.cos_coupler = std::cos(geometry.coupler_arc);
    g.cos_stretch = std::cos(2.0 * geometry.coupler_arc);
    const double spread = std::fabs(g.sin_arm * std::sin(geometry.coupler_arc));
    g.ring_low = g.cos_arm * g.cos_coupler - spread;
    g.ring_high = g.cos_arm * g.cos_coupler + spread;
    // The axes are perpendicular: X = cos_arm (u_A + u_B) + y (u_A x u_B).
    const double y2 = 1.0 - 2.0 * g.cos_arm * g.cos_arm;
    g.fold_count = 0;
    if (y2 >= 0.0) {
        const Vector3 normal = cross(g.axis_a, g.axis_b);
        const Vector3 base = g.cos_arm * (g.axis_a + g.axis_b);
        const double y = std::sqrt(y2);
        g.folds[0] = base + y * normal;
        g.folds[1] = base - y * normal;
        g.fold_count = y2 > 0.0 ? 2 : 1;
    }
    return g;
}

ElbowChoice elbows_toward(const Vector3& axis, double cos_arm, const Vector3& v, double cos_coupler, double slack) {
    ElbowChoice e{};
    const double c = std::clamp(dot(axis, v), -1.0, 1.0);
    const double s = std::sqrt(1.0 - c * c);
    if (!(s >= 1e-12)) return e;
    const double k = (cos_coupler - c * cos_arm) / s;
    double q = 1.0 - cos_arm * cos_arm - k * k;
    if (q < 0.0) {
        if (q < -slack) return e;
        q = 0.0;
    }
    const Vector3 n = cross(axis, v) / s;
    const Vector3 base = cos_arm * axis + k * cross(n, axis);
    const Vector3 off = std::sqrt(q) * n;
    e.exists = true;
    e.side[0] = base + off;
    e.side[1] = base - off;
    return e;
}

double branch_excess(const ReachGeometry& g, const Vector3& v, double slack) {
    const ElbowChoice a = elbows_toward(g.axis_a, g.cos_arm, v, g.cos_coupler, slack);
    if (!a.exists) return -std::numeric_limits<double>::infinity();
    const ElbowChoice b = elbows_toward(g.axis_b, g.cos_arm, v, g.cos_coupler, slack);
    if (!b.exists) return -std::numeric_limits<double>::infinity();
    double best = -std::numeric_limits<double>::infinity();
    for (const Vector3& v_2 : a.side) {
        for (const Vector3& v_4 : b.side) {
            const double excess = g.sigma * dot(v, cross(v_2, v_4));
            if (excess > best) best = excess;
        }
    }
    return best;
}

}  // namespace quorvel
