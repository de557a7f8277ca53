#pragma once

#include <array>
#include <optional>

#include "../linalg/vector3.hpp"
#include "joint_pair.hpp"
#include "spherical_link_geometry.hpp"

namespace quorvel {

// Rates of the end-effector at one joint pair, all in the arm's base frame.
// Each function costs one forward kinematics plus a few dozen operations and
// is empty exactly where forward_kinematics is (the loop does not close),
// except joint_rates, which is also empty at an undamped serial singularity.
// At an exact singularity entries may be infinite or NaN; NaN inputs give
// NaN entries, never an empty result.

// Row-major: rows x, y, z; columns theta_a, theta_b.
using Jacobian3x2 = std::array<std::array<double, 2>, 3>;

// The three determinants that vanish at the arm's singularities, with
// u_A = (0, 0, 1) and u_B = (m, 0, 0) the joint axes:
// - serial_a = det[u_A, v_2, v_3], serial_b = det[u_B, v_4, v_3]: zero where
//   an input arm lies in line with its coupler (two inverse solutions meet, at
//   the edge of the reachable directions); the sign tells the elbow's side;
// - parallel = det[v_2, v_4, v_3]: zero where the couplers are stretched or
//   folded and the loop stops closing; its sign is the assembly branch
//   (positive on the Positive branch);
// - condition: sigma_max / sigma_min of the direction Jacobian restricted to
//   the tangent plane of v_3, +inf where any of the three is zero;
// - manipulability: |serial_a * serial_b / parallel|, the absolute value of
//   that 2x2 Jacobian's determinant.
struct SingularityMeasures {
    double serial_a;
    double serial_b;
    double parallel;
    double condition;
    double manipulability;
};

// J_v with dv_3/dt = J_v [dtheta_a/dt, dtheta_b/dt]:
// J_v = -(1/parallel) [serial_a (v_4 x v_3), serial_b (v_3 x v_2)].
// Its columns are perpendicular to v_3. Infinite where parallel is zero.
std::optional<Jacobian3x2> direction_jacobian(const SphericalLinkGeometry& geometry, double theta_a, double theta_b);

// J_w with omega = J_w [dtheta_a/dt, dtheta_b/dt], dR/dt = [omega]x R, R the
// rotation of forward_kinematics. Column j is v_3 x (column j of J_v) plus the
// spin about v_3 of the frame's first axis. Where the forward kinematics fell
// back to a fixed axis for e1 (v_3 on the elbows' great circle, a parallel
// singularity), it is the derivative of that fallback frame.
std::optional<Jacobian3x2> angular_jacobian(const SphericalLinkGeometry& geometry, double theta_a, double theta_b);

std::optional<SingularityMeasures> singularity_measures(const SphericalLinkGeometry& geometry, double theta_a,
                                                        double theta_b);

// The joint rates that move v_3 by the part of v3_rate perpendicular to v_3.
// damping == 0: the exact inverse, dtheta_a = -(v_2 . t)/serial_a and
// dtheta_b = -(v_4 . t)/serial_b with t that perpendicular part; empty where
// |serial_a| or |serial_b| is below 1e-12. Any other damping lambda (only
// lambda^2 enters): the minimiser of |J_v q - t|^2 + lambda^2 |q|^2, computed
// without dividing by parallel, so it stays bounded through parallel
// singularities (there it tends to the rates along the one finite direction).
std::optional<JointPair> joint_rates(const SphericalLinkGeometry& geometry, double theta_a, double theta_b,
                                     const Vector3& v3_rate, double damping);

}  // namespace quorvel
