#include "arm/loop_closure.hpp"

#include <cmath>


namespace quorvel {

std::optional<Vector3> close_loop(const Vector3& u, double alpha, const Vector3& w, double beta, double sigma) {
    return close_loop_cos(u, std::cos(alpha), w, std::cos(beta), sigma);
}

std::optional<Vector3> close_loop_cos(const Vector3& u, double cos_alpha, const Vector3& w, double cos_beta,
                                      double sigma) {
    // Plain comparisons throughout: a NaN must pass every test and flow into
    // the result instead of becoming "no point".
    double c = dot(u, w);
    if (c > 1.0) {
        c = 1.0;
    } else if (c < -1.0) {
        c = -1.0;
    }
    const double s = std::sqrt(1.0 - c * c);
    if (s < 1e-12) return std::nullopt;

    const double ca = cos_alpha;
    const double cb = cos_beta;
    const double k = (cb - c * ca) / s;
    const double q = 1.0 - ca * ca - k * k;
    if (q < 0.0) return std::nullopt;

    const Vector3 n = cross(u, w) / s;
    const Vector3 t = cross(n, u);
    return ca * u + k * t + sigma * std::sqrt(q) * n;
}

}  // namespace quorvel
