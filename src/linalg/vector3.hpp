#pragma once

#include <cmath>

namespace quorvel {

// Plain value; every operation is written out so the evaluation order is the
// one the formulas state (results are compared bit for bit).
struct Vector3 {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
};

inline double dot(const Vector3& a, const Vector3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

inline Vector3 cross(const Vector3& a, const Vector3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

inline double norm(const Vector3& a) { return std::sqrt(dot(a, a)); }

inline bool is_finite(const Vector3& a) { return std::isfinite(a.x) && std::isfinite(a.y) && std::isfinite(a.z); }

// In [0, pi]; unlike acos of the dot product, accurate near 0 and pi.
inline double angle_between(const Vector3& a, const Vector3& b) { return std::atan2(norm(cross(a, b)), dot(a, b)); }

inline Vector3 operator+(const Vector3& a, const Vector3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vector3 operator-(const Vector3& a, const Vector3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vector3 operator*(double s, const Vector3& a) { return {s * a.x, s * a.y, s * a.z}; }
inline Vector3 operator/(const Vector3& a, double s) { return {a.x / s, a.y / s, a.z / s}; }

}  // namespace quorvel
