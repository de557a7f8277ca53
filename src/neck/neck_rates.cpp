#include "neck/neck_rates.hpp"

#include <cmath>

namespace quorvel {

Matrix3 neck_angular_jacobian(const NeckAngles& angles) {
    const double sy = std::sin(angles.yaw);
    const double cy = std::cos(angles.yaw);
    const double sp = std::sin(angles.pitch);
    const double cp = std::cos(angles.pitch);
    return {{{0.0, -sy, cy * cp}, {0.0, cy, sy * cp}, {1.0, 0.0, -sp}}};
}

// From the rows of J: cos y w_x + sin y w_y = cos p droll,
// -sin y w_x + cos y w_y = dpitch and w_z = dyaw - sin p droll.
std::optional<NeckAngles> neck_joint_rates(const NeckAngles& angles, const Vector3& omega) {
    const double sp = std::sin(angles.pitch);
    if (1.0 - std::fabs(-sp) < GIMBAL_LOCK_MARGIN) return GimbalLock;
    const double sy = std::sin(angles.yaw);
    const double cy = std::cos(angles.yaw);
    const double cp = std::cos(angles.pitch);
    const double roll = (cy * omega.x + sy * omega.y) / cp;
    const double pitch = cy * omega.y - sy * omega.x;
    const double yaw = omega.z + sp * roll;
    if (!std::isfinite(yaw) || !std::isfinite(pitch) || !std::isfinite(roll)) return std::nullopt;
    return NeckAngles{yaw, pitch, roll};
}

}  // namespace quorvel
