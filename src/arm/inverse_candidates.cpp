#include "arm/inverse_candidates.hpp"

#include <cmath>
#include <optional>

#include "arm/loop_closure.hpp"

namespace quorvel {

namespace {

// General 3-component products on purpose: the results must match the forward
// formulas bit for bit, including the signs of zero residues.
Vector3 project_off_axis(const Vector3& x, const Vector3& k) { return x - dot(x, k) * k; }

double signed_angle(const Vector3& p, const Vector3& q, const Vector3& k) {
    return std::atan2(dot(k, cross(p, q)), dot(p, q));
}

}  // namespace

CandidateList direction_candidates(const SphericalLinkGeometry& geometry, const Vector3& d) {
    const double m = mirror_sign(geometry);
    const ArmArcTrig trig = arm_arc_trig(geometry);
    const Vector3 axis_a = joint_axis_a();
    const Vector3 axis_b = joint_axis_b(geometry);
    const Vector3 p_a = project_off_axis(rest_elbow_a(m, trig), axis_a);
    const Vector3 p_b = project_off_axis(rest_elbow_b(m, trig), axis_b);

    CandidateList candidates;
    for (const double eps_a : {1.0, -1.0}) {
        const std::optional<Vector3> v_2 = close_loop(axis_a, geometry.arm_arc, d, geometry.coupler_arc, eps_a);
        if (!v_2) continue;
        const double theta_a = signed_angle(p_a, project_off_axis(*v_2, axis_a), axis_a);
        for (const double eps_b : {1.0, -1.0}) {
            const std::optional<Vector3> v_4 = close_loop(axis_b, geometry.arm_arc, d, geometry.coupler_arc, eps_b);
            if (!v_4) continue;
            const double theta_b = signed_angle(p_b, project_off_axis(*v_4, axis_b), axis_b);
            const std::optional<ArmPose> pose = forward_kinematics(geometry, theta_a, theta_b);
            if (!pose) continue;
            candidates.push_back(IkCandidate{theta_a, theta_b, *pose});
        }
    }
    return candidates;
}

}  // namespace quorvel
