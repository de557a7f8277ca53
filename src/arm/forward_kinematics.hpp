#pragma once

#include <optional>

#include "arm/spherical_link_geometry.hpp"
#include "linalg/matrix3.hpp"
#include "linalg/vector3.hpp"

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

// What every evaluation for one geometry shares, computed once by callers
// that evaluate many joint pairs (the inverse search).
struct ArmConstants {
    double m;      // mirror sign
    double sigma;  // closure sign
    ArmArcTrig trig;
    double cos_coupler;
};

ArmConstants arm_constants(const SphericalLinkGeometry& geometry);

// forward_kinematics from elbow points already placed by elbow_a / elbow_b.
std::optional<ArmPose> pose_from_elbows(const ArmConstants& constants, const Vector3& v_2, const Vector3& v_4);

}  // namespace quorvel
