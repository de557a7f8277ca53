#include "arm/stretched_coupler_path.hpp"

#include <array>
#include <cmath>
#include <numbers>

namespace quorvel {

namespace {

constexpr double kPi = std::numbers::pi;
// Samples per half loop (one side of the elbow B closure).
constexpr int kHalfSamples = 32;

// The path followed with joint A driving: for theta_a, elbow B is closed at
// 2 coupler_arc from v_2 on one of two sides. That closure exists while
// u_B . v_2 = sin(arm_arc) cos(theta_a) stays within [cos(a + 2c), cos(a - 2c)];
// at the ends of such an interval (dead points of the four-bar) the two sides
// meet and d theta_a / d(arc length) vanishes like a square root. Each
// interval [mid - half, mid + half] with its two sides is one closed loop,
// followed with tan((theta_a - mid)/4) = -tan(half/4) cos(phi), phi in
// [0, 2 pi), side 0 for phi < pi and side 1 after: near a dead point
// theta_a moves with phi squared, which cancels the square root, so the loop
// is smooth in phi through its dead points. The quarter-angle tangent keeps
// the sweep free of trigonometric calls while d theta_a / d phi stays within
// 4 tan(half/4) <= 4 (a half-angle tangent would let it grow without bound as
// half nears pi). Where the closure exists for every theta_a, each side is a
// loop of its own with theta_a = phi - pi.
struct Loop {
    bool whole;  // one side over the whole circle
    int side;    // that side
    double cos_mid;
    double sin_mid;
    double reach;  // tan(half / 4)
};

struct PathSample {
    bool exists = false;
    double phi = 0.0;
    Vector3 point{};
    double along = 0.0;  // u . point
    double slope = 0.0;  // d(along)/d(phi)
};

class StretchedPath {
public:
    StretchedPath(const ReachGeometry& g, const Vector3& u)
        : g_(g),
          u_(u),
          scale_((g.cos_coupler < 0.0 ? -0.5 : 0.5) / std::fabs(g.cos_coupler)),
          turn_a_(cross(u, g.axis_a)),
          turn_b_(cross(u, g.axis_b)) {}

    // The loops; returns how many (at most two).
    int loops(Loop out[2]) const {
        const double spread = std::fabs(g_.sin_arm * std::sin(2.0 * std::acos(g_.cos_coupler)));
        const double low = g_.cos_arm * g_.cos_stretch - spread, high = g_.cos_arm * g_.cos_stretch + spread;
        // u_B . v_2 = sin_arm cos(theta_a) must lie in [low, high].
        if (!(g_.sin_arm != 0.0)) return 0;
        double t_low = low / g_.sin_arm, t_high = high / g_.sin_arm;
        if (g_.sin_arm < 0.0) {
            const double t = t_low;
            t_low = t_high;
            t_high = t;
        }
        if (!(t_low <= 1.0 && t_high >= -1.0 && t_low <= t_high)) return 0;
        const bool all_low = t_low <= -1.0, all_high = t_high >= 1.0;
        if (all_low && all_high) {
            out[0] = {true, 0, 1.0, 0.0, 0.0};
            out[1] = {true, 1, 1.0, 0.0, 0.0};
            return 2;
        }
        if (all_high) {  // around theta_a = 0
            out[0] = arc(0.0, std::acos(t_low));
            return 1;
        }
        if (all_low) {  // around theta_a = pi
            out[0] = arc(kPi, kPi - std::acos(t_high));
            return 1;
        }
        const double a = std::acos(t_high), b = std::acos(t_low);
        out[0] = arc(0.5 * (a + b), 0.5 * (b - a));
        out[1] = arc(-0.5 * (a + b), 0.5 * (b - a));
        return 2;
    }

