#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <string>

#include "arm_test_support.hpp"
#include "arm/differential_kinematics.hpp"
#include "arm/forward_kinematics.hpp"
#include "neck/neck_look_at.hpp"
#include "neck/neck_rates.hpp"

namespace quorvel {
namespace {

using testing_support::column;
using testing_support::Sampler;

constexpr double kPi = std::numbers::pi;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kStep = 1e-6;  // central differences, good to about 1e-9

Vector3 column_of(const Jacobian3x2& j, int c) { return {j[0][c], j[1][c], j[2][c]}; }

// log(a b^T) / 2h as a rotation vector: entry-wise differences of a rotation
// are not an angular velocity.
Vector3 rate_between(const Matrix3& a, const Matrix3& b) {
    Matrix3 r{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) r[i][j] = a[i][0] * b[j][0] + a[i][1] * b[j][1] + a[i][2] * b[j][2];
    const double angle = std::acos(std::clamp((r[0][0] + r[1][1] + r[2][2] - 1.0) / 2.0, -1.0, 1.0));
    const double k = (angle < 1e-9 ? 0.5 : angle / (2.0 * std::sin(angle))) / (2 * kStep);
    return k * Vector3{r[2][1] - r[1][2], r[0][2] - r[2][0], r[1][0] - r[0][1]};
}

#define EXPECT_VEC_NEAR(a, b, tol) EXPECT_LT(norm((a) - (b)), (tol) * std::max(1.0, norm(b)))

TEST(ArmRates, ReferenceValuesOfTheDefaultArms) {
    const auto m = singularity_measures(default_left_geometry(), 0.0, 0.0);
    ASSERT_TRUE(m.has_value());
    EXPECT_NEAR(m->serial_a, 0.305039, 5e-7);
    EXPECT_NEAR(m->serial_b, -0.305039, 5e-7);
    EXPECT_NEAR(m->parallel, 0.080480, 5e-7);
    EXPECT_NEAR(m->condition, 5.531162, 5e-6);
    EXPECT_NEAR(m->manipulability, 0.305039 * 0.305039 / 0.080480, 1e-5);
    const auto best = singularity_measures(default_left_geometry(), -1.26, 0.87);
    ASSERT_TRUE(best.has_value());
    EXPECT_GE(best->condition, 1.0);
    EXPECT_LT(best->condition, 1.005);
    // The right arm is the left one turned about z, joint axis B included:
    // every determinant is the same.
    const auto left = singularity_measures(default_left_geometry(), 0.3, -0.2);
    const auto right = singularity_measures(default_right_geometry(), 0.3, -0.2);
    ASSERT_TRUE(left && right);
    EXPECT_DOUBLE_EQ(right->serial_a, left->serial_a);
    EXPECT_DOUBLE_EQ(right->serial_b, left->serial_b);
    EXPECT_DOUBLE_EQ(right->parallel, left->parallel);
}

TEST(ArmRates, OpenLoopNanAndSerialSingularity) {
    const SphericalLinkGeometry g = default_left_geometry();
    EXPECT_FALSE(direction_jacobian(g, 0.0, kPi) || angular_jacobian(g, 0.0, kPi) || singularity_measures(g, 0.0, kPi) ||
                 joint_rates(g, 0.0, kPi, {1, 0, 0}, 0.1));
    EXPECT_TRUE(std::isnan((*direction_jacobian(g, kNaN, 0.0))[0][0]));
    EXPECT_TRUE(std::isnan(joint_rates(g, 0.0, 0.0, {kNaN, 0, 0}, 0.0)->theta_a));
    // arm_arc 0 pins v_2 to joint axis A: serial_a is exactly zero.
    const SphericalLinkGeometry pinned{0.0, 1.0, LoopBranch::Positive, false};
    const auto m = singularity_measures(pinned, 0.4, -0.3);
    ASSERT_TRUE(m.has_value());
    EXPECT_EQ(m->serial_a, 0.0);
    EXPECT_EQ(m->condition, kInf);
    EXPECT_FALSE(joint_rates(pinned, 0.4, -0.3, {0, 1, 0}, 0.0));
    const auto damped = joint_rates(pinned, 0.4, -0.3, {0, 1, 0}, 0.1);
    ASSERT_TRUE(damped.has_value());
    EXPECT_TRUE(std::isfinite(damped->theta_a) && std::isfinite(damped->theta_b));
}

class ArmRatesAt : public ::testing::TestWithParam<testing_support::NamedGeometry> {};

// Closing pairs at least 0.02 (in determinant) from every singularity.
TEST_P(ArmRatesAt, MatchDifferencesAndStepFreeIdentities) {
    const SphericalLinkGeometry& g = GetParam().geometry;
    const double sigma = g.branch == LoopBranch::Positive ? 1.0 : -1.0;
    Sampler s(0x5a17);
    int used = 0;
    while (used < 300) {
        const double a = s.angle(), b = s.angle();
        const auto m = singularity_measures(g, a, b);
        if (!m || std::min({std::fabs(m->serial_a), std::fabs(m->serial_b), std::fabs(m->parallel)}) < 0.02) continue;
        ++used;
        SCOPED_TRACE(::testing::Message() << "pair " << a << ", " << b);
        const auto pose = forward_kinematics(g, a, b);
        const auto jv = direction_jacobian(g, a, b);
        const auto jw = angular_jacobian(g, a, b);
        ASSERT_TRUE(pose && jv && jw);
        const double scale = std::max(1.0, m->manipulability);
        double j2[2][2];
        for (int j = 0; j < 2; ++j) {
            const auto plus = forward_kinematics(g, a + (j == 0) * kStep, b + (j == 1) * kStep);
            const auto minus = forward_kinematics(g, a - (j == 0) * kStep, b - (j == 1) * kStep);
            ASSERT_TRUE(plus && minus);
            const Vector3 cv = column_of(*jv, j), cw = column_of(*jw, j);
            EXPECT_VEC_NEAR(cv, (0.5 / kStep) * (plus->v_3 - minus->v_3), 1e-6);
            EXPECT_VEC_NEAR(cw, rate_between(plus->rotation, minus->rotation), 1e-6);
            EXPECT_NEAR(dot(pose->v_3, cv), 0.0, 1e-12 * scale);
            EXPECT_VEC_NEAR(cross(cw, pose->v_3), cv, 1e-12);
            j2[0][j] = dot(column(pose->rotation, 0), cv);
            j2[1][j] = dot(column(pose->rotation, 1), cv);
        }
        EXPECT_GT(sigma * m->parallel, 0.0);
        const double det = j2[0][0] * j2[1][1] - j2[0][1] * j2[1][0];
        EXPECT_NEAR(det, m->serial_a * m->serial_b / m->parallel, 1e-12 * scale);
        EXPECT_NEAR(m->manipulability, std::fabs(det), 1e-12 * scale);
        // sigma_max / sigma_min from the eigenvalues of J_2^T J_2.
        const double p = j2[0][0] * j2[0][0] + j2[1][0] * j2[1][0], r = j2[0][1] * j2[0][1] + j2[1][1] * j2[1][1];
        const double q = j2[0][0] * j2[0][1] + j2[1][0] * j2[1][1], root = std::hypot(p - r, 2 * q);
        EXPECT_NEAR(m->condition, std::sqrt((p + r + root) / (p + r - root)), 1e-8 * m->condition);

        // Undamped rates invert J_v (the part along v_3 is ignored); damped
        // ones solve (J^T J + l^2 I) q = J^T t, t the tangent part.
        const double qa = s.in(-2, 2), qb = s.in(-2, 2), l = 0.05;
        const Vector3 ca = column_of(*jv, 0), cb = column_of(*jv, 1), rate = qa * ca + qb * cb + 0.7 * pose->v_3;
        const auto back = joint_rates(g, a, b, rate, 0.0);
        const auto damped = joint_rates(g, a, b, rate, l);
        ASSERT_TRUE(back && damped);
        EXPECT_NEAR(back->theta_a, qa, 1e-9 * std::max(1.0, norm(ca)));
        EXPECT_NEAR(back->theta_b, qb, 1e-9 * std::max(1.0, norm(cb)));
        const Vector3 residual = damped->theta_a * ca + damped->theta_b * cb - (rate - 0.7 * pose->v_3);
        const double big = std::max({1.0, dot(ca, ca), dot(cb, cb)}) * std::max(1.0, norm(rate));
        EXPECT_NEAR(dot(ca, residual) + l * l * damped->theta_a, 0.0, 1e-12 * big);
        EXPECT_NEAR(dot(cb, residual) + l * l * damped->theta_b, 0.0, 1e-12 * big);
    }
}

// Damped least squares never exceeds |t| / (2 lambda), right up to the edge of
// the loop, where J_v grows without bound.
TEST_P(ArmRatesAt, DampedRatesStayBoundedAtTheLoopEdge) {
    const SphericalLinkGeometry& g = GetParam().geometry;
    Sampler s(3);
    int edges = 0;
    while (edges < 40) {
        const double a = s.angle();
        double in = s.angle(), out = in + 0.5;
        if (!forward_kinematics(g, a, in) || forward_kinematics(g, a, out)) continue;
        for (int k = 0; k < 60; ++k) (forward_kinematics(g, a, 0.5 * (in + out)) ? in : out) = 0.5 * (in + out);
        ++edges;
        const Vector3 rate{0.3, -0.5, 0.8};
        const auto q = joint_rates(g, a, in, rate, 0.1);
        ASSERT_TRUE(q.has_value());
        EXPECT_LE(std::hypot(q->theta_a, q->theta_b), norm(rate) / (2 * 0.1) * (1 + 1e-12));
    }
}

INSTANTIATE_TEST_SUITE_P(Arms, ArmRatesAt, ::testing::ValuesIn(testing_support::test_geometries()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(NeckRates, JacobianMatchesDifferencesAndInverts) {
    for (double yaw = -3.0; yaw <= 3.1; yaw += 0.7) {
        for (double pitch : {-1.4, -0.6, 0.0, 0.5, 1.3}) {
            for (double roll = -2.9; roll <= 3.1; roll += 0.9) {
                const NeckAngles at{yaw, pitch, roll};
                SCOPED_TRACE(::testing::Message() << yaw << ", " << pitch << ", " << roll);
                const Matrix3 j = neck_angular_jacobian(at);
                for (int c = 0; c < 3; ++c) {
                    const NeckAngles h{c == 0 ? kStep : 0.0, c == 1 ? kStep : 0.0, c == 2 ? kStep : 0.0};
                    const NeckAngles plus{yaw + h.yaw, pitch + h.pitch, roll + h.roll};
                    const NeckAngles minus{yaw - h.yaw, pitch - h.pitch, roll - h.roll};
                    EXPECT_VEC_NEAR(column(j, c),
                                    rate_between(neck_forward_kinematics(plus), neck_forward_kinematics(minus)), 1e-6);
                }
                const auto back = neck_joint_rates(at, 0.3 * column(j, 0) - 1.2 * column(j, 1) + 0.7 * column(j, 2));
                ASSERT_TRUE(back.has_value());
                EXPECT_NEAR(back->yaw, 0.3, 1e-12 / std::cos(pitch));
                EXPECT_NEAR(back->pitch, -1.2, 1e-12);
                EXPECT_NEAR(back->roll, 0.7, 1e-12 / std::cos(pitch));
            }
        }
    }
}

TEST(NeckRates, RefusedWithinTheGimbalMarginOrWhenNotFinite) {
    const Vector3 omega{0.1, 0.2, 0.3};
    for (const auto& [pitch, ok] : {std::pair{kPi / 2, false}, {-kPi / 2, false}, {std::asin(1 - 5e-7), false},
                                    {std::asin(1 - 2e-6), true}, {-std::asin(1 - 2e-6), true}, {kNaN, false}}) {
        EXPECT_EQ(neck_joint_rates({0.2, pitch, 0.1}, omega).has_value(), ok) << pitch;
    }
    EXPECT_FALSE(neck_joint_rates({0.2, 0.3, 0.1}, {kNaN, 0, 0}) || neck_joint_rates({kInf, 0.3, 0.1}, omega));
}

TEST(NeckLookAt, AimsTheHeadXAxisWithZeroRoll) {
    Sampler s(11);
    for (int n = 0; n < 500; ++n) {
        const Vector3 d{s.in(-1, 1), s.in(-1, 1), s.in(-1, 1)};
        const auto a = neck_look_at(s.in(1e-3, 1e3) * d, std::nullopt);
        ASSERT_TRUE(a.has_value());
        EXPECT_EQ(a->roll, 0.0);
        EXPECT_TRUE(a->yaw > -kPi && a->yaw <= kPi) << a->yaw;
        EXPECT_VEC_NEAR(column(neck_forward_kinematics(*a), 0), (1.0 / norm(d)) * d, 1e-14);
    }
    EXPECT_EQ(neck_look_at({-1.0, -0.0, 0.2}, std::nullopt)->yaw, kPi);  // atan2 alone gives -pi
    for (const Vector3& bad : {Vector3{0, 0, 0}, Vector3{kNaN, 1, 0}, Vector3{1, kInf, 0}}) {
        EXPECT_FALSE(neck_look_at(bad, std::nullopt) || neck_look_at(bad, 1.0));
    }
}

TEST(NeckLookAt, YawNearestThePreviousAndHeldAtTheZenith) {
    struct Case {
        Vector3 direction;
        double previous, yaw;
    };
    for (const Case& c : {Case{{1, 1, 0}, 0.0, kPi / 4}, {{1, 1, 0}, 6.0, kPi / 4 + 2 * kPi},
                          {{1, 1, 0}, -12.0, kPi / 4 - 4 * kPi}, {{-1, -0.01, 0}, 3.0, std::atan2(-0.01, -1) + 2 * kPi},
                          {{-1, 0.01, 0}, -3.0, std::atan2(0.01, -1) - 2 * kPi},
                          // Within the gimbal margin of straight up or down yaw is held; just outside, not.
                          {{0, 0, 2}, 7.5, 7.5}, {{1e-4, 0, -1}, -2.25, -2.25}, {{2e-3, 0, 1}, 4.0, 2 * kPi}}) {
        const auto a = neck_look_at(c.direction, c.previous);
        ASSERT_TRUE(a.has_value());
        EXPECT_NEAR(a->yaw, c.yaw, 1e-12) << c.previous;
    }
}

}  // namespace
}  // namespace quorvel
