#pragma once

#include "arm/spherical_link_geometry.hpp"
#include "linalg/vector3.hpp"

namespace quorvel {

// What the reachable-direction searches need of one geometry, computed once
// per query. Not installed.
struct ReachGeometry {
    double sigma;  // closure sign
    Vector3 axis_a;
    Vector3 axis_b;
    double mirror;
    double cos_arm;
    double sin_arm;  // with the sign of arm_arc, as the elbows are placed
    double cos_coupler;
    double cos_stretch;  // cos(2 coupler_arc): the elbows' dot product with the couplers in line
    // An elbow at arm_arc from an axis and coupler_arc from v exists exactly
    // when cos(angle from the axis to v) lies in [ring_low, ring_high]:
    // cos(arm_arc +- coupler_arc).
    double ring_low;
    double ring_high;
    // The points where both elbows can coincide (at arm_arc from both axes).
    int fold_count;
    Vector3 folds[2];
};

ReachGeometry reach_geometry(const SphericalLinkGeometry& geometry);

// Both elbows of one joint at coupler_arc from a unit direction: the points of
// close_loop_cos(axis, cos_arm, v, cos_coupler, +-1). A negative discriminant
// down to -slack counts as touching, so points computed on a ring's edge keep
// their (single) elbow.
struct ElbowChoice {
    bool exists;
    Vector3 side[2];  // sides +1, -1
};

ElbowChoice elbows_toward(const Vector3& axis, double cos_arm, const Vector3& v, double cos_coupler, double slack);

// max over the four elbow choices of sigma det[v_2, v_4, v]: not negative
// exactly where v is reachable (v_3 closes onto v for that choice), -inf
// where either joint has no elbow at coupler_arc from v.
double branch_excess(const ReachGeometry& g, const Vector3& v, double slack);

// A point that an elbow choice reaches by less than this excess is merely
// touched by it: the searches count it as boundary.
inline constexpr double kExcessTolerance = 1e-12;

}  // namespace quorvel
