#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <new>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

#include "arm_test_support.hpp"
#include "arm/forward_kinematics.hpp"
#include "arm/inverse_candidates.hpp"
#include "arm/inverse_solvers.hpp"
#include "neck/neck_kinematics.hpp"

// Counts every global allocation so the solvers can be shown not to allocate.
// All kept out of line: once inlined, GCC sees malloc/free meet new/delete and warns.
namespace {
long g_allocations = 0;
}  // namespace

[[gnu::noinline]] void* operator new(std::size_t size) {
    ++g_allocations;
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
[[gnu::noinline]] void* operator new[](std::size_t size) { return ::operator new(size); }
[[gnu::noinline]] void operator delete(void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete[](void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace quorvel {
namespace {

using testing_support::column;
using testing_support::NamedGeometry;
using testing_support::Sampler;
using testing_support::with_branch;

constexpr double kPi = std::numbers::pi;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kPlaces = 5e-7;      // reference values are given to six places
constexpr double kRoundTrip = 1e-9;

// Grid over the open square plus a random sample.
std::vector<JointPair> joint_pair_sample() {
    std::vector<JointPair> pairs;
    constexpr int kGrid = 60;
    for (int i = 0; i < kGrid; ++i)
        for (int j = 0; j < kGrid; ++j)
            pairs.push_back({-kPi + (i + 0.5) * 2.0 * kPi / kGrid, -kPi + (j + 0.37) * 2.0 * kPi / kGrid});
    Sampler s;
    for (int k = 0; k < 3000; ++k) pairs.push_back({s.angle(), s.angle()});
    return pairs;
}

double frobenius(const Matrix3& a, const Matrix3& b) {
    double sum = 0.0;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) sum += (a[i][j] - b[i][j]) * (a[i][j] - b[i][j]);
    return std::sqrt(sum);
}

void expect_pair_near(const std::optional<JointPair>& actual, double a, double b, double tol) {
    ASSERT_TRUE(actual.has_value());
    EXPECT_NEAR(actual->theta_a, a, tol);
    EXPECT_NEAR(actual->theta_b, b, tol);
}

// ---- worked example: default left arm, d = v_3 at (0, 0) ------------------

ArmPose rest_pose() { return *forward_kinematics(default_left_geometry(), 0.0, 0.0); }

TEST(WorkedExample, FourCandidatesInEnumerationOrder) {
    const Vector3 d = rest_pose().v_3;
    const CandidateList c = direction_candidates(default_left_geometry(), d);
    ASSERT_EQ(c.size(), 4u);
    const double expected[4][2] = {{1.300074, 0}, {1.300074, -1.300074}, {0, 0}, {0, -1.300074}};
    for (std::size_t k = 0; k < 4; ++k) {
        EXPECT_NEAR(c[k].theta_a, expected[k][0], kPlaces) << k;
        EXPECT_NEAR(c[k].theta_b, expected[k][1], kPlaces) << k;
    }
    EXPECT_NEAR(c[0].theta_a, 2.0 * std::atan2(d.y, d.x), 1e-12);
    // The second pair closes its coupler on the far side and misses d.
    EXPECT_NEAR(c[1].pose.v_3.x, 0.374720, kPlaces);
    EXPECT_NEAR(c[1].pose.v_3.y, 0.848039, kPlaces);
    EXPECT_NEAR(c[1].pose.v_3.z, 0.374720, kPlaces);
    for (std::size_t k : {0u, 2u, 3u}) EXPECT_LT(norm(c[k].pose.v_3 - d), 1e-12) << k;
}

struct NearCase {
    const char* name;
    std::optional<JointPair> near;
    double theta_a, theta_b;
};

class WorkedExampleSelection : public ::testing::TestWithParam<NearCase> {};

TEST_P(WorkedExampleSelection, PicksTheExpectedSurvivor) {
    const NearCase& c = GetParam();
    expect_pair_near(ik_from_direction(default_left_geometry(), rest_pose().v_3, c.near), c.theta_a, c.theta_b,
                     kPlaces);
}

INSTANTIATE_TEST_SUITE_P(
    Near, WorkedExampleSelection,
    ::testing::Values(NearCase{"smallest_norm", std::nullopt, 0, 0},
                      NearCase{"near_first", JointPair{1.3, 0}, 1.300074, 0},
                      NearCase{"near_last", JointPair{0, -1.3}, 0, -1.300074},
                      // Unwrapped, this near sits closest to (0, 0); wrapped it would be (1.3, 0).
                      NearCase{"no_wrapping", JointPair{1.3 - 2 * kPi, 0}, 0, 0},
                      NearCase{"nan_a_keeps_first", JointPair{kNaN, 0}, 1.300074, 0},
                      NearCase{"nan_b_keeps_first", JointPair{0, kNaN}, 1.300074, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WorkedExample, IkOfRestRotation) {
    expect_pair_near(ik(default_left_geometry(), rest_pose().rotation), 0, 0, 1e-12);
}

// ---- round trips over many joint pairs -------------------------------------

class RoundTrip : public ::testing::TestWithParam<NamedGeometry> {};

TEST_P(RoundTrip, SolversRecoverThePair) {
    const SphericalLinkGeometry& g = GetParam().geometry;
    int closed = 0;
    for (const JointPair& p : joint_pair_sample()) {
        const auto pose = forward_kinematics(g, p.theta_a, p.theta_b);
        if (!pose) continue;
        ++closed;
        SCOPED_TRACE(::testing::Message() << p.theta_a << ", " << p.theta_b);

        const CandidateList candidates = direction_candidates(g, pose->v_3);
        bool listed = false;
        for (const IkCandidate& c : candidates) {
            EXPECT_TRUE(c.theta_a >= -kPi && c.theta_a <= kPi);
            EXPECT_TRUE(c.theta_b >= -kPi && c.theta_b <= kPi);
            // The pose kept is the confirming forward kinematics, bit for bit.
            const auto again = forward_kinematics(g, c.theta_a, c.theta_b);
            ASSERT_TRUE(again.has_value());
            EXPECT_EQ(frobenius(again->rotation, c.pose.rotation), 0.0);
            EXPECT_EQ(norm(again->v_2 - c.pose.v_2) + norm(again->v_4 - c.pose.v_4), 0.0);
            if (std::fabs(c.theta_a - p.theta_a) < kRoundTrip && std::fabs(c.theta_b - p.theta_b) < kRoundTrip) {
                listed = true;
                EXPECT_LT(frobenius(c.pose.rotation, pose->rotation), kRoundTrip);
            }
        }
        EXPECT_TRUE(listed);

        const auto from_rotation = ik(g, pose->rotation);
        ASSERT_TRUE(from_rotation.has_value());
        EXPECT_LT(frobenius(forward_kinematics(g, from_rotation->theta_a, from_rotation->theta_b)->rotation,
                            pose->rotation),
                  1e-6);
        // On theta_b = -theta_a the loop is symmetric under swapping x and z,
        // and a second diagonal pair can produce the very same rotation.
        if (std::fabs(p.theta_a + p.theta_b) > 1e-4) {
            EXPECT_NEAR(from_rotation->theta_a, p.theta_a, kRoundTrip);
            EXPECT_NEAR(from_rotation->theta_b, p.theta_b, kRoundTrip);
        }

        expect_pair_near(ik_from_direction(g, pose->v_3, p), p.theta_a, p.theta_b, kRoundTrip);
    }
    EXPECT_GT(closed, 1000);
}

TEST_P(RoundTrip, DirectionLengthDoesNotMatter) {
    const SphericalLinkGeometry& g = GetParam().geometry;
    Sampler s;
    int solved = 0;
    for (int k = 0; k < 500; ++k) {
        const Vector3 v{s.in(-1, 1), s.in(-1, 1), s.in(-1, 1)};
        const std::optional<JointPair> near = JointPair{s.angle(), s.angle()};
        for (const auto& n : {std::optional<JointPair>{}, near}) {
            const auto unit = ik_from_direction(g, v, n);
            const auto scaled = ik_from_direction(g, 7.0 * v, n);
            ASSERT_EQ(unit.has_value(), scaled.has_value()) << k;
            if (!unit) continue;
            ++solved;
            EXPECT_NEAR(unit->theta_a, scaled->theta_a, kRoundTrip);
            EXPECT_NEAR(unit->theta_b, scaled->theta_b, kRoundTrip);
        }
    }
    EXPECT_GT(solved, 50);
}

// The predicates are exactly "the solver yields a pair", over good and bad input.
TEST_P(RoundTrip, PredicatesAgreeWithSolvers) {
    const SphericalLinkGeometry& g = GetParam().geometry;
    Sampler s;
    std::vector<Vector3> directions = {{0, 0, 0}, {0, 5e-13, 0}, {0, 0, 1}, {-1, 0, 0}, {kNaN, 0, 1},
                                       {std::numeric_limits<double>::infinity(), 0, 0}};
    std::vector<Matrix3> rotations = {Matrix3{}, Matrix3{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}}};
    for (int k = 0; k < 400; ++k) {
        directions.push_back({s.in(-3, 3), s.in(-3, 3), s.in(-3, 3)});
        const auto pose = forward_kinematics(g, s.angle(), s.angle());
        if (!pose) continue;
        rotations.push_back(pose->rotation);
        Matrix3 bent = pose->rotation;
        bent[k % 3][(k / 3) % 3] += s.in(-2e-6, 2e-6);  // straddles the tolerance
        rotations.push_back(bent);
    }
    int reachable[2] = {0, 0};
    for (const Vector3& v : directions) {
        const bool solved = ik_from_direction(g, v, std::nullopt).has_value();
        EXPECT_EQ(is_reachable_direction(g, v), solved);
        ++reachable[solved];
    }
    for (const Matrix3& r : rotations) {
        const bool solved = ik(g, r).has_value();
        EXPECT_EQ(is_reachable_orientation(g, r), solved);
        ++reachable[solved];
    }
    EXPECT_GT(reachable[0], 50);
    EXPECT_GT(reachable[1], 50);
}

INSTANTIATE_TEST_SUITE_P(Arms, RoundTrip, ::testing::ValuesIn(testing_support::test_geometries()),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- inputs with no answer --------------------------------------------------

struct BadDirection {
    const char* name;
    Vector3 v;
};

class UnsolvableDirection : public ::testing::TestWithParam<BadDirection> {};

TEST_P(UnsolvableDirection, YieldsNothingOnEitherArm) {
    const Vector3 v = GetParam().v;
    for (const SphericalLinkGeometry& g : {default_left_geometry(), default_right_geometry()}) {
        EXPECT_FALSE(ik_from_direction(g, v, std::nullopt).has_value());
        EXPECT_FALSE(ik_from_direction(g, v, JointPair{0, 0}).has_value());
        EXPECT_FALSE(is_reachable_direction(g, v));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Arms, UnsolvableDirection,
    ::testing::Values(BadDirection{"zero", {0, 0, 0}}, BadDirection{"shorter_than_minimum", {0, 5e-13, 0}},
                      BadDirection{"axis_a", {0, 0, 1}}, BadDirection{"minus_axis_a", {0, 0, -3}},
                      BadDirection{"plus_x", {2, 0, 0}}, BadDirection{"minus_x", {-1, 0, 0}},
                      BadDirection{"nan_x", {kNaN, 0.47, 0.62}}, BadDirection{"nan_y", {0.62, kNaN, 0.62}},
                      BadDirection{"nan_z", {0.62, 0.47, kNaN}}),
    [](const auto& info) { return std::string(info.param.name); });

// A reachable direction scaled below the minimum length is refused as such.
TEST(IkFromDirection, LengthThresholdIsOnTheRawVector) {
    const SphericalLinkGeometry g = default_left_geometry();
    const Vector3 d = rest_pose().v_3;
    EXPECT_FALSE(ik_from_direction(g, 5e-13 * d, std::nullopt).has_value());
    EXPECT_FALSE(is_reachable_direction(g, 5e-13 * d));
    expect_pair_near(ik_from_direction(g, 2e-12 * d, std::nullopt), 0, 0, 1e-9);
}

TEST(Candidates, NoneAlongEitherJointAxis) {
    for (const SphericalLinkGeometry& g : {default_left_geometry(), default_right_geometry()})
        for (const Vector3& d : {Vector3{0, 0, 1}, Vector3{0, 0, -1}, Vector3{1, 0, 0}, Vector3{-1, 0, 0}})
            EXPECT_TRUE(direction_candidates(g, d).empty());
}

TEST(Ik, RejectsEveryCorruptionOfAReachableRotation) {
    const SphericalLinkGeometry g = default_left_geometry();
    const Matrix3 r = forward_kinematics(g, 0.3, -0.2)->rotation;
    ASSERT_TRUE(ik(g, r).has_value());
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            SCOPED_TRACE(::testing::Message() << "entry " << i << j);
            Matrix3 bent = r;
            bent[i][j] += 1e-3;
            EXPECT_FALSE(ik(g, bent).has_value());
            EXPECT_FALSE(is_reachable_orientation(g, bent));
            // Outside the third column d is intact and candidates do exist;
            // their NaN distances must still be refused.
            Matrix3 poisoned = r;
            poisoned[i][j] = kNaN;
            EXPECT_FALSE(ik(g, poisoned).has_value());
        }
    }
    Matrix3 doubled = r, negated = r, transposed = r, turned = r;
    const double c = std::cos(0.01), s = std::sin(0.01);
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            doubled[i][j] = 2.0 * r[i][j];
            negated[i][j] = -r[i][j];
            transposed[i][j] = r[j][i];
        }
        // e1 and e2 turned about v_3: the direction is still reachable.
        turned[i][0] = c * r[i][0] + s * r[i][1];
        turned[i][1] = -s * r[i][0] + c * r[i][1];
    }
    for (const Matrix3& bad : {doubled, negated, transposed, turned, Matrix3{}}) EXPECT_FALSE(ik(g, bad).has_value());
    EXPECT_TRUE(ik_from_direction(g, column(turned, 2), std::nullopt).has_value());
}

// ---- selection rules ---------------------------------------------------------

// In the x-z plane the closures of each side mirror each other exactly, so
// (t, s) and (-t, s) both reach d and tie under any metric symmetric in t.
TEST(Selection, ExactTiesGoToTheEarlierCandidate) {
    for (const SphericalLinkGeometry& g : {default_left_geometry(), default_right_geometry()}) {
        for (double colatitude : {0.8, 1.0}) {
            const Vector3 d{mirror_sign(g) * std::sin(colatitude), 0.0, std::cos(colatitude)};
            const CandidateList c = direction_candidates(g, d);
            ASSERT_EQ(c.size(), 4u);
            ASSERT_LT(norm(c[0].pose.v_3 - d), 1e-6);
            ASSERT_LT(norm(c[2].pose.v_3 - d), 1e-6);
            ASSERT_NE(c[0].theta_a, c[2].theta_a);
            ASSERT_EQ(c[0].theta_a, -c[2].theta_a);
            ASSERT_EQ(c[0].theta_b, c[2].theta_b);
            for (const auto& near : {std::optional<JointPair>{}, std::optional<JointPair>{JointPair{0, 5}}}) {
                const auto chosen = ik_from_direction(g, d, near);
                ASSERT_TRUE(chosen.has_value());
                EXPECT_EQ(chosen->theta_a, c[0].theta_a);
                EXPECT_EQ(chosen->theta_b, c[0].theta_b);
            }
        }
    }
}

// Just inside the reach of elbow A its two closures nearly coincide, so two
// candidates match one rotation within tolerance; the closer must win,
// whichever comes first.
TEST(Selection, IkPrefersTheStrictlyCloserRotation) {
    const SphericalLinkGeometry g = default_left_geometry();
    const double colatitude = g.arm_arc + g.coupler_arc - 1e-14;
    const Vector3 d{std::sin(colatitude) * std::cos(0.5), std::sin(colatitude) * std::sin(0.5), std::cos(colatitude)};
    const CandidateList c = direction_candidates(g, d);
    ASSERT_EQ(c.size(), 4u);
    for (std::size_t pick : {0u, 2u}) {
        Matrix3 target = c[pick].pose.rotation;
        for (int i = 0; i < 3; ++i) target[i][2] = i == 0 ? d.x : i == 1 ? d.y : d.z;
        const double other = frobenius(c[2 - pick].pose.rotation, target);
        ASSERT_GT(other, 1e-12);
        ASSERT_LT(other, 1e-6);
        const auto chosen = ik(g, target);
        ASSERT_TRUE(chosen.has_value());
        EXPECT_EQ(chosen->theta_a, c[pick].theta_a) << pick;
        EXPECT_EQ(chosen->theta_b, c[pick].theta_b) << pick;
    }
}

TEST(ReachableJoints, FollowsLoopClosure) {
    const SphericalLinkGeometry g = default_left_geometry();
    EXPECT_TRUE(is_reachable_joints(g, 0.0, 0.0));
    EXPECT_TRUE(is_reachable_joints(g, 0.3, -0.2));
    EXPECT_FALSE(is_reachable_joints(g, 0.0, kPi));
    EXPECT_FALSE(is_reachable_joints({kPi / 4, 0.5, LoopBranch::Positive, false}, 0.0, 0.0));
    EXPECT_TRUE(is_reachable_joints(g, kNaN, 0.0));  // NaN flows through, it does not fail
}

// ---- no heap traffic ---------------------------------------------------------

TEST(Allocation, SolversNeverAllocate) {
    const SphericalLinkGeometry g = default_left_geometry();
    const ArmPose pose = rest_pose();

    long before = g_allocations;
    std::vector<double> probe(16);
    ASSERT_GT(g_allocations, before) << "the counting operator new is not in use";

    before = g_allocations;
    const CandidateList c = direction_candidates(g, pose.v_3);
    const auto a = ik(g, pose.rotation);
    const auto b = ik_from_direction(g, pose.v_3, JointPair{1.3, 0});
    const auto e = ik_from_direction(g, pose.v_3, std::nullopt);
    const bool r = is_reachable_orientation(g, pose.rotation) && is_reachable_direction(g, pose.v_3);
    EXPECT_EQ(g_allocations, before);
    EXPECT_EQ(c.size(), 4u);
    EXPECT_TRUE(a && b && e && r);
}

// The controller's other per-cycle calls.
TEST(Allocation, ForwardAndNeckNeverAllocate) {
    const SphericalLinkGeometry g = default_left_geometry();
    const long before = g_allocations;
    const auto pose = forward_kinematics(g, 0.3, -0.2);
    const auto open = forward_kinematics(g, 0.0, kPi);
    const Matrix3 head = neck_forward_kinematics({0.3, -0.7, 1.1});
    const auto angles = neck_inverse_kinematics(head);
    EXPECT_EQ(g_allocations, before);
    EXPECT_TRUE(pose && !open && angles);
}

}  // namespace
}  // namespace quorvel
