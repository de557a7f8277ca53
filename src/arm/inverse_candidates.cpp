#include "arm/inverse_candidates.hpp"

#include <cmath>
#include <optional>

#include "arm/elbow_points.hpp"
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

namespace {

// Calls sink(slot, candidate) for each confirmed candidate, slot 2·i + j for
// the sides (eps_A, eps_B) = (+,+), (+,-), (-,+), (-,-), in that order.
template <class Sink>
void enumerate_candidates(const SphericalLinkGeometry& geometry, const Vector3& d, Sink sink) {
    // Every closure and confirmation below shares the arcs' sines and cosines.
    const ArmConstants c = arm_constants(geometry);
    const Vector3 axis_a = joint_axis_a();
    const Vector3 axis_b = joint_axis_b(geometry);
    const Vector3 p_a = project_off_axis(rest_elbow_a(c.m, c.trig), axis_a);
    const Vector3 p_b = project_off_axis(rest_elbow_b(c.m, c.trig), axis_b);

    // The joint B solutions do not depend on joint A's side: find them once.
    struct JointB {
        // cppcheck-suppress unusedStructMember ; false positive: read below through std::optional
        double theta_b;
        // cppcheck-suppress unusedStructMember ; false positive: read below through std::optional
        Vector3 elbow;
    };
    std::array<std::optional<JointB>, 2> joint_b;
    for (std::size_t j = 0; j < 2; ++j) {
        const double eps_b = j == 0 ? 1.0 : -1.0;
        const std::optional<Vector3> v_4 = close_loop_cos(axis_b, c.trig.cos_arc, d, c.cos_coupler, eps_b);
        if (!v_4) continue;
        const double theta_b = signed_angle(p_b, project_off_axis(*v_4, axis_b), axis_b);
        joint_b[j] = JointB{theta_b, elbow_b(c.m, c.trig, theta_b)};
    }

    for (std::size_t i = 0; i < 2; ++i) {
        const double eps_a = i == 0 ? 1.0 : -1.0;
        const std::optional<Vector3> v_2 = close_loop_cos(axis_a, c.trig.cos_arc, d, c.cos_coupler, eps_a);
        if (!v_2) continue;
        const double theta_a = signed_angle(p_a, project_off_axis(*v_2, axis_a), axis_a);
        const Vector3 elbow = elbow_a(c.m, c.trig, theta_a);
        for (std::size_t j = 0; j < 2; ++j) {
            if (!joint_b[j]) continue;
            const std::optional<ArmPose> pose = pose_from_elbows(c, elbow, joint_b[j]->elbow);
            if (!pose) continue;
            sink(2 * i + j, IkCandidate{theta_a, joint_b[j]->theta_b, *pose});
        }
    }
}

}  // namespace

CandidateList direction_candidates(const SphericalLinkGeometry& geometry, const Vector3& d) {
    CandidateList candidates;
    enumerate_candidates(geometry, d, [&candidates](std::size_t, const IkCandidate& c) { candidates.push_back(c); });
    return candidates;
}

CandidateSlots direction_candidate_slots(const SphericalLinkGeometry& geometry, const Vector3& d) {
    CandidateSlots slots;
    enumerate_candidates(geometry, d, [&slots](std::size_t slot, const IkCandidate& c) { slots[slot] = c; });
    return slots;
}

}  // namespace quorvel
