#include "arm/workspace_boundary.hpp"

#include <array>
#include <cmath>
#include <limits>
#include <numbers>

#include "arm/direction_elbows.hpp"
#include "arm/inverse_solvers.hpp"
#include "arm/stretched_coupler_path.hpp"

namespace quorvel {

namespace {

// A point computed on a ring's edge keeps its elbow when the discriminant
// misses zero by this much.
constexpr double kRingSlack = 1e-12;

// The points x with x.p = a and x.q = b, p and q unit and not parallel.
int meet_circles(const Vector3& p, double a, const Vector3& q, double b, Vector3 out[2]) {
    const double pq = dot(p, q);
    const double det = 1.0 - pq * pq;
    if (!(det > 1e-20)) return 0;
    const Vector3 base = ((a - b * pq) / det) * p + ((b - a * pq) / det) * q;
    const double rest = 1.0 - dot(base, base);
    if (!(rest >= 0.0)) return 0;
    const Vector3 n = cross(p, q);
    const double h = std::sqrt(rest / det);
    out[0] = base + h * n;
    out[1] = base - h * n;
    return 2;
}

// The point of the circle x.axis = c nearest to u.
Vector3 circle_foot(const Vector3& axis, double c, const Vector3& u) {
    Vector3 w = u - dot(u, axis) * axis;
    double length = norm(w);
    if (!(length > 1e-15)) {
        // u on the axis: every point of the circle is as near.
        w = std::fabs(axis.x) < 0.9 ? cross(axis, Vector3{1.0, 0.0, 0.0}) : cross(axis, Vector3{0.0, 1.0, 0.0});
        length = norm(w);
    }
    return c * axis + (std::sqrt(1.0 - c * c) / length) * w;
}

struct BoundarySearch {
    bool inside;
    NearestCandidate nearest;  // nearest boundary point
};

bool reachable(const ReachGeometry& g, const Vector3& x) { return branch_excess(g, x, kRingSlack) >= -kExcessTolerance; }
bool unreachable_near(const ReachGeometry& g, const Vector3& x) {
    return !(branch_excess(g, x, kRingSlack) > kExcessTolerance);
}

// Whether x might be nearer to u than the best so far: a cheap screen before
// the elbow test; offer_candidate decides exactly.
bool nearer(const Vector3& u, const Vector3& x, const NearestCandidate& best) {
    return !best.found || dot(u, x) > best.cos_angle - 1e-12;
}

// Points where the edges of two elbow choices cross, the corners of the
// unreachable set. Each pair of coinciding or stretched elbow choices meets
// on a small circle, so all are circle intersections: with X a coincident-
// elbow point, v_2 = v_4 = X for one choice and
// - the other A elbow stretched to that B elbow: x.X = cos c, x.u_A = cos a / cos c;
// - the other B elbow stretched to that A elbow: x.X = cos c, x.u_B = cos a / cos c;
// - the other two elbows stretched: the planes (u_A, x), (u_B, x) are
//   perpendicular, x.X = cos c with x.u_A = 0 or x.u_B = 0;
// - both choices coincident: x.X_1 = x.X_2 = cos c;
// - both choices stretched, with x in the plane of the axes: x.u_A = x.u_B,
//   or x.(u_A + u_B) = cos a / cos c.
int crossing_points(const ReachGeometry& g, std::array<Vector3, 24>& out) {
    int n = 0;
    Vector3 pair[2];
    const auto add = [&](int k) {
        for (int i = 0; i < k; ++i) out[n++] = pair[i];
    };
    const double ratio = g.cos_arm / g.cos_coupler;
    for (int f = 0; f < g.fold_count; ++f) {
        const Vector3& x = g.folds[f];
        add(meet_circles(x, g.cos_coupler, g.axis_a, ratio, pair));
        add(meet_circles(x, g.cos_coupler, g.axis_b, ratio, pair));
        add(meet_circles(x, g.cos_coupler, g.axis_a, 0.0, pair));
        add(meet_circles(x, g.cos_coupler, g.axis_b, 0.0, pair));
    }
    if (g.fold_count == 2) add(meet_circles(g.folds[0], g.cos_coupler, g.folds[1], g.cos_coupler, pair));
    const Vector3 diagonal = std::sqrt(0.5) * (g.axis_a + g.axis_b);
    out[n++] = diagonal;
    out[n++] = -1.0 * diagonal;
    add(meet_circles(cross(g.axis_a, g.axis_b), 0.0, diagonal, std::sqrt(0.5) * ratio, pair));
    return n;
}

BoundarySearch search_boundary(const ReachGeometry& g, const Vector3& u) {
    BoundarySearch r{branch_excess(g, u, 0.0) >= 0.0, {}};
    NearestCandidate& best = r.nearest;
    const Vector3 axes[2] = {g.axis_a, g.axis_b};
    const double rings[2] = {g.ring_low, g.ring_high};
    if (r.inside) {
        // Outside either ring nothing is reachable, so the ring edges count
        // whole; inside them the boundary is where no elbow choice reaches.
        for (const Vector3& axis : axes) {
            for (double c : rings) {
                if (c > -1.0 && c < 1.0) offer_candidate(u, circle_foot(axis, c, u), best);
            }
        }
        for (int f = 0; f < g.fold_count; ++f) {
            const Vector3 foot = circle_foot(g.folds[f], g.cos_coupler, u);
            if (nearer(u, foot, best) && unreachable_near(g, foot)) offer_candidate(u, foot, best);
        }
        std::array<Vector3, 24> crossings;
        const int n = crossing_points(g, crossings);
        for (int i = 0; i < n; ++i) {
            if (nearer(u, crossings[i], best) && unreachable_near(g, crossings[i])) offer_candidate(u, crossings[i], best);
        }
        search_stretched_path(g, u, true, best);
    } else {
        // Every coincident-elbow circle and the whole stretched path are
        // reachable; of the rings only the reachable arcs, which end at their
        // crossings or where those curves touch them.
        for (const Vector3& axis : axes) {
            for (double c : rings) {
                if (!(c > -1.0 && c < 1.0)) continue;
                const Vector3 foot = circle_foot(axis, c, u);
                if (nearer(u, foot, best) && reachable(g, foot)) offer_candidate(u, foot, best);
            }
        }
        for (double ca : rings) {
            for (double cb : rings) {
                Vector3 corner[2];
                const int k = meet_circles(g.axis_a, ca, g.axis_b, cb, corner);
                for (int i = 0; i < k; ++i) {
                    if (nearer(u, corner[i], best) && reachable(g, corner[i])) offer_candidate(u, corner[i], best);
                }
            }
        }
        for (int f = 0; f < g.fold_count; ++f) offer_candidate(u, circle_foot(g.folds[f], g.cos_coupler, u), best);
        // Each point of the path is at coupler_arc from an elbow A, which is
        // at arm_arc from u_A: it is no nearer than the ring about u_A (and
        // likewise u_B). Far outside, a reachable ring foot often is that near.
        const double arm = std::acos(g.cos_arm), coupler = std::acos(g.cos_coupler);
        const double off_a = std::fabs(angle_between(u, g.axis_a) - arm) - coupler;
        const double off_b = std::fabs(angle_between(u, g.axis_b) - arm) - coupler;
        if (!best.found || (off_a > off_b ? off_a : off_b) < best.angle) search_stretched_path(g, u, false, best);
    }
    return r;
}

// The unit form of v3, or nothing for a short or non-finite one.
std::optional<Vector3> unit_direction(const Vector3& v) {
    if (!is_finite(v)) return std::nullopt;
    const double length = norm(v);
    if (!(length >= 1e-12)) return std::nullopt;
    return v / length;
}

bool finite_geometry(const SphericalLinkGeometry& g) { return std::isfinite(g.arm_arc) && std::isfinite(g.coupler_arc); }

}  // namespace

double workspace_margin(const SphericalLinkGeometry& geometry, const Vector3& v3) {
    const std::optional<Vector3> u = unit_direction(v3);
    if (!u || !finite_geometry(geometry)) return std::numeric_limits<double>::quiet_NaN();
    const BoundarySearch s = search_boundary(reach_geometry(geometry), *u);
    const double distance = s.nearest.found ? s.nearest.angle : std::numeric_limits<double>::infinity();
    return s.inside ? distance : -distance;
}

std::optional<NearestReachable> nearest_reachable_direction(const SphericalLinkGeometry& geometry, const Vector3& v3) {
    const std::optional<Vector3> u = unit_direction(v3);
    if (!u || !finite_geometry(geometry)) return std::nullopt;
    const BoundarySearch s = search_boundary(reach_geometry(geometry), *u);
    if (s.inside) return NearestReachable{*u, 0.0};
    if (!s.nearest.found) return std::nullopt;
    const Vector3 b = s.nearest.point / norm(s.nearest.point);
    // On, or a hair outside, the exact edge the solvers may not close the
    // loop: step inside, first on along the arc from v3, then (at a sharp
    // corner, where that arc leaves the set) turning toward either side.
    const Vector3 away = dot(*u, b) * b - *u;
    const double away_length = norm(away);
    if (away_length > 1e-300) {
        const Vector3 t = away / away_length;
        const Vector3 n = cross(b, t);
        for (double step : {0.0, 1e-10, 1e-9, 1e-8, 1e-7, 1e-6, 1e-5, 1e-4}) {
            for (double turn : {0.0, 0.25, -0.25, 0.5, -0.5, 0.75, -0.75}) {
                const Vector3 heading = std::cos(turn * std::numbers::pi) * t + std::sin(turn * std::numbers::pi) * n;
                const Vector3 moved = std::cos(step) * b + std::sin(step) * heading;
                if (is_reachable_direction(geometry, moved)) return NearestReachable{moved, angle_between(*u, moved)};
                if (step == 0.0) break;
            }
        }
    }
    return NearestReachable{b, angle_between(*u, b)};
}

}  // namespace quorvel
