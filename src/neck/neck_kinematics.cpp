#include "neck/neck_kinematics.hpp"

#include <cmath>

namespace quorvel {

namespace {

// Fixed summation order k = 0, 1, 2 so every entry is reproducible bit for bit.
Matrix3 multiply(const Matrix3& a, const Matrix3& b) {
    Matrix3 r{};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            r[i][j] = a[i][0] * b[0][j] + a[i][1] * b[1][j] + a[i][2] * b[2][j];
        }
    }
    return r;
}

}  // namespace

Matrix3 axis_rotation(const Vector3& axis, double angle) {
    // Exact identity (with +0.0 off the diagonal) for either signed zero.
    if (angle == 0.0) return {{{1.0, 0.0, 0.0}, {0.0, 1.0, 0.0}, {0.0, 0.0, 1.0}}};
    const double s = std::sin(angle);
    const double c = std::cos(angle);
    const double m = 1.0 - c;
    const double ux = axis.x, uy = axis.y, uz = axis.z;
    const double qx = ux * ux, qy = uy * uy, qz = uz * uz;
    // Zero-component terms are kept: they fix the sign of zero entries and
    // let a NaN angle reach all nine entries.
    return {{
        {qx + (1.0 - qx) * c, ux * uy * m - uz * s, ux * uz * m + uy * s},
        {ux * uy * m + uz * s, qy + (1.0 - qy) * c, uy * uz * m - ux * s},
        {ux * uz * m - uy * s, uy * uz * m + ux * s, qz + (1.0 - qz) * c},
    }};
}

Matrix3 neck_forward_kinematics(const NeckAngles& angles) {
    const Matrix3 z = axis_rotation({0.0, 0.0, 1.0}, angles.yaw);
    const Matrix3 y = axis_rotation({0.0, 1.0, 0.0}, angles.pitch);
    const Matrix3 x = axis_rotation({1.0, 0.0, 0.0}, angles.roll);
    // (Z·Y)·X, not Z·(Y·X): the two differ in the last bit.
    return multiply(multiply(z, y), x);
}

std::optional<NeckAngles> neck_inverse_kinematics(const Matrix3& r) {
    // A NaN makes t NaN and the test false, so NaN flows on instead of locking;
    // values beyond ±1 are refused here, keeping asin inside its domain.
    const double t = 1.0 - std::fabs(r[2][0]);
    if (t < GIMBAL_LOCK_MARGIN) return GimbalLock;
    const double pitch = std::asin(-r[2][0]);
    const double roll = std::atan2(r[2][1], r[2][2]);
    const double yaw = std::atan2(r[1][0], r[0][0]);
    return NeckAngles{yaw, pitch, roll};
}

}  // namespace quorvel