    // The point at phi (given by its cosine and sine) on `loop`; `exact` also
    // places it (samples only compare).
    PathSample at(const Loop& loop, double phi, double c, double s, bool exact) const {
        double cos_theta, sin_theta, rate;  // rate: d theta_a / d phi
        int side;
        if (loop.whole) {
            cos_theta = -c;
            sin_theta = -s;
            rate = 1.0;
            side = loop.side;
        } else {
            const double w = -loop.reach * c;
            const double den = 1.0 + w * w;
            const double cos_half = (1.0 - w * w) / den, sin_half = 2.0 * w / den;
            const double cos_off = cos_half * cos_half - sin_half * sin_half, sin_off = 2.0 * sin_half * cos_half;
            cos_theta = loop.cos_mid * cos_off - loop.sin_mid * sin_off;
            sin_theta = loop.sin_mid * cos_off + loop.cos_mid * sin_off;
            rate = 4.0 * loop.reach * s / den;
            side = s > 0.0 ? 0 : 1;
        }
        // Elbow B at 2 coupler_arc from v_2: close_loop_cos(u_B, cos_arm, v_2,
        // cos_stretch, +-1) written out for u_B = (m, 0, 0), with
        // n = (u_B x v_2)/s = m (0, -z, y)/s and n x u_B = (0, y, z)/s.
        const double m = g_.mirror;
        const Vector3 v_2{m * g_.sin_arm * cos_theta, m * g_.sin_arm * sin_theta, g_.cos_arm};
        PathSample p;
        const double c_b = g_.sin_arm * cos_theta;  // u_B . v_2
        const double s_b = std::sqrt(1.0 - c_b * c_b);
        if (!(s_b >= 1e-12)) return p;
        const double inverse_s = 1.0 / s_b;
        const double k = (g_.cos_stretch - c_b * g_.cos_arm) * inverse_s;
        double q = 1.0 - g_.cos_arm * g_.cos_arm - k * k;
        if (q < 0.0) {
            if (q < -1e-12) return p;
            q = 0.0;
        }
        const double off = (side == 0 ? m : -m) * std::sqrt(q);
        const Vector3 v_4{m * g_.cos_arm, (k * v_2.y - off * v_2.z) * inverse_s, (k * v_2.z + off * v_2.y) * inverse_s};
        const Vector3 sum = v_2 + v_4;
        // |v_2 + v_4| = 2 |cos c| on the path; placed points are normalised
        // exactly, samples only compare.
        double scale = scale_;
        if (exact) {
            const double length = norm(sum);
            if (!(length > 1e-9)) return p;
            scale = (scale_ < 0.0 ? -1.0 : 1.0) / length;
            p.point = scale * sum;
        }
        p.exists = true;
        p.phi = phi;
        p.along = scale * dot(u_, sum);
        // Along the path theta_b changes by -rate_a / rate_b per unit theta_a,
        // the rates of v_2 . v_4 per unit turn of either joint; and
        // u . (u_A x v) = (u x u_A) . v.
        const Vector3 x = cross(v_2, v_4);
        const double rate_a = dot(g_.axis_a, x);
        const double rate_b = -dot(g_.axis_b, x);
        const double per_theta = dot(turn_a_, v_2) - rate_a / rate_b * dot(turn_b_, v_4);
        p.slope = scale * per_theta * rate;
        return p;
    }

private:
    static Loop arc(double mid, double half) { return {false, 0, std::cos(mid), std::sin(mid), std::tan(0.25 * half)}; }

    const ReachGeometry& g_;
    Vector3 u_;
    double scale_;  // 1 / (2 cos c): v_3 lies between the elbows, or opposite for cos c < 0
    Vector3 turn_a_;
    Vector3 turn_b_;
};

struct Bracket {
    int loop;
    double low;  // phi where the slope is positive
    double high;
    double low_slope;
    double high_slope;
    double promise;  // an upper estimate of u . point inside
};

// The local maximum of u . point between low and high, by regula falsi
// (Illinois) on the slope, to 1e-12 rad of phi (the angle to u is off by the
// square of that, or by that much when u lies on the path itself); false if
// the path breaks off inside.
bool refine(const StretchedPath& path, const Loop& loop, const Bracket& b, Vector3& point) {
    double lo = b.low, hi = b.high;
    double f_lo = b.low_slope, f_hi = b.high_slope;
    double previous = lo;
    int last = 0;
    // The newest estimate, not the largest u . point seen: near the maximum
    // that cosine cannot tell points 1e-8 apart.
    for (int k = 0; k < 60; ++k) {
        double t = hi - f_hi * (hi - lo) / (f_hi - f_lo);
        if (!(t > lo && t < hi)) t = 0.5 * (lo + hi);
        const PathSample p = path.at(loop, t, std::cos(t), std::sin(t), true);
        if (!p.exists) return false;
        point = p.point;
        if (p.slope > 0.0) {
            lo = t;
            f_lo = p.slope;
            if (last == 1) f_hi *= 0.5;
            last = 1;
        } else {
            hi = t;
            f_hi = p.slope;
            if (last == -1) f_lo *= 0.5;
            last = -1;
        }
        if (std::fabs(t - previous) < 1e-12 || hi - lo < 1e-12) break;
        previous = t;
    }
    return true;
}

// Between two samples whose slopes do not change from rising to falling, a
// local maximum can still hide as a rise-and-fall pair. The cubic through the
// two values and slopes shows it: its derivative
// p'(t) = (3(s0 + s1) - 6D) t^2 + (6D - 4 s0 - 2 s1) t + s0 on [0, 1]
// (s0, s1 the slopes times the step, D the rise) turns from rising to falling.
bool hidden_maximum(const PathSample& a, const PathSample& b) {
    const double step = b.phi - a.phi;
    const double s0 = a.slope * step, s1 = b.slope * step, rise = b.along - a.along;
    const double qa = 3.0 * (s0 + s1) - 6.0 * rise, qb = 6.0 * rise - 4.0 * s0 - 2.0 * s1;
    if (!(qa != 0.0)) return false;
    const double t = -qb / (2.0 * qa);
    if (!(t > 0.0 && t < 1.0)) return false;
    const double extreme = s0 - qb * qb / (4.0 * qa);
    // Falling at both ends and rising somewhere between, or rising at both
    // ends and falling between (the maximum is where that fall begins).
    return s0 <= 0.0 ? extreme > 0.0 : extreme < 0.0;
}

class BracketList {
public:
    static constexpr int kCapacity = 128;
    int count = 0;
    Bracket items[kCapacity];

