#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <optional>
#include <ostream>
#include <string>

#include "arm_test_support.hpp"
#include "arm/differential_kinematics.hpp"
#include "arm/forward_kinematics.hpp"
#include "neck/neck_look_at.hpp"
#include "neck/neck_rates.hpp"

namespace quorvel {
namespace {

using testing_support::column;
using testing_support::NamedGeometry;
using testing_support::Sampler;

constexpr double kPi = std::numbers::pi;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kStep = 1e-6;        // central differences
constexpr double kDifference = 1e-6;  // their error, relative to max(1, |column|)

Vector3 jac_column(const Jacobian3x2& j, int c) { return {j[0][c], j[1][c], j[2][c]}; }
Vector3 mat_column(const Matrix3& m, int c) { return column(m, c); }

// log(a b^T) as a rotation vector: the rotation taking b to a, in the base frame.
Vector3 relative_rotation(const Matrix3& a, const Matrix3& b) {
    Matrix3 r{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) r[i][j] = a[i][0] * b[j][0] + a[i][1] * b[j][1] + a[i][2] * b[j][2];
    const double angle = std::acos(std::clamp((r[0][0] + r[1][1] + r[2][2] - 1.0) / 2.0, -1.0, 1.0));
    const double k = angle < 1e-9 ? 0.5 : angle / (2.0 * std::sin(angle));
    return k * Vector3{r[2][1] - r[1][2], r[0][2] - r[2][0], r[1][0] - r[0][1]};
}

void expect_close(const Vector3& actual, const Vector3& expected, double tol, const char* what) {
    EXPECT_LT(norm(actual - expected), tol * std::max(1.0, norm(expected)))
        << what << ": (" << actual.x << ", " << actual.y << ", " << actual.z << ") vs (" << expected.x << ", "
        << expected.y << ", " << expected.z << ")";
}

// ---- arm: reference values ---------------------------------------------------

TEST(ArmRates, RestPoseOfTheDefaultLeftArm) {
    const auto m = singularity_measures(default_left_geometry(), 0.0, 0.0);
    ASSERT_TRUE(m.has_value());
    EXPECT_NEAR(m->serial_a, 0.305039, 5e-7);
    EXPECT_NEAR(m->serial_b, -0.305039, 5e-7);
    EXPECT_NEAR(m->parallel, 0.080480, 5e-7);
    EXPECT_NEAR(m->condition, 5.531162, 5e-6);
    EXPECT_NEAR(m->manipulability, 0.305039 * 0.305039 / 0.080480, 1e-5);
    // Close to the best-conditioned pose the tangent Jacobian is nearly isotropic.
    const auto best = singularity_measures(default_left_geometry(), -1.26, 0.87);
    ASSERT_TRUE(best.has_value());
    EXPECT_GE(best->condition, 1.0);
    EXPECT_LT(best->condition, 1.005);
}

// A right arm is the left one turned half a turn about z, joint axis B included,
// so every determinant (a rotation invariant) is the same.
TEST(ArmRates, MirroredArmHasTheSameMeasures) {
    for (const auto& [a, b] : {std::pair{0.0, 0.0}, {0.3, -0.2}, {-1.1, 0.6}}) {
        const auto left = singularity_measures(default_left_geometry(), a, b);
        const auto right = singularity_measures(default_right_geometry(), a, b);
        ASSERT_TRUE(left && right);
        EXPECT_DOUBLE_EQ(right->serial_a, left->serial_a);
        EXPECT_DOUBLE_EQ(right->serial_b, left->serial_b);
        EXPECT_DOUBLE_EQ(right->parallel, left->parallel);
    }
}

TEST(ArmRates, EmptyExactlyWhereTheLoopIsOpen) {
    const SphericalLinkGeometry g = default_left_geometry();
    EXPECT_FALSE(direction_jacobian(g, 0.0, kPi));
    EXPECT_FALSE(angular_jacobian(g, 0.0, kPi));
    EXPECT_FALSE(singularity_measures(g, 0.0, kPi));
    EXPECT_FALSE(joint_rates(g, 0.0, kPi, {1, 0, 0}, 0.1));
    // NaN flows into the values instead of emptying them.
    const auto nan = direction_jacobian(g, kNaN, 0.0);
    ASSERT_TRUE(nan.has_value());
    EXPECT_TRUE(std::isnan((*nan)[0][0]));
    const auto rates = joint_rates(g, 0.0, 0.0, {kNaN, 0, 0}, 0.0);
    ASSERT_TRUE(rates.has_value());
    EXPECT_TRUE(std::isnan(rates->theta_a));
}

// arm_arc 0 pins v_2 to joint axis A: serial_a is exactly zero for every pair.
TEST(ArmRates, SerialSingularityEmptiesOnlyTheUndampedRates) {
    const SphericalLinkGeometry pinned{0.0, 1.0, LoopBranch::Positive, false};
    const auto m = singularity_measures(pinned, 0.4, -0.3);
    ASSERT_TRUE(m.has_value());
    EXPECT_EQ(m->serial_a, 0.0);
    EXPECT_EQ(m->condition, std::numeric_limits<double>::infinity());
    EXPECT_EQ(m->manipulability, 0.0);
    EXPECT_FALSE(joint_rates(pinned, 0.4, -0.3, {0, 1, 0}, 0.0));
    const auto damped = joint_rates(pinned, 0.4, -0.3, {0, 1, 0}, 0.1);
    ASSERT_TRUE(damped.has_value());
    EXPECT_TRUE(std::isfinite(damped->theta_a) && std::isfinite(damped->theta_b));
}

// ---- arm: random poses of every test geometry ----------------------------------

}  // namespace
}  // namespace quorvel

