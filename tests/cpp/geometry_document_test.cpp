#include <gtest/gtest.h>

#include <pthread.h>

#include <cmath>
#include <string>

#include "geometry_doc/geometry_document.hpp"

namespace quorvel {
namespace {

struct Accepted {
    const char* name;
    std::string text;
    SphericalLinkGeometry expected;
    friend void PrintTo(const Accepted& c, std::ostream* os) { *os << c.name; }
};

class AcceptedDocuments : public ::testing::TestWithParam<Accepted> {};

TEST_P(AcceptedDocuments, GiveTheRecordAsWritten) {
    const Accepted& c = GetParam();
    const GeometryDocumentResult result = parse_geometry_document(c.text);
    ASSERT_TRUE(result.geometry.has_value()) << result.error;
    EXPECT_EQ(result.error, "");
    // Bit-for-bit, so the sign of a zero counts too.
    EXPECT_EQ(std::signbit(result.geometry->arm_arc), std::signbit(c.expected.arm_arc));
    EXPECT_EQ(result.geometry->arm_arc, c.expected.arm_arc);
    EXPECT_EQ(result.geometry->coupler_arc, c.expected.coupler_arc);
    EXPECT_EQ(result.geometry->branch, c.expected.branch);
    EXPECT_EQ(result.geometry->mirror, c.expected.mirror);
}

constexpr auto kPos = LoopBranch::Positive;
constexpr auto kNeg = LoopBranch::Negative;

INSTANTIATE_TEST_SUITE_P(
    GeometryDocument, AcceptedDocuments,
    ::testing::Values(
        Accepted{"keyed_defaults", R"({"arm_arc": 0.7, "coupler_arc": 0.5})", default_left_geometry()},
        Accepted{"keyed_mirrored", R"({"mirror": true, "coupler_arc": 0.5, "arm_arc": 0.7})", default_right_geometry()},
        Accepted{"keyed_all_fields", R"({"arm_arc":0.25,"coupler_arc":-0.3,"branch":"negative","mirror":false})",
                 {0.25, -0.3, kNeg, false}},
        Accepted{"positional_two", "[0.7, 0.5]", default_left_geometry()},
        Accepted{"positional_three", R"([0.7, 0.5, "positive"])", default_left_geometry()},
        Accepted{"positional_four", R"([0.7, 0.5, {"negative": null}, true])", {0.7, 0.5, kNeg, true}},
        Accepted{"integers", R"({"arm_arc": 1, "coupler_arc": 2})", {1.0, 2.0, kPos, false}},
        Accepted{"beyond_64_bit_integer", "[18446744073709551616, -9223372036854775809]",
                 {18446744073709551616.0, -9223372036854775809.0, kPos, false}},
        Accepted{"negative_zero_and_underflow", "[-0, 1e-400]", {-0.0, 0.0, kPos, false}},
        Accepted{"nearest_double", "[0.30000000000000004, 4.9406564584124654e-324]",
                 {0.1 + 0.2, 4.9406564584124654e-324, kPos, false}},
        Accepted{"exponent_forms", "[2.5E+3, -1e-2]", {2500.0, -0.01, kPos, false}},
        Accepted{"rounds_to_largest_double", "[1.7976931348623158e308, 1]", {1.7976931348623157e308, 1.0, kPos, false}},
        Accepted{"branch_object_form", R"({"branch": { "positive" : null }, "arm_arc": 3, "coupler_arc": 4})",
                 {3.0, 4.0, kPos, false}},
        Accepted{"escaped_keys_and_variant", R"({"arm\u005farc": 1, "coupler_arc": 2, "branch": "neg\u0061tive"})",
                 {1.0, 2.0, kNeg, false}},
        Accepted{"json_whitespace_around", " \t\r\n[1,2] \n\t\r", {1.0, 2.0, kPos, false}},
        Accepted{"unknown_keys_skipped",
                 R"({"x": {"a": [1, {"b": null}], "c": "s"}, "x": [], "Arm_arc": true, "arm_arc": 5, "coupler_arc": 6})",
                 {5.0, 6.0, kPos, false}},
        // The library refuses these numbers wherever they stand; here they are ignored.
        Accepted{"out_of_range_numbers_skipped",
                 R"({"x": 1e999, "y": [-1e999, {"z": 2e400}], "arm_arc": 7, "w": 1e999, "coupler_arc": 8})",
                 {7.0, 8.0, kPos, false}}),
    [](const auto& info) { return std::string(info.param.name); });

// Valid JSON syntax though no Unicode text: a skipped value may hold them, in
// its strings and its keys, at any depth, even beside numbers the library refuses.
INSTANTIATE_TEST_SUITE_P(
    UnpairedSurrogates, AcceptedDocuments,
    ::testing::Values(
        Accepted{"high", R"({"arm_arc": 0.7, "coupler_arc": 0.5, "note": "\ud800"})", default_left_geometry()},
        Accepted{"low_before_the_fields", R"({"note": "\udc00", "arm_arc": 0.7, "coupler_arc": 0.5})",
                 default_left_geometry()},
        Accepted{"reversed_pair", R"({"note": "\udc00\ud800", "arm_arc": 0.7, "coupler_arc": 0.5})",
                 default_left_geometry()},
        Accepted{"high_then_byte", R"({"note": "\ud800x", "arm_arc": 0.7, "coupler_arc": 0.5})", default_left_geometry()},
        Accepted{"high_then_other_escape", R"({"note": "\uD800\u0041\"", "arm_arc": 0.7, "coupler_arc": 0.5})",
                 default_left_geometry()},
        Accepted{"high_twice_then_pair", R"({"note": "\ud800\udbff\udfff", "arm_arc": 0.7, "coupler_arc": 0.5})",
                 default_left_geometry()},
        Accepted{"keys_and_values_at_depth",
                 R"({"x": {"\ud800": ["\udc00\ud800", {"\ud800x": "\ud800\u0041"}]}, "y": [[["\udc00"]]], )"
                 R"("arm_arc": 1, "coupler_arc": 2, "branch": "negative"})",
                 {1.0, 2.0, kNeg, false}},
        Accepted{"beside_refused_numbers",
                 R"({"x": [1e999, "\ud800", -1e999, {"\udc00": 2e400}], "arm_arc": 1, "coupler_arc": 2})",
                 {1.0, 2.0, kPos, false}},
        Accepted{"same_skipped_key_twice", R"({"x": {"\ud800": 1, "\ud800": "\udfff"}, "arm_arc": 1, "coupler_arc": 2})",
                 {1.0, 2.0, kPos, false}}),
    [](const auto& info) { return std::string(info.param.name); });

