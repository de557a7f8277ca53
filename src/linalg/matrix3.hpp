#pragma once

#include <array>

namespace quorvel {

// Row-major: m[i][j] is row i, column j.
using Matrix3 = std::array<std::array<double, 3>, 3>;

}  // namespace quorvel
