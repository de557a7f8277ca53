#pragma once

#include <optional>

#include "../linalg/vector3.hpp"
#include "spherical_link_geometry.hpp"

namespace quorvel {

// The reachable directions: the unit vectors v onto which some inverse
// candidate puts v_3 exactly, that is, for which some choice of elbows at arc
// coupler_arc from v (one on each joint's circle) has v on the geometry's
// branch side of their great circle, the side included. This is the exact set
// that is_reachable_direction approximates with its 1e-6 acceptance: that
// predicate also accepts directions up to about 5e-7 rad outside (where a
// candidate closing on the other side lands within 1e-6 of v) and refuses
// some up to about 1e-5 rad inside a coincident-elbow circle, where the
// elbows nearly meet and the loop closure moves v_3 by more than 1e-6.
// Margins beyond those bands agree with it in sign.
//
// Its boundary lies on three kinds of curve: the small circles about either
// joint axis at arm_arc +- coupler_arc (an elbow in line with its coupler),
// the path of v_3 while the couplers are stretched into one arc of
// 2 coupler_arc, and the circles of radius coupler_arc about the points where
// the elbows can coincide. The functions below find the pieces that truly
// bound the set. Checked for arcs strictly between 0 and pi/2 (arm_arc
// different from coupler_arc); other arcs give values, not guarantees.

// Signed angle in radians from the direction v3 (any non-zero length) to the
// boundary of the reachable directions: positive inside, negative outside,
// +inf or -inf where the set is the whole sphere or empty. NaN for a v3 that
// is shorter than 1e-12 or not finite, and for a non-finite geometry.
double workspace_margin(const SphericalLinkGeometry& geometry, const Vector3& v3);

struct NearestReachable {
    Vector3 direction;  // unit length
    double angle;       // radians from v3 to direction
};

// v3 normalised with angle 0 when its margin is not negative; otherwise the
// nearest boundary direction, moved inside by the smallest of 0, 1e-10, ...,
// 1e-4 rad that is_reachable_direction accepts (so ik_from_direction solves
// it; the boundary direction itself when none is), with the angle to the
// direction returned. The step is about 1e-10 off the rings and the
// stretched path, up to 1e-5 off a coincident-elbow circle. Empty for a v3
// shorter than 1e-12 or not finite, or when the geometry reaches no direction
// at all.
std::optional<NearestReachable> nearest_reachable_direction(const SphericalLinkGeometry& geometry, const Vector3& v3);

}  // namespace quorvel
