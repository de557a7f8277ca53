#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <ostream>

#include "neck/neck_kinematics.hpp"

namespace quorvel {
namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// Bit equality, so a -0.0 where +0.0 belongs is a failure.
void expect_same_bits(const Matrix3& actual, const Matrix3& expected) {
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            EXPECT_EQ(std::bit_cast<std::uint64_t>(actual[i][j]), std::bit_cast<std::uint64_t>(expected[i][j]))
                << "entry [" << i << "][" << j << "]: " << actual[i][j] << " vs " << expected[i][j];
        }
    }
}

const double c5 = std::cos(0.5), s5 = std::sin(0.5);

struct ExactCase {
    const char* name;
    NeckAngles angles;
    Matrix3 expected;
};

void PrintTo(const ExactCase& c, std::ostream* os) { *os << c.name; }

class ExactForward : public ::testing::TestWithParam<ExactCase> {};

TEST_P(ExactForward, MatchesTheClosedFormBitForBit) {
    expect_same_bits(neck_forward_kinematics(GetParam().angles), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Neck, ExactForward,
    ::testing::Values(ExactCase{"zero", {0.0, 0.0, 0.0}, {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}}},
                      ExactCase{"negative_zero", {-0.0, -0.0, -0.0}, {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}}},
                      ExactCase{"yaw", {0.5, 0.0, 0.0}, {{{c5, -s5, 0}, {s5, c5, 0}, {0, 0, 1}}}},
                      ExactCase{"pitch", {0.0, 0.5, 0.0}, {{{c5, 0, s5}, {0, 1, 0}, {-s5, 0, c5}}}},
                      ExactCase{"roll", {0.0, 0.0, 0.5}, {{{1, 0, 0}, {0, c5, -s5}, {0, s5, c5}}}}),
    [](const auto& info) { return std::string(info.param.name); });

// Every zero the axis-angle formula yields is +0.0, for either sign of angle.
TEST(AxisRotation, CoordinateAxesGiveTheFamiliarMatricesExactly) {
    const Vector3 x{1, 0, 0}, y{0, 1, 0}, z{0, 0, 1};
    const Matrix3 identity{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
    for (const Vector3& axis : {x, y, z}) {
        expect_same_bits(axis_rotation(axis, 0.0), identity);
        expect_same_bits(axis_rotation(axis, -0.0), identity);
    }
    for (double angle : {0.5, -0.5}) {
        SCOPED_TRACE(angle);
        const double c = std::cos(angle), s = std::sin(angle);
        expect_same_bits(axis_rotation(z, angle), {{{c, -s, 0}, {s, c, 0}, {0, 0, 1}}});
        expect_same_bits(axis_rotation(y, angle), {{{c, 0, s}, {0, 1, 0}, {-s, 0, c}}});
        expect_same_bits(axis_rotation(x, angle), {{{1, 0, 0}, {0, c, -s}, {0, s, c}}});
    }
}

// The written-out table, multiplied left to right, is exactly what (Z·Y)·X
// gives for non-zero angles; Z·(Y·X) would miss it in the last bit.
TEST(NeckForward, AgreesWithTheWrittenOutTable) {
    for (double yaw = -3.1; yaw <= 3.2; yaw += 0.7) {
        for (double pitch = -1.5; pitch <= 1.5; pitch += 0.4) {
            for (double roll = -3.0; roll <= 3.2; roll += 0.65) {
                const double cy = std::cos(yaw), sy = std::sin(yaw), cp = std::cos(pitch), sp = std::sin(pitch),
                             cr = std::cos(roll), sr = std::sin(roll);
                const Matrix3 table{{{cy * cp, cy * sp * sr - sy * cr, cy * sp * cr + sy * sr},
                                     {sy * cp, sy * sp * sr + cy * cr, sy * sp * cr - cy * sr},
                                     {-sp, cp * sr, cp * cr}}};
                SCOPED_TRACE(::testing::Message() << yaw << ", " << pitch << ", " << roll);
                expect_same_bits(neck_forward_kinematics({yaw, pitch, roll}), table);
            }
        }
    }
}

TEST(NeckForward, WorkedExampleAndItsInverse) {
    const Matrix3 expected{{{0.730682, -0.682536, -0.015794},
                            {0.226026, 0.263669, -0.937758},
                            {0.644218, 0.681633, 0.346929}}};
    const Matrix3 r = neck_forward_kinematics({0.3, -0.7, 1.1});
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) EXPECT_NEAR(r[i][j], expected[i][j], 5e-7) << i << ", " << j;
    }
    const auto back = neck_inverse_kinematics(r);
    ASSERT_TRUE(back.has_value());
    EXPECT_NEAR(back->yaw, 0.3, 1e-15);
    EXPECT_NEAR(back->pitch, -0.7, 1e-15);
    EXPECT_NEAR(back->roll, 1.1, 1e-15);
}

