#pragma once

#include "arm/direction_elbows.hpp"
#include "linalg/vector3.hpp"

namespace quorvel {

// The nearest point to a unit direction u found so far by the workspace
// searches.
struct NearestCandidate {
    bool found = false;
    double angle = 0.0;      // radians from u
    double cos_angle = 0.0;  // u . point
    Vector3 point{};
};

// Offers `point` to `best`: kept when nearer to u.
void offer_candidate(const Vector3& u, const Vector3& point, NearestCandidate& best);

// The path of v_3 while both couplers lie in one arc of 2 coupler_arc:
// v_2 . v_4 = cos(2 coupler_arc), v_3 = (v_2 + v_4) / (2 cos(coupler_arc)),
// the coupler curve of a spherical four-bar (u_A, v_2, v_4, u_B) whose
// coupler is the stretched pair. Where it bounds the reachable directions
// the loop stops closing.
//
// Samples the path (64 points per loop, with joint A driving), brackets the
// local minima of the angle from u, including pairs of turns hidden between
// two samples, refines those that could improve on `best` and offers each to
// it; with only_boundary, only those where no elbow choice strictly reaches
// the point (points of the boundary seen from inside).
void search_stretched_path(const ReachGeometry& g, const Vector3& u, bool only_boundary, NearestCandidate& best);

}  // namespace quorvel
