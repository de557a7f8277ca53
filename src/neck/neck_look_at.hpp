#pragma once

#include <optional>

#include "../linalg/vector3.hpp"
#include "neck_kinematics.hpp"

namespace quorvel {

// The neck angles that aim the head's x axis (column 0 of
// neck_forward_kinematics) along `direction` (any non-zero length), with
// roll 0: pitch = atan2(-z, hypot(x, y)) in [-pi/2, pi/2]. Without
// previous_yaw, yaw = atan2(y, x) in (-pi, pi]. With previous_yaw, the yaw
// 2pi-equivalent to that which lies nearest previous_yaw (|yaw - previous| <=
// pi); and where the direction is within the gimbal margin of straight up or
// down (1 - |z|/|direction| below GIMBAL_LOCK_MARGIN, the test
// neck_inverse_kinematics applies to r[2][0]), yaw is previous_yaw itself. A
// non-finite previous_yaw gives a NaN yaw. Empty for a zero direction or one
// with a non-finite component.
std::optional<NeckAngles> neck_look_at(const Vector3& direction, std::optional<double> previous_yaw);

}  // namespace quorvel