namespace quorvel::testing_support {
void PrintTo(const NamedGeometry& g, std::ostream* os) { *os << g.name; }
}  // namespace quorvel::testing_support

namespace quorvel {
namespace {

class ArmRatesAt : public ::testing::TestWithParam<NamedGeometry> {
protected:
    // Closing poses at least `band` away from every singularity, by determinant.
    template <class Check>
    void for_poses(double band, Check check) {
        const SphericalLinkGeometry& g = GetParam().geometry;
        Sampler s(0x5a17);
        int used = 0;
        for (int n = 0; n < 4000 && used < 300; ++n) {
            const double a = s.angle(), b = s.angle();
            const auto m = singularity_measures(g, a, b);
            if (!m || std::min({std::fabs(m->serial_a), std::fabs(m->serial_b), std::fabs(m->parallel)}) < band)
                continue;
            ++used;
            SCOPED_TRACE(::testing::Message() << "pair " << a << ", " << b);
            check(g, a, b, *m);
        }
        EXPECT_EQ(used, 300);
    }
};

TEST_P(ArmRatesAt, JacobiansMatchCentralDifferences) {
    for_poses(0.05, [](const SphericalLinkGeometry& g, double a, double b, const SingularityMeasures&) {
        const auto jv = direction_jacobian(g, a, b);
        const auto jw = angular_jacobian(g, a, b);
        ASSERT_TRUE(jv && jw);
        for (int j = 0; j < 2; ++j) {
            const double da = j == 0 ? kStep : 0.0, db = j == 1 ? kStep : 0.0;
            const auto plus = forward_kinematics(g, a + da, b + db), minus = forward_kinematics(g, a - da, b - db);
            ASSERT_TRUE(plus && minus);
            expect_close(jac_column(*jv, j), (1.0 / (2 * kStep)) * (plus->v_3 - minus->v_3), kDifference, "J_v");
            expect_close(jac_column(*jw, j), (1.0 / (2 * kStep)) * relative_rotation(plus->rotation, minus->rotation),
                         kDifference, "J_w");
        }
    });
}

TEST_P(ArmRatesAt, IdentitiesWithoutAStep) {
    const double sigma = GetParam().geometry.branch == LoopBranch::Positive ? 1.0 : -1.0;
    for_poses(0.02, [sigma](const SphericalLinkGeometry& g, double a, double b, const SingularityMeasures& m) {
        const auto pose = forward_kinematics(g, a, b);
        const auto jv = direction_jacobian(g, a, b);
        const auto jw = angular_jacobian(g, a, b);
        ASSERT_TRUE(pose && jv && jw);
        const Vector3 e1 = mat_column(pose->rotation, 0), e2 = mat_column(pose->rotation, 1);
        const double scale = std::max(1.0, m.manipulability);
        double j2[2][2];
        for (int j = 0; j < 2; ++j) {
            const Vector3 cv = jac_column(*jv, j);
            EXPECT_NEAR(dot(pose->v_3, cv), 0.0, 1e-12 * scale);
            expect_close(cross(jac_column(*jw, j), pose->v_3), cv, 1e-12, "omega_j x v_3");
            j2[0][j] = dot(e1, cv);
            j2[1][j] = dot(e2, cv);
        }
        const double det = j2[0][0] * j2[1][1] - j2[0][1] * j2[1][0];
        EXPECT_NEAR(det, m.serial_a * m.serial_b / m.parallel, 1e-12 * scale);
        EXPECT_NEAR(m.manipulability, std::fabs(det), 1e-12 * scale);
        EXPECT_GT(sigma * m.parallel, 0.0);
        // sigma_max / sigma_min from the eigenvalues of J_2^T J_2.
        const double p = j2[0][0] * j2[0][0] + j2[1][0] * j2[1][0], r = j2[0][1] * j2[0][1] + j2[1][1] * j2[1][1];
        const double q = j2[0][0] * j2[0][1] + j2[1][0] * j2[1][1];
        const double root = std::sqrt((p - r) * (p - r) + 4 * q * q);
        EXPECT_NEAR(m.condition, std::sqrt(((p + r) + root) / ((p + r) - root)), 1e-8 * m.condition);
    });
}

TEST_P(ArmRatesAt, JointRatesInvertTheDirectionJacobian) {
    Sampler rates(99);
    for_poses(0.02, [&rates](const SphericalLinkGeometry& g, double a, double b, const SingularityMeasures&) {
        const auto jv = direction_jacobian(g, a, b);
        const auto pose = forward_kinematics(g, a, b);
        ASSERT_TRUE(jv && pose);
        const double qa = rates.in(-2, 2), qb = rates.in(-2, 2);
        const Vector3 ca = jac_column(*jv, 0), cb = jac_column(*jv, 1);
        // The part along v_3 is ignored.
        const Vector3 rate = qa * ca + qb * cb + 0.7 * pose->v_3;
        const auto back = joint_rates(g, a, b, rate, 0.0);
        ASSERT_TRUE(back.has_value());
        EXPECT_NEAR(back->theta_a, qa, 1e-9 * std::max(1.0, norm(ca)));
        EXPECT_NEAR(back->theta_b, qb, 1e-9 * std::max(1.0, norm(cb)));

        // Damped: (J^T J + l^2 I) q = J^T t, with t the tangent part.
        const double l = 0.05;
        const auto damped = joint_rates(g, a, b, rate, l);
        ASSERT_TRUE(damped.has_value());
        const Vector3 t = rate - dot(rate, pose->v_3) * pose->v_3;
        const Vector3 residual = damped->theta_a * ca + damped->theta_b * cb - t;
        const double scale = std::max({1.0, dot(ca, ca), dot(cb, cb)}) * std::max(1.0, norm(t));
        EXPECT_NEAR(dot(ca, residual) + l * l * damped->theta_a, 0.0, 1e-12 * scale);
        EXPECT_NEAR(dot(cb, residual) + l * l * damped->theta_b, 0.0, 1e-12 * scale);
    });
}

// Damped least squares never exceeds |t| / (2 lambda), right up to the edge of
// the loop, where J_v itself grows without bound.
TEST_P(ArmRatesAt, DampedRatesStayBoundedAtTheLoopEdge) {
    const SphericalLinkGeometry& g = GetParam().geometry;
    Sampler s(3);
    int edges = 0;
    for (int n = 0; n < 2000 && edges < 40; ++n) {
        const double a = s.angle(), b0 = s.angle();
        if (!forward_kinematics(g, a, b0)) continue;
        double in = b0, out = b0 + 0.5;
        if (forward_kinematics(g, a, out)) continue;
        for (int k = 0; k < 60; ++k) {
            const double mid = 0.5 * (in + out);
            (forward_kinematics(g, a, mid) ? in : out) = mid;
        }
        const auto m = singularity_measures(g, a, in);
        ASSERT_TRUE(m.has_value());
        ++edges;
        const Vector3 rate{0.3, -0.5, 0.8};
        const auto q = joint_rates(g, a, in, rate, 0.1);
        ASSERT_TRUE(q.has_value());
        EXPECT_LE(std::hypot(q->theta_a, q->theta_b), norm(rate) / (2 * 0.1) * (1 + 1e-12)) << m->parallel;
    }
    EXPECT_EQ(edges, 40);
}

INSTANTIATE_TEST_SUITE_P(Arms, ArmRatesAt, ::testing::ValuesIn(testing_support::test_geometries()),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- neck ----------------------------------------------------------------------

TEST(NeckRates, JacobianMatchesCentralDifferencesAndInverts) {
    for (double yaw = -3.0; yaw <= 3.1; yaw += 0.7) {
        for (double pitch : {-1.4, -0.6, 0.0, 0.5, 1.3}) {
            for (double roll = -2.9; roll <= 3.1; roll += 0.9) {
                const NeckAngles at{yaw, pitch, roll};
                SCOPED_TRACE(::testing::Message() << yaw << ", " << pitch << ", " << roll);
                const Matrix3 j = neck_angular_jacobian(at);
                for (int c = 0; c < 3; ++c) {
                    NeckAngles plus = at, minus = at;
                    double* const p[3] = {&plus.yaw, &plus.pitch, &plus.roll};
                    double* const m[3] = {&minus.yaw, &minus.pitch, &minus.roll};
                    *p[c] += kStep;
                    *m[c] -= kStep;
                    const Vector3 diff = (1.0 / (2 * kStep)) * relative_rotation(neck_forward_kinematics(plus),
                                                                                 neck_forward_kinematics(minus));
                    expect_close(mat_column(j, c), diff, kDifference, "neck column");
                }
                const NeckAngles rates{0.3, -1.2, 0.7};
                const Vector3 omega = rates.yaw * mat_column(j, 0) + rates.pitch * mat_column(j, 1) +
                                      rates.roll * mat_column(j, 2);
                const auto back = neck_joint_rates(at, omega);
                ASSERT_TRUE(back.has_value());
                EXPECT_NEAR(back->yaw, rates.yaw, 1e-12 / std::cos(pitch));
                EXPECT_NEAR(back->pitch, rates.pitch, 1e-12);
                EXPECT_NEAR(back->roll, rates.roll, 1e-12 / std::cos(pitch));
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
    EXPECT_FALSE(neck_joint_rates({0.2, 0.3, 0.1}, {kNaN, 0, 0}).has_value());
    EXPECT_FALSE(neck_joint_rates({std::numeric_limits<double>::infinity(), 0.3, 0.1}, omega).has_value());
}

TEST(NeckLookAt, AimsTheHeadXAxisWithZeroRoll) {
    Sampler s(11);
    for (int n = 0; n < 500; ++n) {
        const Vector3 d{s.in(-1, 1), s.in(-1, 1), s.in(-1, 1)};
        const double length = s.in(1e-3, 1e3);
        const auto a = neck_look_at(length * d, std::nullopt);
        ASSERT_TRUE(a.has_value());
        EXPECT_EQ(a->roll, 0.0);
        EXPECT_GT(a->yaw, -kPi);
        EXPECT_LE(a->yaw, kPi);
        expect_close(mat_column(neck_forward_kinematics(*a), 0), (1.0 / norm(d)) * d, 1e-14, "head x axis");
    }
    // atan2 would give -pi here; the range is (-pi, pi].
    EXPECT_EQ(neck_look_at({-1.0, -0.0, 0.2}, std::nullopt)->yaw, kPi);
}

struct UnwrapCase {
    Vector3 direction;
    double previous;
    double expected_yaw;
};

TEST(NeckLookAt, YawNearestThePreviousAndHeldAtTheZenith) {
    for (const UnwrapCase& c : {UnwrapCase{{1, 1, 0}, 0.0, kPi / 4}, {{1, 1, 0}, 6.0, kPi / 4 + 2 * kPi},
                                {{1, 1, 0}, -12.0, kPi / 4 - 4 * kPi}, {{-1, -0.01, 0}, 3.0, std::atan2(-0.01, -1) + 2 * kPi},
                                {{-1, 0.01, 0}, -3.0, std::atan2(0.01, -1) - 2 * kPi},
                                // Within the gimbal margin of straight up or down yaw is held; just outside, not.
                                {{0, 0, 2}, 7.5, 7.5}, {{1e-4, 0, -1}, -2.25, -2.25}, {{2e-3, 0, 1}, 4.0, 2 * kPi}}) {
        const auto a = neck_look_at(c.direction, c.previous);
        ASSERT_TRUE(a.has_value());
        EXPECT_NEAR(a->yaw, c.expected_yaw, 1e-12) << c.previous;
        EXPECT_LE(std::fabs(a->yaw - c.previous), kPi + 1e-12);
    }
    for (const Vector3& bad : {Vector3{0, 0, 0}, Vector3{kNaN, 1, 0}, Vector3{1, std::numeric_limits<double>::infinity(), 0}}) {
        EXPECT_FALSE(neck_look_at(bad, std::nullopt).has_value());
        EXPECT_FALSE(neck_look_at(bad, 1.0).has_value());
    }
}

}  // namespace
}  // namespace quorvel
