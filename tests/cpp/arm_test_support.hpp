#pragma once

#include "arm/spherical_link_geometry.hpp"
#include "linalg/matrix3.hpp"
#include "linalg/vector3.hpp"

namespace quorvel::testing_support {

// Geometry documents are the only other way to reach the negative branch.
inline SphericalLinkGeometry with_branch(SphericalLinkGeometry g, LoopBranch b) {
    g.branch = b;
    return g;
}

inline Vector3 column(const Matrix3& r, int j) { return {r[0][j], r[1][j], r[2][j]}; }

}  // namespace quorvel::testing_support
