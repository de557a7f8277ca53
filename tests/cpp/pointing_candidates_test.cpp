// Candidate slots and nearest pointing, the core functions behind the array
// companion, held to the solvers they stand beside.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <optional>
#include <vector>

#include "arm_test_support.hpp"
#include "arm/inverse_candidates.hpp"
#include "arm/forward_kinematics.hpp"
#include "arm/inverse_candidates.hpp"
#include "arm/inverse_solvers.hpp"
#include "arm/inverse_solvers.hpp"

namespace quorvel {
namespace {

using testing_support::column;
using testing_support::NamedGeometry;
using testing_support::Sampler;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::vector<NamedGeometry> geometries() {
    std::vector<NamedGeometry> all = testing_support::test_geometries();
    // Elbows coincide at (0, 0): the confirmation drops pairs there.
    all.push_back({"quarter_arc", {std::numbers::pi / 4, 0.5, LoopBranch::Positive, false}});
    return all;
}

bool same_bits(double a, double b) { return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b); }

bool same_bits(const Vector3& a, const Vector3& b) { return same_bits(a.x, b.x) && same_bits(a.y, b.y) && same_bits(a.z, b.z); }

bool same_candidate(const IkCandidate& a, const IkCandidate& b) {
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            if (!same_bits(a.pose.rotation[i][j], b.pose.rotation[i][j])) return false;
        }
    }
    return same_bits(a.theta_a, b.theta_a) && same_bits(a.theta_b, b.theta_b) && same_bits(a.pose.v_2, b.pose.v_2) &&
           same_bits(a.pose.v_3, b.pose.v_3) && same_bits(a.pose.v_4, b.pose.v_4);
}

// Directions that matter: forward images (four candidates), random ones of
// any length, the joint axes, zero and NaN.
std::vector<Vector3> directions(const SphericalLinkGeometry& g) {
    std::vector<Vector3> out = {{0, 0, 1}, {0, 0, -1}, {1, 0, 0}, {-1, 0, 0}, {0, 0, 0}, {kNaN, 0, 1}, {0, 1, 0}};
    Sampler random(7);
    for (int i = 0; i < 4000; ++i) {
        const double a = random.in(-3.2, 3.2);
        const double b = random.in(-3.2, 3.2);
        if (const std::optional<ArmPose> pose = forward_kinematics(g, a, b)) out.push_back(pose->v_3);
        out.push_back({random.in(-2, 2), random.in(-2, 2), random.in(-2, 2)});
    }
    // Around the coinciding elbows of the quarter arc.
    for (int i = 0; i < 2000; ++i) {
        const double t = random.in(0, 2 * std::numbers::pi);
        const double r = 0.5 + random.in(-1e-9, 1e-9);
        const Vector3 p{std::sqrt(0.5), 0, std::sqrt(0.5)};
        const Vector3 e1{std::sqrt(0.5), 0, -std::sqrt(0.5)};
        const Vector3 e2{0, 1, 0};
        out.push_back(std::cos(r) * p + std::sin(r) * (std::cos(t) * e1 + std::sin(t) * e2));
    }
    return out;
}

class CandidateSlotsTest : public ::testing::TestWithParam<NamedGeometry> {};

TEST_P(CandidateSlotsTest, FilledSlotsInOrderAreTheCandidateListBitForBit) {
    const SphericalLinkGeometry& g = GetParam().geometry;
    int partial = 0;
    for (const Vector3& d : directions(g)) {
        const CandidateList list = direction_candidates(g, d);
        const CandidateSlots slots = direction_candidate_slots(g, d);
        std::size_t next = 0;
        for (const std::optional<IkCandidate>& slot : slots) {
            if (!slot) continue;
            ASSERT_LT(next, list.size());
            ASSERT_TRUE(same_candidate(*slot, list[next])) << d.x << " " << d.y << " " << d.z;
            ++next;
        }
        ASSERT_EQ(next, list.size());
        if (!list.empty() && list.size() < 4) ++partial;
        // Slot 2i + j comes from side i of joint A and side j of joint B: a
        // pair of slots sharing a side shares that joint's angle.
        for (std::size_t k = 0; k < 4; ++k) {
            for (std::size_t l = k + 1; l < 4; ++l) {
                if (!slots[k] || !slots[l]) continue;
                if (k / 2 == l / 2) {
                    EXPECT_TRUE(same_bits(slots[k]->theta_a, slots[l]->theta_a));
                }
                if (k % 2 == l % 2) {
                    EXPECT_TRUE(same_bits(slots[k]->theta_b, slots[l]->theta_b));
                }
            }
        }
    }
    if (GetParam().geometry.arm_arc == std::numbers::pi / 4) {
        EXPECT_GT(partial, 0) << "no direction with a dropped pair";
    }
}

