#pragma once

#include <optional>

#include "../linalg/matrix3.hpp"
#include "../linalg/vector3.hpp"
#include "neck_kinematics.hpp"

namespace quorvel {

// The head's angular velocity omega = J [dyaw, dpitch, droll] (dR/dt =
// [omega]x R), in the body frame, for R = Rz(yaw) Ry(pitch) Rx(roll) as
// neck_forward_kinematics builds it. Columns: z, Rz(yaw) y and
// Rz(yaw) Ry(pitch) x, the three joint axes in the body frame:
// [[0, -sin y, cos y cos p], [0, cos y, sin y cos p], [1, 0, -sin p]].
// det J = -cos(pitch).
Matrix3 neck_angular_jacobian(const NeckAngles& angles);

// The angle rates giving omega. Empty where 1 - |sin pitch| is below
// GIMBAL_LOCK_MARGIN (the test neck_inverse_kinematics applies to
// r[2][0] = -sin pitch) or where a rate would not be finite (NaN or infinite
// input).
std::optional<NeckAngles> neck_joint_rates(const NeckAngles& angles, const Vector3& omega);

}  // namespace quorvel
