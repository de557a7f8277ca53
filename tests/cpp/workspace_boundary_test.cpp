#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

#include "arm_test_support.hpp"
#include "arm/forward_kinematics.hpp"
#include "arm/inverse_solvers.hpp"
#include "arm/loop_closure.hpp"
#include "arm/workspace_boundary.hpp"

namespace quorvel {
namespace {

using testing_support::NamedGeometry;
using testing_support::Sampler;

constexpr double kPi = std::numbers::pi;

Vector3 unit(const Vector3& v) { return (1.0 / norm(v)) * v; }

// Brute force, sharing nothing with the code under test but the loop closure:
// a direction is reachable when some pair of elbows at coupler_arc from it
// has it on the branch's side; boundary points are found by bisection on the
// edges of a latitude-longitude grid, and around the nearest ones by grids
// zoomed in fourfold at each level (which also finds corners).
class GridReference {
public:
    explicit GridReference(const SphericalLinkGeometry& g)
        : g_(g), axis_b_{g.mirror ? -1.0 : 1.0, 0, 0}, ca_(std::cos(g.arm_arc)), cc_(std::cos(g.coupler_arc)) {
        const auto at = [](int i, int j) {
            const double lat = -kPi / 2 + (i + 0.5) * kSpacing, lon = -kPi + (j + 0.25) * kSpacing;
            return Vector3{std::cos(lat) * std::cos(lon), std::cos(lat) * std::sin(lon), std::sin(lat)};
        };
        for (int i = 0; i < kRows; ++i) {
            for (int j = 0; j < 2 * kRows; ++j) {
                const Vector3 p = at(i, j), east = at(i, (j + 1) % (2 * kRows)), north = at(i + 1, j);
                if (reachable(p) != reachable(east)) boundary_.push_back(bisect(p, east));
                if (i + 1 < kRows && reachable(p) != reachable(north)) boundary_.push_back(bisect(p, north));
            }
        }
    }

    bool reachable(const Vector3& x) const {
        const double sigma = g_.branch == LoopBranch::Positive ? 1.0 : -1.0;
        for (double ea : {1.0, -1.0}) {
            const auto v_2 = close_loop_cos({0, 0, 1}, ca_, x, cc_, ea);
            for (double eb : {1.0, -1.0}) {
                const auto v_4 = close_loop_cos(axis_b_, ca_, x, cc_, eb);
                if (v_2 && v_4 && sigma * dot(x, cross(*v_2, *v_4)) >= 0.0) return true;
            }
        }
        return false;
    }

    double margin(const Vector3& u) const {
        double coarse = std::numeric_limits<double>::infinity();
        for (const Vector3& b : boundary_) coarse = std::min(coarse, angle_between(u, b));
        double best = coarse;
        std::vector<Vector3> seeds;
        for (const Vector3& b : boundary_) {
            if (angle_between(u, b) > coarse + 3 * kSpacing) continue;
            if (std::any_of(seeds.begin(), seeds.end(), [&](const Vector3& s) { return angle_between(s, b) < 2 * kSpacing; }))
                continue;
            seeds.push_back(b);
            best = std::min(best, zoom(u, b));
        }
        return reachable(u) ? best : -best;
    }

private:
    static constexpr int kRows = 240;
    static constexpr double kSpacing = kPi / kRows;

    Vector3 bisect(Vector3 a, Vector3 b) const {
        const bool in = reachable(a);
        for (int k = 0; k < 56; ++k) (reachable(unit(a + b)) == in ? a : b) = unit(a + b);
        return unit(a + b);
    }

    double zoom(const Vector3& u, Vector3 c) const {
        constexpr int n = 8;
        double best = angle_between(u, c), width = 2 * kSpacing;
        for (int level = 0; level < 16; ++level, width *= 0.25) {
            const Vector3 e1 = unit(cross(c, std::fabs(c.x) < 0.9 ? Vector3{1, 0, 0} : Vector3{0, 1, 0}));
            const Vector3 e2 = cross(c, e1);
            const auto at = [&](int i, int j) { return unit(c + (width * i / n) * e1 + (width * j / n) * e2); };
            Vector3 next = c;
            for (int i = -n; i <= n; ++i) {
                for (int j = -n; j <= n; ++j) {
                    for (const auto& [di, dj] : {std::pair{1, 0}, {0, 1}}) {
                        if (i + di > n || j + dj > n || reachable(at(i, j)) == reachable(at(i + di, j + dj))) continue;
                        const Vector3 b = bisect(at(i, j), at(i + di, j + dj));
                        if (angle_between(u, b) < best) best = angle_between(u, next = b);
                    }
                }
            }
            c = next;
        }
        return best;
    }