TEST_P(CandidateSlotsTest, TheSlotsOfAForwardImageHoldItsPair) {
    const SphericalLinkGeometry& g = GetParam().geometry;
    Sampler random(11);
    int checked = 0;
    for (int i = 0; i < 500; ++i) {
        const double a = random.in(-3, 3);
        const double b = random.in(-3, 3);
        const std::optional<ArmPose> pose = forward_kinematics(g, a, b);
        if (!pose) continue;
        const CandidateSlots slots = direction_candidate_slots(g, pose->v_3);
        bool held = false;
        for (const std::optional<IkCandidate>& s : slots) {
            held = held || (s && std::fabs(s->theta_a - a) < 1e-7 && std::fabs(s->theta_b - b) < 1e-7);
        }
        EXPECT_TRUE(held) << a << ", " << b;
        ++checked;
    }
    EXPECT_GT(checked, 50);
}

// The choice with its slot is the solver's answer; limits only remove
// candidates, so the choice inside them is the nearest reaching one inside.
TEST_P(CandidateSlotsTest, TheSlottedChoiceIsTheSolversAndKeepsInsideLimits) {
    const SphericalLinkGeometry& g = GetParam().geometry;
    Sampler random(13);
    int limited = 0;
    for (const Vector3& d : directions(g)) {
        const std::optional<JointPair> near =
            random.unit() < 0.2 ? std::nullopt : std::optional<JointPair>({random.in(-3, 3), random.in(-3, 3)});
        const std::optional<JointPair> solved = ik_from_direction(g, d, near);
        const std::optional<DirectionChoice> chosen = choose_direction_pair(g, d, near, nullptr);
        ASSERT_EQ(solved.has_value(), chosen.has_value());
        if (!chosen) continue;
        ASSERT_TRUE(same_bits(solved->theta_a, chosen->joints.theta_a) && same_bits(solved->theta_b, chosen->joints.theta_b));
        const Vector3 u = d / norm(d);
        const CandidateSlots slots = direction_candidate_slots(g, u);
        ASSERT_TRUE(slots[chosen->slot] && same_bits(slots[chosen->slot]->theta_a, chosen->joints.theta_a) &&
                    same_bits(slots[chosen->slot]->theta_b, chosen->joints.theta_b));

        const JointLimits box = {random.in(-3, 0), random.in(0, 3), random.in(-3, 0), random.in(0, 3)};
        const std::optional<DirectionChoice> inside = choose_direction_pair(g, d, near, &box);
        std::optional<double> nearest;
        for (const std::optional<IkCandidate>& c : slots) {
            if (!c || !points_along(*c, u) || c->theta_a < box.lo_a || c->theta_a > box.hi_a ||
                c->theta_b < box.lo_b || c->theta_b > box.hi_b) {
                continue;
            }
            const double da = c->theta_a - (near ? near->theta_a : 0.0);
            const double db = c->theta_b - (near ? near->theta_b : 0.0);
            if (!nearest || da * da + db * db < *nearest) nearest = da * da + db * db;
        }
        ASSERT_EQ(inside.has_value(), nearest.has_value());
        if (inside) {
            EXPECT_EQ(inside->metric, *nearest);
        }
        limited += inside.has_value() != chosen.has_value();
    }
    EXPECT_GT(limited, 0) << "no limit removed every candidate of a direction";
}