    void add(int loop, const PathSample& a, const PathSample& b) {
        if (count == kCapacity) return;
        const double step = b.phi - a.phi;
        const double from_low = a.along + a.slope * step;
        const double from_high = b.along - b.slope * step;
        items[count++] = {loop, a.phi, b.phi, a.slope, b.slope, from_low > from_high ? from_low : from_high};
    }
};

// Collects the brackets between samples a and b, halving where a maximum may
// hide; `floor` is u . point of the best so far, below which nothing counts.
void scan(const StretchedPath& path, const Loop& loop, int l, const PathSample& a, const PathSample& b, double floor,
          int depth, BracketList& out) {
    if (a.slope > 0.0 && !(b.slope > 0.0)) {
        out.add(l, a, b);
        return;
    }
    if (depth == 8 || !hidden_maximum(a, b)) return;
    const double step = b.phi - a.phi;
    const double reach_a = a.along + (a.slope > 0.0 ? a.slope : -a.slope) * step;
    const double reach_b = b.along + (b.slope > 0.0 ? b.slope : -b.slope) * step;
    if (!(reach_a > floor || reach_b > floor)) return;
    const double phi = 0.5 * (a.phi + b.phi);
    const PathSample m = path.at(loop, phi, std::cos(phi), std::sin(phi), false);
    if (!m.exists) return;
    scan(path, loop, l, a, m, floor, depth + 1, out);
    scan(path, loop, l, m, b, floor, depth + 1, out);
}

}  // namespace

void offer_candidate(const Vector3& u, const Vector3& point, NearestCandidate& best) {
    const double angle = angle_between(u, point);
    if (!best.found || angle < best.angle) {
        best.found = true;
        best.angle = angle;
        best.cos_angle = dot(u, point);
        best.point = point;
    }
}

void search_stretched_path(const ReachGeometry& g, const Vector3& u, bool only_boundary, NearestCandidate& best) {
    const StretchedPath path(g, u);
    Loop loops[2];
    const int loop_count = path.loops(loops);
    constexpr int kPerLoop = 2 * kHalfSamples;
    constexpr double kStep = 2.0 * kPi / kPerLoop;
    const double cos_step = std::cos(kStep), sin_step = std::sin(kStep);
    const double floor = best.found ? best.cos_angle : -2.0;
    BracketList brackets;
    for (int l = 0; l < loop_count; ++l) {
        // Half a step off the dead points, where the slope is 0 times infinity.
        PathSample first, previous;
        double c = std::cos(0.5 * kStep), s = std::sin(0.5 * kStep);
        for (int i = 0; i <= kPerLoop; ++i) {
            PathSample current;
            if (i < kPerLoop) {
                current = path.at(loops[l], (i + 0.5) * kStep, c, s, false);
            } else {
                current = first;
                current.phi += 2.0 * kPi;
            }
            const double c_next = c * cos_step - s * sin_step;
            s = s * cos_step + c * sin_step;
            c = c_next;
            if (i == 0) {
                first = current;
            } else if (previous.exists && current.exists) {
                scan(path, loops[l], l, previous, current, floor, 0, brackets);
            }
            previous = current;
        }
    }

    // Most promising first; stop once none can come nearer than the best.
    for (;;) {
        int pick = -1;
        for (int k = 0; k < brackets.count; ++k) {
            if (pick < 0 || brackets.items[k].promise > brackets.items[pick].promise) pick = k;
        }
        if (pick < 0) break;
        const Bracket b = brackets.items[pick];
        brackets.items[pick] = brackets.items[--brackets.count];
        if (best.found && !(b.promise > best.cos_angle)) break;
        Vector3 point;
        if (!refine(path, loops[b.loop], b, point)) continue;
        if (only_boundary && branch_excess(g, point, 0.0) > kExcessTolerance) continue;
        offer_candidate(u, point, best);
    }
}

}  // namespace quorvel