    SphericalLinkGeometry g_;
    Vector3 axis_b_;
    double ca_, cc_;
    std::vector<Vector3> boundary_;
};

// Uniform directions, reachable ones (v_3 of closing pairs) and those nudged
// by 1e-7 to 0.1 rad, where the boundary is near.
std::vector<Vector3> query_directions(const SphericalLinkGeometry& g, int count, std::uint64_t seed) {
    Sampler s(seed);
    std::vector<Vector3> out;
    while (static_cast<int>(out.size()) < count) {
        Vector3 v{s.in(-1, 1), s.in(-1, 1), s.in(-1, 1)};
        if (out.size() % 3 != 0) {
            const auto pose = forward_kinematics(g, s.angle(), s.angle());
            if (!pose) continue;
            v = pose->v_3;
            if (out.size() % 3 == 2) v = v + std::pow(10.0, s.in(-7, -1)) * Vector3{s.in(-1, 1), s.in(-1, 1), s.in(-1, 1)};
        }
        if (norm(v) > 0.1) out.push_back(unit(v));
    }
    return out;
}

class WorkspaceOf : public ::testing::TestWithParam<NamedGeometry> {};

TEST_P(WorkspaceOf, MarginMatchesTheBruteForceReference) {
    const SphericalLinkGeometry& g = GetParam().geometry;
    const GridReference reference(g);
    std::vector<Vector3> queries = query_directions(g, 45, 0x3a11);
    // For the long arcs the nearest boundary point lies in a rise and fall of
    // the distance between two samples of the stretched path (3e-6 nearer than
    // the samples' own maximum), found only by splitting that interval.
    queries.push_back(unit({0.244025744059442, -0.96517837163489228, 0.24356262284554941}));
    int inside = 0;
    for (const Vector3& u : queries) {
        const double margin = workspace_margin(g, u);
        EXPECT_NEAR(margin, reference.margin(u), 1e-9) << u.x << ", " << u.y << ", " << u.z;
        inside += margin > 0.0;
    }
    EXPECT_GE(inside, 15);  // both sides of the boundary were exercised
}

// Away from the solvers' 1e-6 band the exact set and is_reachable_direction agree.
TEST_P(WorkspaceOf, SignAgreesWithTheSolversAwayFromTheirTolerance) {
    const SphericalLinkGeometry& g = GetParam().geometry;
    int checked = 0;
    for (const Vector3& u : query_directions(g, 3000, 0x51de)) {
        const double margin = workspace_margin(g, u);
        if (std::fabs(margin) < 1e-5) continue;
        ++checked;
        EXPECT_EQ(is_reachable_direction(g, u), margin > 0.0) << margin;
    }
    EXPECT_GT(checked, 2900);
}

// The solvers need a direction a hair inside the exact edge: up to 1e-10 or so
// off the rings and the stretched path, up to 1e-4 off the coincident-elbow
// circles, where the loop closure loses precision (only the long arcs have them).
TEST_P(WorkspaceOf, NearestReachableDirectionLiesOnTheBoundary) {
    const SphericalLinkGeometry& g = GetParam().geometry;
    const double nudge = g.arm_arc > 1.0 ? 1.01e-4 : 1e-9;
    for (const Vector3& u : query_directions(g, 300, 0x7e57)) {
        const double margin = workspace_margin(g, u);
        const auto nearest = nearest_reachable_direction(g, 3.0 * u);
        ASSERT_TRUE(nearest.has_value());
        if (margin >= 0.0) {
            EXPECT_EQ(nearest->angle, 0.0);
            EXPECT_NEAR(norm(nearest->direction - u), 0.0, 1e-15);
            continue;
        }
        EXPECT_NEAR(norm(nearest->direction), 1.0, 1e-15);
        EXPECT_NEAR(nearest->angle, angle_between(u, nearest->direction), 1e-15);
        EXPECT_GE(nearest->angle, -margin - 1e-11);
        EXPECT_LE(nearest->angle, -margin + nudge);
        const double there = workspace_margin(g, nearest->direction);
        EXPECT_GE(there, -1e-11);
        EXPECT_LE(there, nudge);
        EXPECT_TRUE(is_reachable_direction(g, nearest->direction));
    }
}

INSTANTIATE_TEST_SUITE_P(Arms, WorkspaceOf,
                         ::testing::Values(NamedGeometry{"left", default_left_geometry()},
                                           NamedGeometry{"right", default_right_geometry()},
                                           NamedGeometry{"left_negative", testing_support::with_branch(
                                                                              default_left_geometry(), LoopBranch::Negative)},
                                           NamedGeometry{"long_arcs", {1.1, 0.8, LoopBranch::Positive, false}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Workspace, MirroredArmIsTheHalfTurnedLeftArm) {
    for (const Vector3& u : query_directions(default_left_geometry(), 200, 5)) {
        EXPECT_NEAR(workspace_margin(default_right_geometry(), {-u.x, -u.y, u.z}),
                    workspace_margin(default_left_geometry(), u), 1e-12);
    }
}

TEST(Workspace, DegenerateInputs) {
    const SphericalLinkGeometry g = default_left_geometry();
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    for (const Vector3& v : {Vector3{0, 0, 0}, Vector3{0, 5e-13, 0}, Vector3{nan, 0, 1}, Vector3{inf, 0, 1}}) {
        EXPECT_TRUE(std::isnan(workspace_margin(g, v)));
        EXPECT_FALSE(nearest_reachable_direction(g, v).has_value());
    }
    EXPECT_TRUE(std::isnan(workspace_margin({nan, 0.5, LoopBranch::Positive, false}, {0, 0, 1})));
    // Any length: the margin of 7 v is that of v.
    const Vector3 v{0.6, 0.5, 0.6};
    EXPECT_NEAR(workspace_margin(g, 7.0 * v), workspace_margin(g, v), 1e-15);
    // Arms too short for the coupler to join the elbows reach nothing.
    const SphericalLinkGeometry none{0.3, 0.2, LoopBranch::Positive, false};
    EXPECT_EQ(workspace_margin(none, v), -inf);
    EXPECT_FALSE(nearest_reachable_direction(none, v).has_value());
}

}  // namespace
}  // namespace quorvel
