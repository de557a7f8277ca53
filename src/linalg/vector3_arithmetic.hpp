#pragma once

#include "linalg/vector3.hpp"

namespace quorvel {

// The Vector3 operations only the core's own formulas use; not installed, so
// the package's interface stays what its consumers use.
inline Vector3 operator+(const Vector3& a, const Vector3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vector3 operator/(const Vector3& a, double s) { return {a.x / s, a.y / s, a.z / s}; }

}  // namespace quorvel