struct Rejected {
    const char* name;
    std::string text;
    std::string message;
    friend void PrintTo(const Rejected& c, std::ostream* os) { *os << c.name; }
};

class RejectedDocuments : public ::testing::TestWithParam<Rejected> {};

TEST_P(RejectedDocuments, NameTheFaultAndWhereItWasFound) {
    const GeometryDocumentResult result = parse_geometry_document(GetParam().text);
    EXPECT_FALSE(result.geometry.has_value());
    EXPECT_EQ(result.error, GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Record, RejectedDocuments,
    ::testing::Values(
        Rejected{"empty", "", "EOF while parsing a value at line 1 column 0"},
        Rejected{"empty_object", "{}", "missing field `arm_arc` at line 1 column 2"},
        Rejected{"only_arm_arc", R"({"arm_arc": 0.7})", "missing field `coupler_arc` at line 1 column 16"},
        Rejected{"case_sensitive_key", R"({"Arm_arc": 1, "coupler_arc": 2})",
                 "missing field `arm_arc` at line 1 column 32"},
        Rejected{"one_element", "[0.7]",
                 "invalid length 1, expected struct SphericalLinkGeometry with 4 elements at line 1 column 5"},
        Rejected{"no_element", "[ ]",
                 "invalid length 0, expected struct SphericalLinkGeometry with 4 elements at line 1 column 3"},
        Rejected{"fifth_element", R"([0.7, 0.5, "positive", false, "x"])", "trailing characters at line 1 column 31"},
        Rejected{"fifth_element_refused_number", R"([1,2,"positive",false,1e999])",
                 "trailing characters at line 1 column 23"},
        Rejected{"fifth_element_comma", R"([0.7, 0.5, "positive", false,])", "trailing comma at line 1 column 30"},
        Rejected{"duplicate_before_value", R"({"arm_arc": 1, "arm_arc": 1})",
                 "duplicate field `arm_arc` at line 1 column 24"},
        Rejected{"duplicate_after_skipped_overflow", R"({"arm_arc": 1, "coupler_arc": 2, "x": 1e999, "arm_arc": 3})",
                 "duplicate field `arm_arc` at line 1 column 54"},
        Rejected{"duplicate_value_unread", R"({"mirror": true, "mirror": {)",
                 "duplicate field `mirror` at line 1 column 25"},
        Rejected{"numeric_string", R"({"arm_arc": "0.7", "coupler_arc": 0.5})",
                 "invalid type: string \"0.7\", expected f64 at line 1 column 17"},
        Rejected{"null_arc", R"({"arm_arc": null})", "invalid type: null, expected f64 at line 1 column 16"},
        Rejected{"map_arc", R"({"arm_arc": {}})", "invalid type: map, expected f64 at line 1 column 13"},
        Rejected{"sequence_arc", R"([[0.7]])", "invalid type: sequence, expected f64 at line 1 column 2"},
        Rejected{"arc_too_large", R"({"arm_arc": 1e400})", "number out of range at line 1 column 17"},
        Rejected{"arc_too_large_later", R"({"x": 1e999, "arm_arc": -1e400})", "number out of range at line 1 column 30"},
        Rejected{"mirror_integer", R"({"mirror": 1})", "invalid type: integer `1`, expected a boolean at line 1 column 12"},
        Rejected{"mirror_string", R"({"mirror": "a\"b\n\u0001"})",
                 R"(invalid type: string "a\"b\n\u{1}", expected a boolean at line 1 column 25)"},
        Rejected{"mirror_integral_float", "[1, 2, \"positive\", 2.0]",
                 "invalid type: floating point `2.0`, expected a boolean at line 1 column 22"},
        Rejected{"mirror_large_float", "[1, 2, \"positive\", 1e20]",
                 "invalid type: floating point `100000000000000000000.0`, expected a boolean at line 1 column 23"},
        Rejected{"mirror_negative_zero", "[1, 2, \"positive\", -0]",
                 "invalid type: floating point `-0.0`, expected a boolean at line 1 column 21"},
        Rejected{"mirror_beyond_64_bits", "[1, 2, \"positive\", 18446744073709551616]",
                 "invalid type: floating point `18446744073709552000.0`, expected a boolean at line 1 column 39"},
        Rejected{"mirror_lowest_integer", "[1, 2, \"positive\", -9223372036854775808]",
                 "invalid type: integer `-9223372036854775808`, expected a boolean at line 1 column 39"},
        Rejected{"top_level_integer", "5", "invalid type: integer `5`, expected struct SphericalLinkGeometry at line 1 column 1"},
        Rejected{"top_level_float", " 1.5 ",
                 "invalid type: floating point `1.5`, expected struct SphericalLinkGeometry at line 1 column 4"},
        Rejected{"top_level_string", R"("x")", R"(invalid type: string "x", expected struct SphericalLinkGeometry at line 1 column 3)"},
        Rejected{"top_level_bool", "false", "invalid type: boolean `false`, expected struct SphericalLinkGeometry at line 1 column 5"},
        Rejected{"top_level_null", "null", "invalid type: null, expected struct SphericalLinkGeometry at line 1 column 4"},
        Rejected{"unknown_variant", R"({"branch": "Positive"})",
                 "unknown variant `Positive`, expected `positive` or `negative` at line 1 column 21"},
        Rejected{"unknown_variant_key", R"({"branch": {"neutral": null}})",
                 "unknown variant `neutral`, expected `positive` or `negative` at line 1 column 21"},
        Rejected{"branch_null", R"({"branch": null})", "expected value at line 1 column 12"},
        Rejected{"branch_number", R"({"branch": 12})", "expected value at line 1 column 12"},
        Rejected{"branch_refused_number", R"({"branch": 1e999})", "expected value at line 1 column 12"},
        Rejected{"branch_sequence", R"({"branch": ["positive"]})", "expected value at line 1 column 12"},
        Rejected{"branch_empty_object", R"({"branch": {}})", "expected value at line 1 column 13"},
        Rejected{"branch_second_entry", R"({"branch": {"negative": null, "x": null}})", "expected value at line 1 column 29"},
        Rejected{"branch_unclosed", R"({"branch": {"negative": null)", "EOF while parsing an object at line 1 column 28"},
        Rejected{"branch_unit_not_null", R"({"branch": {"negative": 1}})",
                 "invalid type: integer `1`, expected unit at line 1 column 25"},
        Rejected{"branch_identifier_not_string", R"({"branch": {1: null}})",
                 "invalid type: integer `1`, expected variant identifier at line 1 column 13"},
        Rejected{"branch_identifier_boolean", R"({"branch": {true: null}})",
                 "invalid type: boolean `true`, expected variant identifier at line 1 column 16"}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Syntax, RejectedDocuments,
    ::testing::Values(
        Rejected{"byte_order_mark", "\xEF\xBB\xBF[1, 2]", "expected value at line 1 column 1"},
        Rejected{"not_a_value", "  x", "expected value at line 1 column 3"},
        Rejected{"nan", "[NaN, 1]", "expected value at line 1 column 2"},
        Rejected{"infinity", "[1, -Infinity]", "invalid number at line 1 column 6"},
        Rejected{"eof_in_object", "{", "EOF while parsing an object at line 1 column 1"},
        Rejected{"eof_after_bracket", "[", "EOF while parsing a list at line 1 column 1"},
        Rejected{"eof_after_comma", "[1,\n", "EOF while parsing a value at line 2 column 0"},
        Rejected{"eof_after_element", "[1", "EOF while parsing a list at line 1 column 2"},
        Rejected{"eof_in_string", R"({"arm_)", "EOF while parsing a string at line 1 column 6"},
        Rejected{"eof_in_number", R"({"arm_arc": 1.)", "EOF while parsing a value at line 1 column 14"},
        Rejected{"missing_colon", R"({"arm_arc" 1})", "expected `:` at line 1 column 12"},
        Rejected{"missing_object_comma", R"({"arm_arc": 1 "coupler_arc": 2})", "expected `,` or `}` at line 1 column 15"},
        Rejected{"missing_list_comma", "[1 2]", "expected `,` or `]` at line 1 column 4"},
        Rejected{"key_not_string", "{1: 2}", "key must be a string at line 1 column 2"},
        Rejected{"object_trailing_comma", R"({"arm_arc": 1,})", "trailing comma at line 1 column 15"},
        Rejected{"list_trailing_comma", "[1,]", "trailing comma at line 1 column 4"},
        Rejected{"third_position_trailing_comma", "[0.7, 0.5,]", "trailing comma at line 1 column 11"},
        Rejected{"leading_zero", R"({"arm_arc": 01})", "invalid number at line 1 column 14"},
        Rejected{"fraction_without_digit", "[1.x]", "invalid number at line 1 column 4"},
        Rejected{"exponent_without_digit", "[1e]", "invalid number at line 1 column 4"},
        Rejected{"raw_control_character", "{\"a\x01\": 1}",
                 "control character (\\u0000-\\u001F) found while parsing a string at line 1 column 4"},
        Rejected{"bad_escape", R"({"a\q": 1})", "invalid escape at line 1 column 5"},
        Rejected{"lone_surrogate", R"({"\ud800": 1})", "invalid unicode code point at line 1 column 9"},
        Rejected{"second_document", "[1, 2] [1, 2]", "trailing characters at line 1 column 8"},
        Rejected{"trailing_nul", std::string("[1, 2] \0", 8), "trailing characters at line 1 column 8"},
        Rejected{"nul_instead_of_value", std::string("[\0]", 3), "expected value at line 1 column 2"},
        // Skipped values are still checked for syntax, with or without a
        // number the library refuses in front of the fault.
        Rejected{"skipped_syntax", R"({"x": [1, {"y": 2,}]})", "trailing comma at line 1 column 19"},
        Rejected{"skipped_syntax_after_overflow", R"({"x": [1e999, 2e999 3]})", "expected `,` or `]` at line 1 column 21"},
        Rejected{"skipped_leading_zero", R"({"x": [00]})", "invalid number at line 1 column 9"}),
    [](const auto& info) { return std::string(info.param.name); });

