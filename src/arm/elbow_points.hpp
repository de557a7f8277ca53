#pragma once

#include <cmath>
#include <optional>

#include "arm/forward_kinematics.hpp"
#include "arm/spherical_link_geometry.hpp"
#include "linalg/vector3.hpp"

namespace quorvel {

// The arm's fixed base frame and elbow placement, shared by the forward
// kinematics and the inverse enumeration so both use the same axes, rest
// positions and rotation sense. Not installed: no consumer of the package
// needs them.

inline constexpr double closure_sign(const SphericalLinkGeometry& g) {
    return g.branch == LoopBranch::Positive ? 1.0 : -1.0;
}

inline constexpr Vector3 joint_axis_a() { return {0.0, 0.0, 1.0}; }
inline constexpr Vector3 joint_axis_b(const SphericalLinkGeometry& g) { return {mirror_sign(g), 0.0, 0.0}; }

// sin and cos of arm_arc, evaluated once per use and shared by both elbows.
struct ArmArcTrig {
    double sin_arc;
    double cos_arc;
};

inline ArmArcTrig arm_arc_trig(const SphericalLinkGeometry& g) { return {std::sin(g.arm_arc), std::cos(g.arm_arc)}; }

inline Vector3 rest_elbow_a(double m, const ArmArcTrig& t) { return {m * t.sin_arc, 0.0, t.cos_arc}; }
inline Vector3 rest_elbow_b(double m, const ArmArcTrig& t) { return {m * t.cos_arc, 0.0, t.sin_arc}; }

// v_2: rest elbow A turned by theta_a about joint axis A. An exact zero keeps
// the rest position without touching sin/cos.
inline Vector3 elbow_a(double m, const ArmArcTrig& t, double theta_a) {
    if (theta_a == 0.0) return rest_elbow_a(m, t);
    return {m * t.sin_arc * std::cos(theta_a), m * t.sin_arc * std::sin(theta_a), t.cos_arc};
}

// v_4: rest elbow B turned by theta_b about joint axis B.
inline Vector3 elbow_b(double m, const ArmArcTrig& t, double theta_b) {
    if (theta_b == 0.0) return rest_elbow_b(m, t);
    return {m * t.cos_arc, -m * t.sin_arc * std::sin(theta_b), t.sin_arc * std::cos(theta_b)};
}

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
