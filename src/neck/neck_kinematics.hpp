#pragma once

#include <optional>

#include "../linalg/matrix3.hpp"
#include "../linalg/vector3.hpp"

namespace quorvel {

// Radians, always travelling in this order.
struct NeckAngles {
    double yaw = 0.0;    // about z
    double pitch = 0.0;  // about y
    double roll = 0.0;   // about x
};

// The empty outcome of neck_inverse_kinematics: yaw and roll cannot be told apart.
inline constexpr std::nullopt_t GimbalLock = std::nullopt;

// How close |r[2][0]| may come to 1 before the inverse refuses.
inline constexpr double GIMBAL_LOCK_MARGIN = 1e-6;

// Right-handed rotation by +angle about a unit coordinate axis.
Matrix3 axis_rotation(const Vector3& axis, double angle);

// Head frame in body frame: intrinsic z-y'-x'' (yaw, then pitch, then roll).
Matrix3 neck_forward_kinematics(const NeckAngles& angles);

// Reads only r[2][0], r[2][1], r[2][2], r[1][0] and r[0][0]; r need not be a rotation.
std::optional<NeckAngles> neck_inverse_kinematics(const Matrix3& r);

}  // namespace quorvel
