#pragma once

#include <cstdint>

namespace quorvel {

enum class LoopBranch : std::uint8_t { Positive = 0, Negative = 1 };

// One arm's geometry: a plain value, stored exactly as given (no validation).
struct SphericalLinkGeometry {
    double arm_arc = 0.7;
    double coupler_arc = 0.5;
    LoopBranch branch = LoopBranch::Positive;
    bool mirror = false;
};

inline constexpr SphericalLinkGeometry default_left_geometry() { return {0.7, 0.5, LoopBranch::Positive, false}; }
inline constexpr SphericalLinkGeometry default_right_geometry() { return {0.7, 0.5, LoopBranch::Positive, true}; }

inline constexpr double mirror_sign(const SphericalLinkGeometry& g) { return g.mirror ? -1.0 : 1.0; }

}  // namespace quorvel