// After a skipped container closes, the fault depends on the kind of the one
// around it, whatever the depth.
INSTANTIATE_TEST_SUITE_P(
    SkippedContainers, RejectedDocuments,
    ::testing::Values(
        Rejected{"list_after_map", R"({"x": [{"a": [1]} 2]})", "expected `,` or `]` at line 1 column 19"},
        Rejected{"map_after_list", R"({"x": {"a": [1] "b"}})", "expected `,` or `}` at line 1 column 17"},
        Rejected{"colon_in_inner_map", R"({"x": [[{}, {"a" 1}]]})", "expected `:` at line 1 column 18"},
        Rejected{"list_trailing_comma", R"({"x": [{"a": 1}, ]})", "trailing comma at line 1 column 18"},
        Rejected{"map_trailing_comma", R"({"x": {"a": {"b": []}, }})", "trailing comma at line 1 column 24"},
        Rejected{"list_closed_by_brace", R"({"x": [[], {}, [[{"a": [{}]}]] })", "expected `,` or `]` at line 1 column 32"},
        Rejected{"map_closed_by_bracket", R"({"x": {"a": [], "b": {} ]})", "expected `,` or `}` at line 1 column 25"},
        Rejected{"colon_in_list", R"({"x": [{"a": {"b": [1, 2]}}, 3, {"c": {}} : ]})",
                 "expected `,` or `]` at line 1 column 43"},
        Rejected{"value_without_key", R"({"x": {"a": [[[]]], "b": [[{}]] 1}})", "expected `,` or `}` at line 1 column 33"},
        Rejected{"eof_in_inner_list", R"({"x": {"a": [[1]], "b": [)", "EOF while parsing a list at line 1 column 25"},
        Rejected{"eof_after_inner_value", R"({"x": [{"a": [1]})", "EOF while parsing a list at line 1 column 17"},
        Rejected{"eof_after_inner_key", R"({"x": [{"a")", "EOF while parsing an object at line 1 column 11"}),
    [](const auto& info) { return std::string(info.param.name); });

