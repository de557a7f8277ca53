#pragma once

#include <optional>

#include "linalg/vector3.hpp"

namespace quorvel {

// The point at arc alpha from u and arc beta from w, on the side of the great
// circle through u and w picked by sigma (+1 toward u x w, -1 away from it).
// Empty when u and w are (anti)parallel or the two circles do not meet.
std::optional<Vector3> close_loop(const Vector3& u, double alpha, const Vector3& w, double beta, double sigma);

// The same closure given cos(alpha) and cos(beta), for callers that close
// many loops with the same arcs and compute each cosine once.
std::optional<Vector3> close_loop_cos(const Vector3& u, double cos_alpha, const Vector3& w, double cos_beta,
                                      double sigma);

}  // namespace quorvel
