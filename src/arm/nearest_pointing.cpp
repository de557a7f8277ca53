#include "arm/nearest_pointing.hpp"

#include <cmath>
#include <cstddef>

#include "arm/inverse_candidates.hpp"
#include "linalg/vector3.hpp"

namespace quorvel {

namespace {

// The direction solver's constants: a residual is reported exactly where
// ik_from_direction of the third column finds a pair.
constexpr double kDirectionTolerance = 1e-6;
constexpr double kMinimumDirectionLength = 1e-12;

}  // namespace

double rotation_distance(const Matrix3& a, const Matrix3& b) {
    double sum = 0.0;
    for (std::size_t i = 0; i < 3; ++i) {
        for (std::size_t j = 0; j < 3; ++j) {
            const double diff = a[i][j] - b[i][j];
            sum += diff * diff;
        }
    }
    return std::sqrt(sum);
}

std::optional<PointingSolution> nearest_pointing(const SphericalLinkGeometry& geometry, const Matrix3& r) {
    const Vector3 v{r[0][2], r[1][2], r[2][2]};
    const double length = norm(v);
    if (length < kMinimumDirectionLength) return std::nullopt;
    const Vector3 u = v / length;
    const CandidateList candidates = direction_candidates(geometry, u);

    const IkCandidate* best = nullptr;
    double best_residual = 0.0;
    for (const IkCandidate& c : candidates) {
        if (!(norm(c.pose.v_3 - u) < kDirectionTolerance)) continue;
        const double residual = rotation_distance(c.pose.rotation, r);
        if (best == nullptr || best_residual > residual) {
            best = &c;
            best_residual = residual;
        }
    }
    if (best == nullptr) return std::nullopt;
    return PointingSolution{{best->theta_a, best->theta_b}, best_residual};
}

}  // namespace quorvel