// Where the record reads a string (its own keys, the branch, any field's
// value), an unpaired surrogate escape is still refused, at the same byte.
INSTANTIATE_TEST_SUITE_P(
    UnpairedSurrogates, RejectedDocuments,
    ::testing::Values(
        Rejected{"record_key", R"({"arm_arc\udc00": 1})", "invalid unicode code point at line 1 column 15"},
        Rejected{"record_key_after_skipped_one", R"({"x": "\ud800", "\udc00": 1})",
                 "invalid unicode code point at line 1 column 23"},
        Rejected{"branch_string", R"({"branch": "x\ud800"})", "invalid unicode code point at line 1 column 20"},
        Rejected{"branch_object_key", R"({"branch": {"\ud800": null}})", "invalid unicode code point at line 1 column 20"},
        Rejected{"positional_branch", R"([1, 2, "\udc00"])", "invalid unicode code point at line 1 column 14"},
        Rejected{"mirror_value", R"({"mirror": "\ud800"})", "invalid unicode code point at line 1 column 19"},
        Rejected{"top_level", R"("\ud800")", "invalid unicode code point at line 1 column 8"},
        // Skipped, but the string has another fault, or the document does later.
        Rejected{"then_bad_escape", R"({"x": {"a": "\ud800\x"}})", "invalid escape at line 1 column 21"},
        Rejected{"then_bad_hex", R"({"x": "\ud800\u12G4"})", "invalid escape at line 1 column 18"},
        Rejected{"then_eof", R"({"x": "\ud800)", "EOF while parsing a string at line 1 column 13"},
        Rejected{"then_bad_literal", R"({"x": ["\ud800", tru]})", "expected value at line 1 column 21"},
        Rejected{"then_missing_comma", R"({"x": ["\ud800", 1e999, "\udc00" 1]})", "expected `,` or `]` at line 1 column 34"},
        Rejected{"then_missing_field", R"({"x": "\ud800", "arm_arc": 1})", "missing field `coupler_arc` at line 1 column 29"}),
    [](const auto& info) { return std::string(info.param.name); });

