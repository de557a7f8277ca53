// Inputs found by fuzzing the geometry document reader (fuzz/), kept as
// regression cases.
#include <gtest/gtest.h>

#include <string>

#include "geometry_doc/geometry_document.hpp"

namespace quorvel {
namespace {

// A number beyond the double range inside an ignored value is read as a
// harmless number of the same length. Directly followed by 'e', 'E' or '.',
// it used to merge with those bytes into a valid number, so a text that is not
// JSON was accepted (or got the wrong message). Each case has a twin with a
// finite number of the same length in its place: both must give the same fault.
struct OverflowThenByte {
    const char* name;
    std::string text;
    std::string finite_twin;
    std::string message;
    friend void PrintTo(const OverflowThenByte& c, std::ostream* os) { *os << c.name; }
};

class SkippedOverflowFollowedByNumberBytes : public ::testing::TestWithParam<OverflowThenByte> {};

TEST_P(SkippedOverflowFollowedByNumberBytes, IsTheSyntaxFaultOfItsFiniteTwin) {
    const OverflowThenByte& c = GetParam();
    const GeometryDocumentResult result = parse_geometry_document(c.text);
    EXPECT_FALSE(result.geometry.has_value());
    EXPECT_EQ(result.error, c.message);
    const GeometryDocumentResult twin = parse_geometry_document(c.finite_twin);
    EXPECT_FALSE(twin.geometry.has_value());
    EXPECT_EQ(twin.error, c.message);
}

INSTANTIATE_TEST_SUITE_P(
    GeometryDocumentRegression, SkippedOverflowFollowedByNumberBytes,
    ::testing::Values(
        // The fuzzer's finding, trimmed.
        OverflowThenByte{"fuzzer_finding", R"({"arm_arc": 1, "coupler_arc": 2, "x": 1.7976931348623159e3081e999})",
                         R"({"arm_arc": 1, "coupler_arc": 2, "x": 1.7976931348623159e-308e999})",
                         "expected `,` or `}` at line 1 column 62"},
        OverflowThenByte{"exponent", R"({"x": 1e999e999, "arm_arc": 1, "coupler_arc": 2})",
                         R"({"x": 1.5e3e999, "arm_arc": 1, "coupler_arc": 2})",
                         "expected `,` or `}` at line 1 column 12"},
        OverflowThenByte{"upper_case_exponent", R"({"x": -1e999E+1, "arm_arc": 1, "coupler_arc": 2})",
                         R"({"x": -1.5e3E+1, "arm_arc": 1, "coupler_arc": 2})",
                         "expected `,` or `}` at line 1 column 13"},
        OverflowThenByte{"fraction", R"({"x": 1e999.5, "arm_arc": 1, "coupler_arc": 2})",
                         R"({"x": 1.5e3.5, "arm_arc": 1, "coupler_arc": 2})",
                         "expected `,` or `}` at line 1 column 12"},
        OverflowThenByte{"in_a_list", R"({"x": [0, -1e999.0e1], "arm_arc": 1, "coupler_arc": 2})",
                         R"({"x": [0, -1.5e3.0e1], "arm_arc": 1, "coupler_arc": 2})",
                         "expected `,` or `]` at line 1 column 17"},
        OverflowThenByte{"second_in_a_list", R"({"x": [1e999, 1e999e1]})", R"({"x": [1e999, 1.5e3e1]})",
                         "expected `,` or `]` at line 1 column 20"},
        // Used to be "invalid number" at the closing brace: "0e" had no digit.
        OverflowThenByte{"bare_exponent_letter", R"({"x": {"y": 1e999e}})", R"({"x": {"y": 1.5e3e}})",
                         "expected `,` or `}` at line 1 column 18"},
        // Used to be "missing field `arm_arc`": the text was read as JSON.
        OverflowThenByte{"long_exponent", R"({"x": 1e9999999999999999999999999e1})",
                         R"({"x": 1e-999999999999999999999999e1})", "expected `,` or `}` at line 1 column 34"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(GeometryDocumentRegression, SkippedOverflowStillAcceptedBeforeEveryValidFollower) {
    for (const char* text : {R"({"x": 1e999, "arm_arc": 7, "coupler_arc": 8})",
                             R"({"x": 1e999 , "arm_arc": 7, "coupler_arc": 8})",
                             R"({"x": [1e999], "arm_arc": 7, "coupler_arc": 8})",
                             R"({"arm_arc": 7, "coupler_arc": 8, "x": 1e999})",
                             "{\"x\": -1e999\n, \"arm_arc\": 7, \"coupler_arc\": 8}"}) {
        const GeometryDocumentResult result = parse_geometry_document(text);
        ASSERT_TRUE(result.geometry.has_value()) << text << ": " << result.error;
        EXPECT_EQ(result.geometry->arm_arc, 7.0);
        EXPECT_EQ(result.geometry->coupler_arc, 8.0);
    }
}

TEST(GeometryDocumentRegression, ANumberWhereAKeyBelongsIsNoKeyWhateverItsSize) {
    EXPECT_EQ(parse_geometry_document(R"({"x": {"a": 1,1e999: 5}, "arm_arc": 5, "coupler_arc": 6})").error,
              "key must be a string at line 1 column 15");
    EXPECT_EQ(parse_geometry_document(R"({"x": {"a": 1,1e300: 5}, "arm_arc": 5, "coupler_arc": 6})").error,
              "key must be a string at line 1 column 15");
}

}  // namespace
}  // namespace quorvel
