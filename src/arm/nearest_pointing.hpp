#pragma once

#include <optional>

#include "arm/joint_pair.hpp"
#include "arm/spherical_link_geometry.hpp"
#include "linalg/matrix3.hpp"

namespace quorvel {

// Frobenius distance between two matrices, summed row by row: the measure
// the orientation solver accepts a candidate by.
double rotation_distance(const Matrix3& a, const Matrix3& b);

// Where a target rotation lies off the reachable set (a twist about the
// pointing axis the arm cannot make, sensor noise), the best the arm can do:
// point along the target's third column.
struct PointingSolution {
    JointPair joints;
    double residual;  // rotation_distance(reached rotation, target)
};

// Among the pairs that put v_3 within 1e-6 of the target's third column
// (normalised, as the direction solver does), the one whose rotation is
// nearest the target; the earlier candidate on a tie or a NaN distance.
// Empty exactly when that direction cannot be reached.
std::optional<PointingSolution> nearest_pointing(const SphericalLinkGeometry& geometry, const Matrix3& r);

}  // namespace quorvel
