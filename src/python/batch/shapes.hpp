#pragma once

#include "python/batch/array_arguments.hpp"

namespace quorvel::python::batch {

// The argument shapes, named as the errors and the documentation name them.
inline constexpr ShapeRule kJointPairs = {"(..., 2)", kAnyLeading, 1, {2, 0}};
inline constexpr ShapeRule kVectors = {"(..., 3)", kAnyLeading, 1, {3, 0}};
inline constexpr ShapeRule kMatrices = {"(..., 3, 3)", kAnyLeading, 2, {3, 3}};
inline constexpr ShapeRule kPath = {"(N, 3)", 1, 1, {3, 0}};
inline constexpr ShapeRule kOnePair = {"(2,)", 0, 1, {2, 0}};
inline constexpr const char* kNearShape = "(2,) or (..., 2)";

inline constexpr double kNaN = __builtin_nan("");

}  // namespace quorvel::python::batch
