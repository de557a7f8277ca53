#include "arm/forward_kinematics.hpp"

#include <cmath>

#include "arm/elbow_points.hpp"
#include "arm/end_effector_frame.hpp"
#include "arm/loop_closure.hpp"

namespace quorvel {

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