// The shortest digits that read back to the same double, in fixed notation
// with a fractional part; integers within 64 bits stay integers.
const std::string kSmallestSubnormal = "0." + std::string(323, '0') + "5";
const std::string kLargestDouble = "17976931348623157" + std::string(292, '0') + ".0";

INSTANTIATE_TEST_SUITE_P(
    FloatDescriptions, RejectedDocuments,
    ::testing::Values(
        Rejected{"padded_with_zeros", R"([1, 2, "positive", 1e23])",
                 "invalid type: floating point `100000000000000000000000.0`, expected a boolean at line 1 column 23"},
        Rejected{"long_literal", R"([1, 2, "positive", 123456789012345678901234567890.5])",
                 "invalid type: floating point `123456789012345680000000000000.0`, expected a boolean at line 1 column 51"},
        Rejected{"smallest_subnormal", R"([1, 2, "positive", 5e-324])",
                 "invalid type: floating point `" + kSmallestSubnormal + "`, expected a boolean at line 1 column 25"},
        Rejected{"smallest_subnormal_long", R"([1, 2, "positive", 4.9406564584124654e-324])",
                 "invalid type: floating point `" + kSmallestSubnormal + "`, expected a boolean at line 1 column 42"},
        Rejected{"largest_double", R"([1, 2, "positive", 1.7976931348623157e308])",
                 "invalid type: floating point `" + kLargestDouble + "`, expected a boolean at line 1 column 41"},
        Rejected{"one_e_300", R"([1, 2, "positive", -1e300])",
                 "invalid type: floating point `-1" + std::string(300, '0') + ".0`, expected a boolean at line 1 column 25"},
        Rejected{"small_fraction", R"([1, 2, "positive", -1.25e-5])",
                 "invalid type: floating point `-0.0000125`, expected a boolean at line 1 column 27"},
        Rejected{"point_one", R"([1, 2, "positive", 0.1])",
                 "invalid type: floating point `0.1`, expected a boolean at line 1 column 22"},
        Rejected{"digits_on_both_sides", R"([1, 2, "positive", 123.456e0])",
                 "invalid type: floating point `123.456`, expected a boolean at line 1 column 28"},
        Rejected{"above_two_to_53", R"([1, 2, "positive", 9007199254740993.0])",
                 "invalid type: floating point `9007199254740992.0`, expected a boolean at line 1 column 37"},
        Rejected{"integer_within_64_bits", R"([1, 2, "positive", 9007199254740993])",
                 "invalid type: integer `9007199254740993`, expected a boolean at line 1 column 35"},
        Rejected{"largest_unsigned", R"([1, 2, "positive", 18446744073709551615])",
                 "invalid type: integer `18446744073709551615`, expected a boolean at line 1 column 39"},
        Rejected{"integer_beyond_64_bits", R"([1, 2, "positive", 100000000000000000000000000000000000000000])",
                 "invalid type: floating point `100000000000000000000000000000000000000000.0`, expected a boolean at line 1 "
                 "column 61"},
        Rejected{"below_lowest_integer", R"([1, 2, "positive", -9223372036854775809])",
                 "invalid type: floating point `-9223372036854776000.0`, expected a boolean at line 1 column 39"},
        Rejected{"top_level", "1E21", "invalid type: floating point `1000000000000000000000.0`, expected struct "
                                      "SphericalLinkGeometry at line 1 column 4"},
        Rejected{"variant_identifier", R"({"branch": {1e23: null}})",
                 "invalid type: floating point `100000000000000000000000.0`, expected variant identifier at line 1 column 16"},
        Rejected{"unit", R"({"branch": {"negative": 1e23}})",
                 "invalid type: floating point `100000000000000000000000.0`, expected unit at line 1 column 28"}),
    [](const auto& info) { return std::string(info.param.name); });

