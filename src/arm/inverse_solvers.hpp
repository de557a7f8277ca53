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

bool is_reachable_orientation(const SphericalLinkGeometry& geometry, const Matrix3& r);
bool is_reachable_direction(const SphericalLinkGeometry& geometry, const Vector3& v);
bool is_reachable_joints(const SphericalLinkGeometry& geometry, double theta_a, double theta_b);

}  // namespace quorvel
