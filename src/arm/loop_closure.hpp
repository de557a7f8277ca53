#pragma once

#include <optional>

#include "linalg/vector3.hpp"

namespace quorvel {

// The point at arc alpha from u and arc beta from w, on the side of the great
// circle through u and w picked by sigma (+1 toward u x w, -1 away from it).
// Empty when u and w are (anti)parallel or the two circles do not meet.
std::optional<Vector3> close_loop(const Vector3& u, double alpha, const Vector3& w, double beta, double sigma);

}  // namespace quorvel
