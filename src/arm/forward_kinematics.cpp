#include "arm/forward_kinematics.hpp"

#include <cmath>

#include "arm/elbow_points.hpp"
#include "arm/loop_closure.hpp"

namespace quorvel {

namespace {

// Third frame axis is v_3; the first points from v_3 along the sphere toward
// the elbows' midpoint, falling back to a fixed axis when that is degenerate.
Matrix3 end_effector_frame(const Vector3& v_2, const Vector3& v_3, const Vector3& v_4) {
    const Vector3 sum = v_2 + v_4;
    const Vector3 d = sum / norm(sum);
    Vector3 p = d - dot(d, v_3) * v_3;
    double length = norm(p);
    if (!(length > 1e-12)) {
        const Vector3 a = std::fabs(v_3.x) < 0.9 ? Vector3{1.0, 0.0, 0.0} : Vector3{0.0, 1.0, 0.0};
        p = a - dot(a, v_3) * v_3;
        length = norm(p);
    }
    const Vector3 e1 = p / length;
    const Vector3 e2 = cross(v_3, e1);
    return {{{e1.x, e2.x, v_3.x}, {e1.y, e2.y, v_3.y}, {e1.z, e2.z, v_3.z}}};
}

}  // namespace

ArmConstants arm_constants(const SphericalLinkGeometry& geometry) {
    return {mirror_sign(geometry), closure_sign(geometry), arm_arc_trig(geometry), std::cos(geometry.coupler_arc)};
}

std::optional<ArmPose> pose_from_elbows(const ArmConstants& constants, const Vector3& v_2, const Vector3& v_4) {
    const std::optional<Vector3> v_3 =
        close_loop_cos(v_2, constants.cos_coupler, v_4, constants.cos_coupler, constants.sigma);
    if (!v_3) return LoopNotClosed;
    return ArmPose{end_effector_frame(v_2, *v_3, v_4), v_2, *v_3, v_4};
}

std::optional<ArmPose> forward_kinematics(const SphericalLinkGeometry& geometry, double theta_a, double theta_b) {
    const ArmConstants c = arm_constants(geometry);
    return pose_from_elbows(c, elbow_a(c.m, c.trig, theta_a), elbow_b(c.m, c.trig, theta_b));
}

}  // namespace quorvel