// The message keeps a NUL of the text it quotes, with everything after it.
TEST(GeometryDocumentMessages, CarryNulBytes) {
    using namespace std::string_literals;
    const struct {
        const char* text;
        std::string message;
    } cases[] = {
        {R"({"arm_arc": 0.7, "coupler_arc": 0.5, "branch": "neg\u0000ative"})",
         "unknown variant `neg\0ative`, expected `positive` or `negative` at line 1 column 63"s},
        {R"({"branch": "\u0000"})", "unknown variant `\0`, expected `positive` or `negative` at line 1 column 19"s},
        {R"([0.7, 0.5, "ab\u0000cd"])", "unknown variant `ab\0cd`, expected `positive` or `negative` at line 1 column 23"s},
        {R"({"branch": {"x\u0000": null}})",
         "unknown variant `x\0`, expected `positive` or `negative` at line 1 column 21"s},
    };
    for (const auto& c : cases) {
        const GeometryDocumentResult result = parse_geometry_document(c.text);
        EXPECT_FALSE(result.geometry.has_value()) << c.text;
        EXPECT_EQ(result.error, c.message) << c.text;
    }
}

TEST(GeometryDocumentPositions, LinesCountLineFeedsAndColumnsRestartOnEachLine) {
    const std::string text = "{\n  \"arm_arc\": 0.7,\r\n\t\"mirror\": 1\n}";
    EXPECT_EQ(parse_geometry_document(text).error, "invalid type: integer `1`, expected a boolean at line 3 column 12");
    EXPECT_EQ(parse_geometry_document("[1,\n2,\n\n  \"positive\" x]").error, "expected `,` or `]` at line 4 column 14");
    EXPECT_EQ(parse_geometry_document("{\"arm_arc\": 1,\n\"coupler_arc\": 2\n}\n#").error,
              "trailing characters at line 4 column 1");
}