INSTANTIATE_TEST_SUITE_P(Geometries, CandidateSlotsTest, ::testing::ValuesIn(geometries()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CandidateSlots, DefaultLeftAtRestHasTheFourListedPairsInTheirSlots) {
    const SphericalLinkGeometry g = default_left_geometry();
    const CandidateSlots slots = direction_candidate_slots(g, forward_kinematics(g, 0, 0)->v_3);
    const double expected[4][2] = {{1.300074, 0}, {1.300074, -1.300074}, {0, 0}, {0, -1.300074}};
    for (int k = 0; k < 4; ++k) {
        ASSERT_TRUE(slots[k].has_value()) << k;
        EXPECT_NEAR(slots[k]->theta_a, expected[k][0], 5e-7) << k;
        EXPECT_NEAR(slots[k]->theta_b, expected[k][1], 5e-7) << k;
    }
}

TEST(RotationDistance, IsTheFrobeniusNormOfTheDifference) {
    const Matrix3 a = {{{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}};
    const Matrix3 b = {{{1, 2, 3}, {4, 5, 6}, {7, 8, 7}}};
    EXPECT_EQ(rotation_distance(a, a), 0.0);
    EXPECT_EQ(rotation_distance(a, b), 2.0);
    Matrix3 c = a;
    c[0][0] = 4;
    c[2][1] = 12;
    EXPECT_EQ(rotation_distance(a, c), 5.0);
    c[1][1] = kNaN;
    EXPECT_TRUE(std::isnan(rotation_distance(a, c)));
}

class NearestPointingTest : public ::testing::TestWithParam<NamedGeometry> {};

// On the reachable set: the solver's answer, with a residual below its tolerance.
TEST_P(NearestPointingTest, AReachableRotationGivesTheOrientationSolversPair) {
    const SphericalLinkGeometry& g = GetParam().geometry;
    Sampler random(3);
    int checked = 0;
    for (int i = 0; i < 400; ++i) {
        const std::optional<ArmPose> pose = forward_kinematics(g, random.in(-3, 3), random.in(-3, 3));
        if (!pose) continue;
        const std::optional<JointPair> solved = ik(g, pose->rotation);
        const std::optional<PointingSolution> s = nearest_pointing(g, pose->rotation);
        if (!solved) continue;
        ASSERT_TRUE(s.has_value());
        EXPECT_LT(s->residual, 1e-9);
        EXPECT_NEAR(s->joints.theta_a, solved->theta_a, 1e-9);
        EXPECT_NEAR(s->joints.theta_b, solved->theta_b, 1e-9);
        ++checked;
    }
    EXPECT_GT(checked, 50);
}

// Off the set by a twist about the pointing axis: the pointing survives, the
// residual measures the twist, and it is the distance of the pair's own rotation.
TEST_P(NearestPointingTest, ATwistedTargetIsPointedAtWithTheTwistAsResidual) {
    const SphericalLinkGeometry& g = GetParam().geometry;
    Sampler random(5);
    int checked = 0;
    for (int i = 0; i < 400; ++i) {
        const std::optional<ArmPose> pose = forward_kinematics(g, random.in(-3, 3), random.in(-3, 3));
        if (!pose) continue;
        const double twist = random.in(0.001, 0.05);
        Matrix3 target = pose->rotation;
        for (int r = 0; r < 3; ++r) {
            const double e1 = pose->rotation[r][0];
            const double e2 = pose->rotation[r][1];
            target[r][0] = std::cos(twist) * e1 + std::sin(twist) * e2;
            target[r][1] = -std::sin(twist) * e1 + std::cos(twist) * e2;
        }
        EXPECT_FALSE(ik(g, target).has_value());
        const std::optional<PointingSolution> s = nearest_pointing(g, target);
        ASSERT_EQ(s.has_value(), ik_from_direction(g, column(target, 2), std::nullopt).has_value());
        if (!s) continue;
        const std::optional<ArmPose> reached = forward_kinematics(g, s->joints.theta_a, s->joints.theta_b);
        ASSERT_TRUE(reached.has_value());
        EXPECT_TRUE(same_bits(s->residual, rotation_distance(reached->rotation, target)));
        EXPECT_LT(std::sqrt(std::pow(reached->v_3.x - target[0][2], 2) + std::pow(reached->v_3.y - target[1][2], 2) +
                            std::pow(reached->v_3.z - target[2][2], 2)),
                  1e-6);
        // Never worse (beyond rounding of the recovered angles) than the pair the target came from.
        EXPECT_LE(s->residual, rotation_distance(pose->rotation, target) + 1e-9);
        ++checked;
    }
    EXPECT_GT(checked, 50);
}

TEST_P(NearestPointingTest, NoResultExactlyWhereTheDirectionIsOutOfReach) {
    const SphericalLinkGeometry& g = GetParam().geometry;
    Sampler random(9);
    for (int i = 0; i < 2000; ++i) {
        Matrix3 r{};
        for (auto& row : r) {
            for (double& x : row) x = random.in(-1, 1);
        }
        EXPECT_EQ(nearest_pointing(g, r).has_value(), is_reachable_direction(g, column(r, 2)));
    }
    const Matrix3 up = {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
    EXPECT_FALSE(nearest_pointing(g, up).has_value());
    const Matrix3 zero{};
    EXPECT_FALSE(nearest_pointing(g, zero).has_value());
    Matrix3 nan = up;
    nan[1][2] = kNaN;
    EXPECT_FALSE(nearest_pointing(g, nan).has_value());
}

INSTANTIATE_TEST_SUITE_P(Geometries, NearestPointingTest, ::testing::ValuesIn(geometries()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quorvel
