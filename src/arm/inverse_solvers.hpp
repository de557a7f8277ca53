#pragma once

#include <optional>

#include "../linalg/matrix3.hpp"
#include "../linalg/vector3.hpp"
#include "joint_pair.hpp"
#include "spherical_link_geometry.hpp"

namespace quorvel {

// The joint pair whose end-effector rotation lies within 1e-6 (Frobenius) of
// r, the closest one if several do; empty otherwise.
std::optional<JointPair> ik(const SphericalLinkGeometry& geometry, const Matrix3& r);

// A joint pair putting v_3 within 1e-6 of v normalised: the one nearest to
// near, or of smallest norm without it; the earlier candidate on a tie.
std::optional<JointPair> ik_from_direction(const SphericalLinkGeometry& geometry, const Vector3& v,
                                           const std::optional<JointPair>& near);

// Inclusive joint ranges, radians; lo <= hi.
struct JointLimits {
    double lo_a;
    double hi_a;
    double lo_b;
    double hi_b;
};

// ik_from_direction's choice together with where it came from: the slot of
// direction_candidate_slots (0 to 3) that held it, and its squared distance
// to `near` (its squared norm without near).
struct DirectionChoice {
    JointPair joints;
    int slot;
    double metric;
};

// The pair ik_from_direction chooses, among the candidates inside `limits`
// only (every candidate when null); bit for bit its answer without limits.
std::optional<DirectionChoice> choose_direction_pair(const SphericalLinkGeometry& geometry, const Vector3& v,
                                                     const std::optional<JointPair>& near,
                                                     const JointLimits* limits);

// Where a target rotation lies off the reachable set (a twist about the
// pointing axis the arm cannot make, sensor noise), the best the arm can do:
// point along the target's third column.
struct PointingSolution {
    JointPair joints;
    double residual;  // rotation_distance(reached rotation, target)
};

// Among the pairs that put v_3 within 1e-6 of the target's third column
// (normalised, as ik_from_direction does), the one whose rotation is nearest
// the target; the earlier candidate on a tie or a NaN distance. Empty exactly
// when that direction cannot be reached.
std::optional<PointingSolution> nearest_pointing(const SphericalLinkGeometry& geometry, const Matrix3& r);

// Frobenius distance between two matrices, summed row by row: the measure
// ik accepts a candidate by.
double rotation_distance(const Matrix3& a, const Matrix3& b);

bool is_reachable_orientation(const SphericalLinkGeometry& geometry, const Matrix3& r);
bool is_reachable_direction(const SphericalLinkGeometry& geometry, const Vector3& v);
bool is_reachable_joints(const SphericalLinkGeometry& geometry, double theta_a, double theta_b);

}  // namespace quorvel