// Runs the reader on a thread whose stack is far too small for one frame per
// nesting level, so a recursive skip would crash rather than pass.
GeometryDocumentResult parse_on_small_stack(const std::string& text) {
    struct Job {
        const std::string* text;
        GeometryDocumentResult result;
    } job{&text, {}};
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, 256 * 1024);
    pthread_t thread;
    const int created = pthread_create(
        &thread, &attributes,
        [](void* arg) -> void* {
            auto* j = static_cast<Job*>(arg);
            j->result = parse_geometry_document(*j->text);
            return nullptr;
        },
        &job);
    pthread_attr_destroy(&attributes);
    EXPECT_EQ(created, 0);
    if (created == 0) pthread_join(thread, nullptr);
    return job.result;
}

TEST(GeometryDocumentDepth, AMillionLevelsInASkippedValueAreAccepted) {
    constexpr std::size_t kDepth = 1'000'000;
    const std::string nested = std::string(kDepth, '[') + "1e999" + std::string(kDepth, ']');
    const GeometryDocumentResult result =
        parse_on_small_stack("{\"x\": " + nested + ", \"arm_arc\": 0.7, \"coupler_arc\": 0.5}");
    ASSERT_TRUE(result.geometry.has_value()) << result.error;
    EXPECT_EQ(result.geometry->arm_arc, 0.7);
    EXPECT_EQ(result.geometry->coupler_arc, 0.5);
}

// Closing back down across multiples of 64 levels, the fault after a value
// still names the kind of the container it stands in.
TEST(GeometryDocumentDepth, DeepMixedContainersAreClosedBackToTheRightKind) {
    const auto is_sequence = [](std::size_t level) { return level % 3 != 1; };
    constexpr std::size_t kDeepest = 200;
    for (const std::size_t depth : {1, 63, 64, 65, 127, 128, 129, 199}) {
        std::string text = "{\"x\": ";
        for (std::size_t level = 0; level < kDeepest; ++level) text += is_sequence(level) ? "[" : "{\"k\": ";
        text += "0";
        for (std::size_t level = kDeepest; level-- > depth;) text += is_sequence(level) ? "]" : "}";
        text += " x";
        const std::string expected = is_sequence(depth - 1) ? "expected `,` or `]`" : "expected `,` or `}`";
        EXPECT_EQ(parse_geometry_document(text).error, expected + " at line 1 column " + std::to_string(text.size()))
            << depth;
    }
}

TEST(GeometryDocumentDepth, AnUnclosedDeepValueIsReportedNotOverflowed) {
    const std::string text = "{\"x\": " + std::string(1'000'000, '{');
    EXPECT_EQ(parse_on_small_stack(text).error, "key must be a string at line 1 column 8");
    const std::string lists = "{\"x\": " + std::string(1'000'000, '[');
    EXPECT_EQ(parse_on_small_stack(lists).error, "EOF while parsing a list at line 1 column 1000006");
}

}  // namespace
}  // namespace quorvel
