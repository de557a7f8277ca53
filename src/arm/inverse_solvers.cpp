#include "arm/inverse_solvers.hpp"

#include <cmath>
#include <cstddef>

#include "arm/forward_kinematics.hpp"
#include "arm/inverse_candidates.hpp"

namespace quorvel {

namespace {

constexpr double kOrientationTolerance = 1e-6;

// Plain differences: joint angles are never wrapped.
double pair_metric(const IkCandidate& c, const std::optional<JointPair>& near) {
    if (near) {
        const double da = c.theta_a - near->theta_a;
        const double db = c.theta_b - near->theta_b;
        return da * da + db * db;
    }
    return c.theta_a * c.theta_a + c.theta_b * c.theta_b;
}

}  // namespace

double rotation_distance(const Matrix3& f, const Matrix3& r) {
    double sum = 0.0;
    for (std::size_t i = 0; i < 3; ++i) {
        for (std::size_t j = 0; j < 3; ++j) {
            const double diff = f[i][j] - r[i][j];
            sum += diff * diff;
        }
    }
    return std::sqrt(sum);
}

std::optional<JointPair> ik(const SphericalLinkGeometry& geometry, const Matrix3& r) {
    const Vector3 d{r[0][2], r[1][2], r[2][2]};
    const CandidateList candidates = direction_candidates(geometry, d);

    const IkCandidate* best = nullptr;
    double best_distance = 0.0;
    for (const IkCandidate& c : candidates) {
        const double e = rotation_distance(c.pose.rotation, r);
        // Written so that a NaN distance is never accepted.
        if (!(e < kOrientationTolerance)) continue;
        if (best == nullptr || e < best_distance) {
            best = &c;
            best_distance = e;
        }
    }
    if (best == nullptr) return std::nullopt;
    return JointPair{best->theta_a, best->theta_b};
}

namespace {

// The direction solvers' shared steps: normalise v, keep the candidates whose
// v_3 points along it (dropping the pairs whose coupler closes on the far side
// of the elbows), and take the one of smallest score. Only a strict, NaN-free
// improvement displaces an earlier candidate. Empty when v is too short to
// normalise or no candidate points along it.
template <class Score>
std::optional<PointingSolution> best_pointing_pair(const SphericalLinkGeometry& geometry, const Vector3& v,
                                                   Score score) {
    const double length = norm(v);
    if (length < kMinimumDirectionLength) return std::nullopt;
    const Vector3 u = v / length;
    const CandidateList candidates = direction_candidates(geometry, u);

    const IkCandidate* best = nullptr;
    double best_score = 0.0;
    for (const IkCandidate& c : candidates) {
        if (!points_along(c, u)) continue;
        const double s = score(c);
        if (best == nullptr || best_score > s) {
            best = &c;
            best_score = s;
        }
    }
    if (best == nullptr) return std::nullopt;
    return PointingSolution{{best->theta_a, best->theta_b}, best_score};
}

}  // namespace

std::optional<JointPair> ik_from_direction(const SphericalLinkGeometry& geometry, const Vector3& v,
                                           const std::optional<JointPair>& near) {
    const auto best = best_pointing_pair(geometry, v, [&near](const IkCandidate& c) { return pair_metric(c, near); });
    if (!best) return std::nullopt;
    return best->joints;
}

std::optional<DirectionChoice> choose_direction_pair(const SphericalLinkGeometry& geometry, const Vector3& v,
                                                     const std::optional<JointPair>& near,
                                                     const JointLimits* limits) {
    // The steps of best_pointing_pair over the candidates in their slots: the
    // filled slots in order are its candidate list, so the choice is the same.
    const double length = norm(v);
    if (length < kMinimumDirectionLength) return std::nullopt;
    const Vector3 u = v / length;
    const CandidateSlots slots = direction_candidate_slots(geometry, u);
    std::optional<DirectionChoice> best;
    for (std::size_t k = 0; k < slots.size(); ++k) {
        if (!slots[k] || !points_along(*slots[k], u)) continue;
        const IkCandidate& c = *slots[k];
        // Written so that a NaN angle is never inside.
        if (limits != nullptr && !(c.theta_a >= limits->lo_a && c.theta_a <= limits->hi_a &&
                                   c.theta_b >= limits->lo_b && c.theta_b <= limits->hi_b)) {
            continue;
        }
        const double s = pair_metric(c, near);
        if (!best || best->metric > s) best = DirectionChoice{{c.theta_a, c.theta_b}, static_cast<int>(k), s};
    }
    return best;
}

std::optional<PointingSolution> nearest_pointing(const SphericalLinkGeometry& geometry, const Matrix3& r) {
    const Vector3 third_column{r[0][2], r[1][2], r[2][2]};
    return best_pointing_pair(geometry, third_column,
                              [&r](const IkCandidate& c) { return rotation_distance(c.pose.rotation, r); });
}

bool is_reachable_orientation(const SphericalLinkGeometry& geometry, const Matrix3& r) {
    return ik(geometry, r).has_value();
}

bool is_reachable_direction(const SphericalLinkGeometry& geometry, const Vector3& v) {
    return ik_from_direction(geometry, v, std::nullopt).has_value();
}

bool is_reachable_joints(const SphericalLinkGeometry& geometry, double theta_a, double theta_b) {
    return forward_kinematics(geometry, theta_a, theta_b).has_value();
}

}  // namespace quorvel
