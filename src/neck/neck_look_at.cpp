#include "neck/neck_look_at.hpp"

#include <cmath>
#include <numbers>

namespace quorvel {

std::optional<NeckAngles> neck_look_at(const Vector3& direction, std::optional<double> previous_yaw) {
    if (!is_finite(direction)) return std::nullopt;
    const double x = direction.x, y = direction.y, z = direction.z;
    if (x == 0.0 && y == 0.0 && z == 0.0) return std::nullopt;
    // hypot keeps huge and tiny directions from overflowing or underflowing.
    const double horizontal = std::hypot(x, y);
    const double pitch = std::atan2(-z, horizontal);
    double yaw = std::atan2(y, x);
    // atan2(-0.0, negative) is -pi; the half-open range keeps +pi.
    if (yaw == -std::numbers::pi) yaw = std::numbers::pi;
    if (previous_yaw) {
        const double r20 = z / std::hypot(horizontal, z);
        if (1.0 - std::fabs(r20) < GIMBAL_LOCK_MARGIN) {
            yaw = *previous_yaw;
        } else {
            yaw = *previous_yaw - std::remainder(*previous_yaw - yaw, 2.0 * std::numbers::pi);
        }
    }
    return NeckAngles{yaw, pitch, 0.0};
}

}  // namespace quorvel
