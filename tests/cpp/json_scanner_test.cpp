// The reader's scanner must see the tokens the library's lexer sees. Each case
// is also run through the installed library's public SAX parser, so an upgrade
// that reads a token differently fails here rather than changing a message.
#include <gtest/gtest.h>

#include <cstddef>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include <nlohmann/json.hpp>

#include "geometry_doc/json/scanner.hpp"

namespace quorvel::geometry_doc {
namespace {

using Json = nlohmann::json;
using namespace std::string_literals;

// What the library made of a whole text: the events it raised before
// stopping, and where and why it stopped.
struct LibraryVerdict {
    int strings = 0;
    int numbers = 0;
    bool refused = false;
    int error_id = 0;
    std::size_t position = 0;  // bytes read when it stopped, the end of the text counting as one
};

struct Recorder {
    LibraryVerdict* verdict;
    bool null() { return true; }
    bool boolean(bool) { return true; }
    bool number_integer(Json::number_integer_t) { return ++verdict->numbers > 0; }
    bool number_unsigned(Json::number_unsigned_t) { return ++verdict->numbers > 0; }
    bool number_float(Json::number_float_t, const Json::string_t&) { return ++verdict->numbers > 0; }
    bool string(Json::string_t&) { return ++verdict->strings > 0; }
    bool binary(Json::binary_t&) { return true; }
    bool start_object(std::size_t) { return true; }
    bool key(Json::string_t&) { return true; }
    bool end_object() { return true; }
    bool start_array(std::size_t) { return true; }
    bool end_array() { return true; }
    bool parse_error(std::size_t position, const std::string&, const Json::exception& error) {
        verdict->refused = true;
        verdict->error_id = error.id;
        verdict->position = position;
        return false;
    }
};

LibraryVerdict library_reads(const std::string& text) {
    LibraryVerdict verdict;
    Recorder recorder{&verdict};
    Json::sax_parse(text, &recorder);
    return verdict;
}

// A string token alone is the whole text: the library reads it whole exactly
// when the scanner finds no fault, and otherwise stops at the same byte.
void expect_string_agrees(const std::string& token) {
    const StringScan scan = scan_string(token, 0, false);
    const LibraryVerdict library = library_reads(token);
    if (scan.fault == StringFault::None) {
        EXPECT_FALSE(library.refused) << token;
        EXPECT_EQ(library.strings, 1) << token;
        EXPECT_EQ(scan.end, token.size()) << token;
    } else {
        EXPECT_TRUE(library.refused && library.strings == 0) << token;
        EXPECT_EQ(scan.end, library.position) << token;
    }
}

struct StringCase {
    std::string token;
    StringFault fault;
    StringFault fault_with_lone_surrogates_passing;
};

TEST(JsonScanner, StringsFailWhereAndWhyTheLibraryFailsThem) {
    using F = StringFault;
    const StringCase cases[] = {
        {R"("plain \" \\ \/ \b \f \n \r \t")", F::None, F::None},
        {R"("\ud83d\ude00 \uDBFF\uDFFF \u00e9 \uFFFF")", F::None, F::None},
        {"\"\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 \xED\x9F\xBF \x7F\"", F::None, F::None},
        {"\"a\x01\"", F::ControlCharacter, F::ControlCharacter},
        {"\"a\0b\""s, F::ControlCharacter, F::ControlCharacter},
        {"\"\\\x01\"", F::InvalidEscape, F::InvalidEscape},
        {R"("\q")", F::InvalidEscape, F::InvalidEscape},
        {R"("\u12G4")", F::InvalidEscape, F::InvalidEscape},
        {R"("\ud800")", F::LoneSurrogate, F::None},
        {R"("\udc00")", F::LoneSurrogate, F::None},
        {R"("\udc00\ud800")", F::LoneSurrogate, F::None},
        {R"("\ud800x")", F::LoneSurrogate, F::None},
        {R"("\ud800\u0041")", F::LoneSurrogate, F::None},
        {R"("\ud800\ud800\udc00")", F::LoneSurrogate, F::None},
        {R"("\ud800\"")", F::LoneSurrogate, F::None},
        {R"("\ud800\x")", F::LoneSurrogate, F::InvalidEscape},
        {R"("\ud800\uZ000")", F::InvalidEscape, F::InvalidEscape},
        {"\"\xC3(\"", F::InvalidUtf8, F::InvalidUtf8},
        {"\"\xC0\x80\"", F::InvalidUtf8, F::InvalidUtf8},
        {"\"\xE0\x9F\x80\"", F::InvalidUtf8, F::InvalidUtf8},
        {"\"\xED\xA0\x80\"", F::InvalidUtf8, F::InvalidUtf8},
        {"\"\xF4\x90\x80\x80\"", F::InvalidUtf8, F::InvalidUtf8},
        {"\"\xF8\"", F::InvalidUtf8, F::InvalidUtf8},
        {R"("abc)", F::EndOfText, F::EndOfText},
        {R"("\)", F::EndOfText, F::EndOfText},
        {R"("\u12)", F::EndOfText, F::EndOfText},
        {R"("\ud800)", F::EndOfText, F::EndOfText},
        {R"("\ud800\)", F::EndOfText, F::EndOfText},
        {R"("\ud800\udc0)", F::EndOfText, F::EndOfText},
        {"\"\xF0\x9F\x98", F::EndOfText, F::EndOfText},
    };
    for (const StringCase& c : cases) {
        EXPECT_EQ(scan_string(c.token, 0, false).fault, c.fault) << c.token;
        EXPECT_EQ(scan_string(c.token, 0, true).fault, c.fault_with_lone_surrogates_passing) << c.token;
        expect_string_agrees(c.token);
    }
}

TEST(JsonScanner, RandomStringsFailWhereTheLibraryFailsThem) {
    // Pieces of escapes and UTF-8 sequences; an unescaped quote only closes.
    const std::vector<std::string> pieces = {
        "a",      "\\",     "u",      "\\u",  "d800", "DC00", "dbff", "dfff", "0041", "\\ud800", "\\udc00",
        "\\n",    "\\x",    "\\\"",   "G",    "0",    "\x01", "\x00"s, "\xC3", "\xA9", "\xED",   "\xA0",
        "\x80",   "\xF0",   "\x9F",   "\xF4", "\x90", "\xE0", "\xBF", "\xFF", "\x7F", "\xE2\x82\xAC"};
    std::mt19937 random(20240611);
    for (int i = 0; i < 20000; ++i) {
        std::string token = "\"";
        const int count = static_cast<int>(random() % 6) + 1;
        for (int k = 0; k < count; ++k) token += pieces[random() % pieces.size()];
        if (random() % 4 != 0) token += '"';
        // An escaped backslash may let a piece's quote close the string early.
        const StringScan scan = scan_string(token, 0, false);
        if (scan.fault == StringFault::None) token.resize(scan.end);
        expect_string_agrees(token);
    }
}

TEST(JsonScanner, NumbersAreReadWholeWhereTheLibraryReadsThem) {
    const struct {
        const char* token;
        bool whole;
    } cases[] = {
        {"0", true},     {"-0", true},   {"01", true},   {"12.5e+3", true}, {"1E-2", true},  {"1e999", true},
        {"-1e999", true}, {"-", false},  {"-x", false},  {"1.", false},     {"1.e5", false}, {"1e", false},
        {"1e+", false},  {"1E-x", false}, {"-.5", false}, {"0.x", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(lexer_reads_number(c.token, 0), c.whole) << c.token;
        // "[" + token: a refused token stops the library inside the token, a
        // whole one is a number (406: one beyond the double range).
        std::string text = "[";
        text += c.token;
        const LibraryVerdict library = library_reads(text);
        const bool library_whole = library.numbers == 1 || library.error_id == 406;
        EXPECT_EQ(library_whole, c.whole) << c.token;
    }
    EXPECT_EQ(library_reads("[1e999]").error_id, 406);
}

using Kind = ByteRange::Kind;

struct RangesCase {
    const char* name;
    std::string text;
    std::vector<ByteRange> ranges;
    friend void PrintTo(const RangesCase& c, std::ostream* os) { *os << c.name; }
};

// (begin, end, whether a number) of each range, so that gtest compares and prints them.
std::vector<std::tuple<std::size_t, std::size_t, bool>> spans(const std::vector<ByteRange>& ranges) {
    std::vector<std::tuple<std::size_t, std::size_t, bool>> out;
    for (const ByteRange& r : ranges) out.emplace_back(r.begin, r.end, r.kind == Kind::OverflowingNumber);
    return out;
}

std::vector<ByteRange> replaceable_ranges(const std::string& text) {
    std::vector<ByteRange> ranges;
    ReplaceableRangeScan scan(text);
    while (const std::optional<ByteRange> range = scan.next()) ranges.push_back(*range);
    return ranges;
}

class ReplaceableRanges : public ::testing::TestWithParam<RangesCase> {};

TEST_P(ReplaceableRanges, ListEveryTokenTheLibraryRefusesUpToTheFirstMalformedOne) {
    EXPECT_EQ(spans(replaceable_ranges(GetParam().text)), spans(GetParam().ranges));
}

INSTANTIATE_TEST_SUITE_P(
    JsonScanner, ReplaceableRanges,
    ::testing::Values(
        RangesCase{"none", R"({"a": [1e308, "\ud83d\ude00", true, null, false]})", {}},
        RangesCase{"in_text_order",
                   R"({"x": [1e999, "\ud800", -2E+400, {"\udc00\uD800": 1}]})",
                   {{7, 12, Kind::OverflowingNumber},
                    {17, 21, Kind::LoneSurrogateHex},
                    {24, 31, Kind::OverflowingNumber},
                    {37, 41, Kind::LoneSurrogateHex},
                    {43, 47, Kind::LoneSurrogateHex}}},
        RangesCase{"integer_beyond_the_range", "[" + std::string(400, '9') + "]", {{1, 401, Kind::OverflowingNumber}}},
        RangesCase{"after_a_leading_zero", "01e999", {{1, 6, Kind::OverflowingNumber}}},
        RangesCase{"syntax_is_no_concern", "1e999 : ] 1e999", {{0, 5, Kind::OverflowingNumber}, {10, 15, Kind::OverflowingNumber}}},
        RangesCase{"up_to_a_bad_literal", "[1e999, tru, 1e999]", {{1, 6, Kind::OverflowingNumber}}},
        RangesCase{"up_to_a_bad_number", "[1e999, 1., 1e999]", {{1, 6, Kind::OverflowingNumber}}},
        RangesCase{"up_to_a_bad_escape", R"(["\ud800\x", 1e999])", {{4, 8, Kind::LoneSurrogateHex}}},
        RangesCase{"up_to_a_stray_byte", "[1e999 x 1e999]", {{1, 6, Kind::OverflowingNumber}}},
        RangesCase{"up_to_a_nul", "[1e999 \0 1e999]"s, {{1, 6, Kind::OverflowingNumber}}},
        // The lexer of the second pass must then read on to the same fault.
        RangesCase{"inside_the_refused_string_too", R"([1e999, "\udc00)",
                   {{1, 6, Kind::OverflowingNumber}, {11, 15, Kind::LoneSurrogateHex}}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quorvel::geometry_doc
