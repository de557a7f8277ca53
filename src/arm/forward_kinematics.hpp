#pragma once

#include <optional>

#include "../linalg/matrix3.hpp"
#include "../linalg/vector3.hpp"
#include "spherical_link_geometry.hpp"

namespace quorvel {

// Everything the forward kinematics learns about one joint pair; the inverse
// candidates keep it whole so the solvers can compare against it.
struct ArmPose {
    Matrix3 rotation;  // columns e1, e2, e3 = v_3
    Vector3 v_2;
    Vector3 v_3;
    Vector3 v_4;
};

// The empty outcome of forward_kinematics: the coupler cannot join the elbows.
inline constexpr std::nullopt_t LoopNotClosed = std::nullopt;

std::optional<ArmPose> forward_kinematics(const SphericalLinkGeometry& geometry, double theta_a, double theta_b);

}  // namespace quorvel
