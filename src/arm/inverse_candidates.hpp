#pragma once

#include <array>
#include <cstddef>
#include <optional>

#include "arm/forward_kinematics.hpp"
#include "arm/spherical_link_geometry.hpp"
#include "linalg/vector3.hpp"

namespace quorvel {

// One joint pair whose elbows suit a direction, with the forward kinematics
// that confirmed it (its v_3 may still lie off that direction).
struct IkCandidate {
    double theta_a;
    double theta_b;
    ArmPose pose;
};

// Ordered, fixed room for the at most four candidates of one direction, so a
// query never touches the heap.
class CandidateList {
public:
    static constexpr std::size_t capacity = 4;

    std::size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    const IkCandidate& operator[](std::size_t i) const { return items_[i]; }
    const IkCandidate* begin() const { return items_.data(); }
    const IkCandidate* end() const { return items_.data() + count_; }

    // The enumeration cannot produce a fifth entry; one would be dropped.
    void push_back(const IkCandidate& candidate) {
        if (count_ < capacity) items_[count_++] = candidate;
    }

private:
    std::array<IkCandidate, capacity> items_{};
    std::size_t count_ = 0;
};

// The direction solvers' acceptance: a direction shorter than this has no
// unit form, and a candidate reaches a unit direction u when its v_3 lies
// within the tolerance of u (written so that NaN never does).
inline constexpr double kMinimumDirectionLength = 1e-12;
inline constexpr double kDirectionTolerance = 1e-6;
inline bool points_along(const IkCandidate& c, const Vector3& u) {
    return norm(c.pose.v_3 - u) < kDirectionTolerance;
}

// Candidates in the order (eps_A, eps_B) = (+,+), (+,-), (-,+), (-,-), gaps
// where a closure or the confirmation fails. d is used as given.
CandidateList direction_candidates(const SphericalLinkGeometry& geometry, const Vector3& d);

// The same candidates, each kept in the slot of the sides that produced it,
// so a caller following a path can tell which branch a candidate belongs to
// even where another one drops out. The filled slots, read in order, are the
// list direction_candidates returns.
using CandidateSlots = std::array<std::optional<IkCandidate>, 4>;
CandidateSlots direction_candidate_slots(const SphericalLinkGeometry& geometry, const Vector3& d);

}  // namespace quorvel
