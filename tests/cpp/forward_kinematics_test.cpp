#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "arm_test_support.hpp"
#include "arm/forward_kinematics.hpp"
#include "arm/loop_closure.hpp"

namespace quorvel {
namespace {

using testing_support::column;
using testing_support::with_branch;

constexpr double kPlaces = 5e-7;  // the reference values are given to six places

void expect_near(const Vector3& actual, const Vector3& expected, double tol = kPlaces) {
    EXPECT_NEAR(actual.x, expected.x, tol);
    EXPECT_NEAR(actual.y, expected.y, tol);
    EXPECT_NEAR(actual.z, expected.z, tol);
}

struct PoseCase {
    const char* name;
    SphericalLinkGeometry geometry;
    double theta_a, theta_b;
    Vector3 v_2, v_3, v_4, e1, e2;
};

class ReferencePoses : public ::testing::TestWithParam<PoseCase> {};

TEST_P(ReferencePoses, MatchTheWorkedValues) {
    const PoseCase& c = GetParam();
    const auto pose = forward_kinematics(c.geometry, c.theta_a, c.theta_b);
    ASSERT_TRUE(pose.has_value());
    expect_near(pose->v_2, c.v_2);
    expect_near(pose->v_3, c.v_3);
    expect_near(pose->v_4, c.v_4);
    expect_near(column(pose->rotation, 0), c.e1);
    expect_near(column(pose->rotation, 1), c.e2);
    // The third column is v_3 itself, bit for bit.
    const Vector3 e3 = column(pose->rotation, 2);
    EXPECT_EQ(e3.x, pose->v_3.x);
    EXPECT_EQ(e3.y, pose->v_3.y);
    EXPECT_EQ(e3.z, pose->v_3.z);
}

INSTANTIATE_TEST_SUITE_P(
    Arm, ReferencePoses,
    ::testing::Values(
        PoseCase{"left_rest", default_left_geometry(), 0.0, 0.0, {0.644218, 0, 0.764842},
                 {0.622814, 0.473503, 0.622814}, {0.764842, 0, 0.644218}, {0.334817, -0.880792, 0.334817},
                 {0.707107, 0, -0.707107}},
        PoseCase{"left_both_senses", default_left_geometry(), 0.3, -0.2, {0.615445, 0.190379, 0.764842},
                 {0.662696, 0.584017, 0.468783}, {0.764842, 0.127986, 0.631376}, {0.232089, -0.755315, 0.612890},
                 {0.712017, -0.297360, -0.636088}},
        PoseCase{"right_both_senses", default_right_geometry(), 0.3, -0.2, {-0.615445, -0.190379, 0.764842},
                 {-0.662696, -0.584017, 0.468783}, {-0.764842, -0.127986, 0.631376},
                 {-0.232089, 0.755315, 0.612890}, {-0.712017, 0.297360, -0.636088}},
        PoseCase{"left_negative_branch", with_branch(default_left_geometry(), LoopBranch::Negative), 0.0, 0.0,
                 {0.644218, 0, 0.764842}, {0.622814, -0.473503, 0.622814}, {0.764842, 0, 0.644218},
                 {0.334817, 0.880792, 0.334817}, {-0.707107, 0, 0.707107}},
        PoseCase{"right_rest", default_right_geometry(), 0.0, 0.0, {-0.644218, 0, 0.764842},
                 {-0.622814, -0.473503, 0.622814}, {-0.764842, 0, 0.644218}, {-0.334817, 0.880792, 0.334817},
                 {-0.707107, 0, -0.707107}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ForwardKinematics, RestElbowsAreExactAndSkipTheJointTrig) {
    const auto pose = forward_kinematics(default_left_geometry(), -0.0, 0.0);
    ASSERT_TRUE(pose.has_value());
    EXPECT_EQ(pose->v_2.x, std::sin(0.7));
    EXPECT_EQ(pose->v_2.z, std::cos(0.7));
    EXPECT_EQ(pose->v_4.x, std::cos(0.7));
    EXPECT_EQ(pose->v_4.z, std::sin(0.7));
    EXPECT_FALSE(std::signbit(pose->v_2.y));
    EXPECT_FALSE(std::signbit(pose->v_4.y));
}

// A right arm is the left arm turned half a turn about +z, exactly: m = -1
// only flips signs, which rounding cannot tell apart.
TEST(ForwardKinematics, RightArmIsTheLeftArmTurnedAboutZ) {
    for (double a = -3.0; a <= 3.0; a += 0.37) {
        for (double b = -3.0; b <= 3.0; b += 0.41) {
            const auto left = forward_kinematics(default_left_geometry(), a, b);
            const auto right = forward_kinematics(default_right_geometry(), a, b);
            ASSERT_EQ(left.has_value(), right.has_value()) << a << ", " << b;
            if (!left) continue;
            for (const auto& [l, r] : {std::pair{left->v_2, right->v_2}, {left->v_3, right->v_3},
                                       {left->v_4, right->v_4}, {column(left->rotation, 0), column(right->rotation, 0)},
                                       {column(left->rotation, 1), column(right->rotation, 1)}}) {
                EXPECT_EQ(r.x, -l.x);
                EXPECT_EQ(r.y, -l.y);
                EXPECT_EQ(r.z, l.z);
            }
        }
    }
}

TEST(ForwardKinematics, LoopFailsWhenElbowsAreTooFarApartOrCoincide) {
    EXPECT_FALSE(forward_kinematics(default_left_geometry(), 0.0, std::numbers::pi).has_value());
    // v_2 and v_4 coincide: s is zero, although the coupler could reach them.
    EXPECT_FALSE(forward_kinematics({std::numbers::pi / 4, 0.5, LoopBranch::Positive, false}, 0.0, 0.0).has_value());
}

TEST(ForwardKinematics, NanFlowsToTheResultInsteadOfFailing) {
    const double nan = std::nan("");
    for (const auto& [geometry, a, b] :
         {std::tuple{default_left_geometry(), nan, 0.0}, {default_left_geometry(), 0.0, nan},
          {SphericalLinkGeometry{nan, 0.5, LoopBranch::Positive, false}, 0.0, 0.0},
          {SphericalLinkGeometry{0.7, nan, LoopBranch::Positive, false}, 0.0, 0.0},
          {default_left_geometry(), INFINITY, 0.0}}) {
        const auto pose = forward_kinematics(geometry, a, b);
        ASSERT_TRUE(pose.has_value());
        EXPECT_TRUE(std::isnan(pose->v_3.x));
        EXPECT_TRUE(std::isnan(pose->rotation[0][0]));
    }
}

TEST(ForwardKinematics, ElbowsFollowWholeTurnsAndZeroArmArc) {
    const auto base = forward_kinematics(default_left_geometry(), 0.3, -0.2);
    const auto turned = forward_kinematics(default_left_geometry(), 0.3 + 4 * std::numbers::pi, -0.2 - 2 * std::numbers::pi);
    ASSERT_TRUE(base && turned);
    expect_near(turned->v_3, base->v_3, 1e-12);

    // arm_arc = 0 pins v_2 to joint axis A and v_4 to joint axis B.
    const auto pinned = forward_kinematics({0.0, 1.0, LoopBranch::Positive, false}, 1.1, -2.3);
    ASSERT_TRUE(pinned.has_value());
    expect_near(pinned->v_2, {0, 0, 1}, 1e-15);
    expect_near(pinned->v_4, {1, 0, 0}, 1e-15);
}

TEST(ForwardKinematics, FrameIsARightHandedRotation) {
    for (double a = -3.0; a <= 3.0; a += 0.29) {
        for (double b = -3.0; b <= 3.0; b += 0.31) {
            const auto pose = forward_kinematics(default_left_geometry(), a, b);
            if (!pose) continue;
            const Vector3 e1 = column(pose->rotation, 0), e2 = column(pose->rotation, 1), e3 = column(pose->rotation, 2);
            EXPECT_NEAR(dot(e1, e2), 0.0, 1e-12);
            EXPECT_NEAR(dot(e1, e3), 0.0, 1e-12);
            EXPECT_NEAR(norm(e1), 1.0, 1e-12);
            EXPECT_NEAR(dot(cross(e1, e2), e3), 1.0, 1e-12);
            EXPECT_NEAR(std::acos(dot(pose->v_3, pose->v_2)), 0.5, 1e-9);
            EXPECT_NEAR(std::acos(dot(pose->v_3, pose->v_4)), 0.5, 1e-9);
        }
    }
}

TEST(CloseLoop, SidesMirrorAcrossTheGreatCircle) {
    const Vector3 u{1, 0, 0}, w{0, 1, 0};
    const auto plus = close_loop(u, 1.0, w, 1.2, +1.0);
    const auto minus = close_loop(u, 1.0, w, 1.2, -1.0);
    ASSERT_TRUE(plus && minus);
    EXPECT_EQ(plus->x, minus->x);
    EXPECT_EQ(plus->y, minus->y);
    EXPECT_EQ(plus->z, -minus->z);
    EXPECT_NEAR(dot(*plus, u), std::cos(1.0), 1e-15);
    EXPECT_NEAR(dot(*plus, w), std::cos(1.2), 1e-15);

    EXPECT_FALSE(close_loop(u, 0.1, w, 0.1, 1.0).has_value());        // circles too small to meet
    EXPECT_FALSE(close_loop(u, 0.5, {-1, 0, 0}, 0.5, 1.0).has_value());  // opposite references
    EXPECT_TRUE(close_loop(u, std::nan(""), w, 0.5, 1.0).has_value());  // NaN passes both tests
}

}  // namespace
}  // namespace quorvel
