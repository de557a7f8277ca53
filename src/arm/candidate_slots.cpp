#include "arm/candidate_slots.hpp"

#include <cmath>

#include "arm/forward_kinematics.hpp"
#include "arm/loop_closure.hpp"

namespace quorvel {

namespace {

// The enumeration's own formulas, operation for operation: a C++ test holds
// the filled slots bit-identical to direction_candidates.
Vector3 project_off_axis(const Vector3& x, const Vector3& k) { return x - dot(x, k) * k; }

double signed_angle(const Vector3& p, const Vector3& q, const Vector3& k) {
    return std::atan2(dot(k, cross(p, q)), dot(p, q));
}

}  // namespace

CandidateSlots direction_candidate_slots(const SphericalLinkGeometry& geometry, const Vector3& d) {
    const ArmConstants c = arm_constants(geometry);
    const Vector3 axis_a = joint_axis_a();
    const Vector3 axis_b = joint_axis_b(geometry);
    const Vector3 p_a = project_off_axis(rest_elbow_a(c.m, c.trig), axis_a);
    const Vector3 p_b = project_off_axis(rest_elbow_b(c.m, c.trig), axis_b);

    std::array<std::optional<double>, 2> theta_b;
    std::array<Vector3, 2> elbow_b_of{};
    for (std::size_t i = 0; i < 2; ++i) {
        const double eps_b = i == 0 ? 1.0 : -1.0;
        const std::optional<Vector3> v_4 = close_loop_cos(axis_b, c.trig.cos_arc, d, c.cos_coupler, eps_b);
        if (!v_4) continue;
        theta_b[i] = signed_angle(p_b, project_off_axis(*v_4, axis_b), axis_b);
        elbow_b_of[i] = elbow_b(c.m, c.trig, *theta_b[i]);
    }

    CandidateSlots slots;
    for (std::size_t i = 0; i < 2; ++i) {
        const double eps_a = i == 0 ? 1.0 : -1.0;
        const std::optional<Vector3> v_2 = close_loop_cos(axis_a, c.trig.cos_arc, d, c.cos_coupler, eps_a);
        if (!v_2) continue;
        const double theta_a = signed_angle(p_a, project_off_axis(*v_2, axis_a), axis_a);
        const Vector3 elbow = elbow_a(c.m, c.trig, theta_a);
        for (std::size_t j = 0; j < 2; ++j) {
            if (!theta_b[j]) continue;
            const std::optional<ArmPose> pose = pose_from_elbows(c, elbow, elbow_b_of[j]);
            if (!pose) continue;
            slots[2 * i + j] = IkCandidate{theta_a, *theta_b[j], *pose};
        }
    }
    return slots;
}

}  // namespace quorvel
