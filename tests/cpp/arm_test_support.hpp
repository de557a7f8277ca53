#pragma once

#include <cstdint>
#include <numbers>
#include <ostream>
#include <vector>

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

struct NamedGeometry {
    const char* name;
    SphericalLinkGeometry geometry;
};

// Parameterised tests report the geometry by name, not by its bytes.
inline void PrintTo(const NamedGeometry& g, std::ostream* os) { *os << g.name; }

// Both presets on both branches, and longer arcs.
inline std::vector<NamedGeometry> test_geometries() {
    return {
        {"left", default_left_geometry()},
        {"right", default_right_geometry()},
        {"left_negative", with_branch(default_left_geometry(), LoopBranch::Negative)},
        {"right_negative", with_branch(default_right_geometry(), LoopBranch::Negative)},
        {"long_arcs", {1.1, 0.8, LoopBranch::Positive, false}},
    };
}

// Fixed-seed generator with a portable mapping to [0, 1).
class Sampler {
public:
    explicit Sampler(std::uint64_t seed = 0x5eed) : state_(seed) {}
    double unit() {
        state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>(state_ >> 11) * 0x1.0p-53;
    }
    double angle() { return -std::numbers::pi + 2.0 * std::numbers::pi * unit(); }
    double in(double lo, double hi) { return lo + (hi - lo) * unit(); }

private:
    std::uint64_t state_;
};

}  // namespace quorvel::testing_support