TEST(NeckForward, NanOrInfiniteAngleSpoilsEveryEntry) {
    for (const NeckAngles& a : {NeckAngles{kNan, 0.0, 0.0}, NeckAngles{0.0, kNan, 0.0}, NeckAngles{0.0, 0.0, kNan},
                                NeckAngles{kInf, 0.2, 0.3}, NeckAngles{0.1, -kInf, 0.3}, NeckAngles{0.0, 0.0, kInf}}) {
        const Matrix3 r = neck_forward_kinematics(a);
        for (const auto& row : r) {
            for (double v : row) EXPECT_TRUE(std::isnan(v)) << a.yaw << ", " << a.pitch << ", " << a.roll;
        }
    }
}

TEST(NeckRoundTrip, RecoversAnglesAwayFromGimbalLock) {
    const double edge = kPi / 2 - 0.0016;
    for (double yaw = -3.1; yaw <= kPi; yaw += 0.31) {
        for (double pitch : {-edge, -1.2, -0.45, 0.0, 0.3, 1.1, edge}) {
            for (double roll = -3.05; roll <= kPi; roll += 0.37) {
                const auto back = neck_inverse_kinematics(neck_forward_kinematics({yaw, pitch, roll}));
                ASSERT_TRUE(back.has_value()) << yaw << ", " << pitch << ", " << roll;
                EXPECT_NEAR(back->yaw, yaw, 1e-9);
                EXPECT_NEAR(back->pitch, pitch, 1e-9);
                EXPECT_NEAR(back->roll, roll, 1e-9);
            }
        }
    }
    // Angles are never wrapped going in, but atan2 brings them back into range.
    const auto wrapped = neck_inverse_kinematics(neck_forward_kinematics({3 * kPi, 0.2, -0.4}));
    ASSERT_TRUE(wrapped.has_value());
    EXPECT_NEAR(std::fabs(wrapped->yaw), kPi, 1e-12);
}

TEST(NeckInverse, IdentityGivesNegativeZeroPitch) {
    const auto a = neck_inverse_kinematics({{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}});
    ASSERT_TRUE(a.has_value());
    EXPECT_EQ(a->yaw, 0.0);
    EXPECT_EQ(a->pitch, 0.0);
    EXPECT_EQ(a->roll, 0.0);
    EXPECT_FALSE(std::signbit(a->yaw));
    EXPECT_TRUE(std::signbit(a->pitch));  // asin(-0.0)
    EXPECT_FALSE(std::signbit(a->roll));
}

TEST(NeckInverse, GimbalGuardBoundary) {
    for (const auto& [r20, locked] : {std::pair{1.0, true}, {-1.0, true}, {0.9999995, true}, {-0.9999995, true},
                                      {1.5, true}, {-kInf, true}, {0.999998, false}, {-0.999998, false}}) {
        Matrix3 r{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
        r[2][0] = r20;
        const auto a = neck_inverse_kinematics(r);
        EXPECT_EQ(a.has_value(), !locked) << r20;
        if (a) {
            EXPECT_EQ(a->pitch, std::asin(-r20));
        }
    }
}

TEST(NeckInverse, AcceptsAnyMatrixAndReadsOnlyFiveEntries) {
    const auto skewed = neck_inverse_kinematics({{{2, 2, 2}, {2, 2, 2}, {0, 2, 2}}});
    ASSERT_TRUE(skewed.has_value());
    EXPECT_EQ(skewed->pitch, 0.0);
    EXPECT_DOUBLE_EQ(skewed->roll, kPi / 4);
    EXPECT_DOUBLE_EQ(skewed->yaw, kPi / 4);

    // NaN in the four unread entries cannot leak into the angles.
    const auto partial = neck_inverse_kinematics({{{0.6, kNan, kNan}, {0.8, kNan, kNan}, {0.0, 0.0, 1.0}}});
    ASSERT_TRUE(partial.has_value());
    EXPECT_DOUBLE_EQ(partial->yaw, std::atan2(0.8, 0.6));
    EXPECT_EQ(partial->roll, 0.0);

    // NaN in r[2][0] slips past the guard: a NaN pitch, not GimbalLock.
    const auto nan_pitch = neck_inverse_kinematics({{{1, 0, 0}, {0, 1, 0}, {kNan, 0, 1}}});
    ASSERT_TRUE(nan_pitch.has_value());
    EXPECT_TRUE(std::isnan(nan_pitch->pitch));
    EXPECT_EQ(nan_pitch->roll, 0.0);
}

}  // namespace
}  // namespace quorvel
