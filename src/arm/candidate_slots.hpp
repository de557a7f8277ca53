#pragma once

#include <array>
#include <cstddef>
#include <optional>

#include "arm/inverse_candidates.hpp"
#include "arm/spherical_link_geometry.hpp"
#include "linalg/vector3.hpp"

namespace quorvel {

// The candidates of direction_candidates, each kept in the slot of the sides
// that produced it, (eps_A, eps_B) = (+,+), (+,-), (-,+), (-,-), so a caller
// following a path can tell which branch a candidate belongs to even where
// another one drops out. The filled slots, read in order, are exactly the
// list direction_candidates returns for the same d.
using CandidateSlots = std::array<std::optional<IkCandidate>, 4>;

CandidateSlots direction_candidate_slots(const SphericalLinkGeometry& geometry, const Vector3& d);

}  // namespace quorvel
