// libFuzzer target for parse_geometry_document.
//
// On every input:
//  - the reader never crashes, and gives the same answer twice;
//  - an accepted text gives finite arcs equal, bit for bit, to the numbers
//    written in it, and the branch and mirror written in it. The record is
//    re-derived independently: the text is parsed with nlohmann's DOM parser
//    and the shape rules are applied to the tree (an unpaired surrogate
//    escape, valid JSON syntax, is allowed only where the value is ignored);
//  - a text is accepted exactly when that independent derivation accepts it;
//  - a rejected text names a position inside the text: line <= 1 + number of
//    line feeds, column <= length of that line, and line 1 column 0 only for
//    the empty text.
// A broken invariant prints the input and aborts, so libFuzzer saves it.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "geometry_doc/geometry_document.hpp"

namespace {

using quorvel::GeometryDocumentResult;
using quorvel::LoopBranch;
using quorvel::SphericalLinkGeometry;
using Json = nlohmann::json;

[[noreturn]] void broken(std::string_view text, const GeometryDocumentResult& result, const std::string& why) {
    std::fprintf(stderr, "\ninvariant broken: %s\nerror: \"%s\"\ninput (%zu bytes): \"", why.c_str(),
                 result.error.c_str(), text.size());
    for (const unsigned char c : text) {
        if (c >= 0x20 && c < 0x7f && c != '\\' && c != '"') {
            std::fputc(c, stderr);
        } else {
            std::fprintf(stderr, "\\x%02x", c);
        }
    }
    std::fputs("\"\n", stderr);
    std::abort();
}

// ---- the independent derivation -------------------------------------------

bool digit(char c) { return c >= '0' && c <= '9'; }
bool in_number_run(char c) { return digit(c) || c == '-' || c == '+' || c == '.' || c == 'e' || c == 'E'; }

// Whether the whole run is one number of the JSON grammar:
// -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?
bool json_number_grammar(std::string_view s) {
    std::size_t i = 0;
    if (i < s.size() && s[i] == '-') ++i;
    if (i >= s.size() || !digit(s[i])) return false;
    if (s[i] == '0') {
        ++i;
    } else {
        while (i < s.size() && digit(s[i])) ++i;
    }
    if (i < s.size() && s[i] == '.') {
        ++i;
        if (i >= s.size() || !digit(s[i])) return false;
        while (i < s.size() && digit(s[i])) ++i;
    }
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        if (i >= s.size() || !digit(s[i])) return false;
        while (i < s.size() && digit(s[i])) ++i;
    }
    return i == s.size();
}

int hex_digit(char c) {
    if (digit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The code unit of a complete "\u" escape at text[i], else -1.
int escape_unit(std::string_view text, std::size_t i) {
    if (i + 6 > text.size() || text[i] != '\\' || text[i + 1] != 'u') return -1;
    int unit = 0;
    for (std::size_t k = i + 2; k < i + 6; ++k) {
        const int d = hex_digit(text[k]);
        if (d < 0) return -1;
        unit = unit * 16 + d;
    }
    return unit;
}

constexpr std::string_view kMarker = "\xEF\xBF\xBF";  // U+FFFF in UTF-8

// The text as the DOM parser is given it. Inside strings, an unpaired
// surrogate escape (which the DOM parser refuses) becomes \uFFFF, the marker of
// a string that held one, and any U+FFFF already written becomes U+FFFE, so
// the marker stands for nothing else. Every number token outside strings
// is rewritten so that the tree keeps what the record needs: an integer gets a
// ".0" (the tree would store "-0" as the integer 0 and lose its sign; strtod of
// "n.0" is the double nearest to n, like any correctly rounded reading), and a
// number beyond the double range becomes a one-string array (the DOM parser
// refuses such a number wherever it stands; an array is as wrong as an
// out-of-range number in every place a record field is read, as harmless in an
// ignored value, and, like a number, never a key). Runs that are not exactly
// one JSON number are left alone, so syntax faults stay.
std::string rewrite_text(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 16);
    bool in_string = false;
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (in_string) {
            const int unit = escape_unit(text, i);
            if (unit >= 0xD800 && unit <= 0xDBFF && escape_unit(text, i + 6) >= 0xDC00 &&
                escape_unit(text, i + 6) <= 0xDFFF) {
                out += text.substr(i, 12);
                i += 12;
                continue;
            }
            if (unit >= 0xD800 && unit <= 0xDFFF) {
                out += "\\uFFFF";
                i += 6;
                continue;
            }
            if (unit == 0xFFFF) {
                out += "\\uFFFE";
                i += 6;
                continue;
            }
            if (text.substr(i, kMarker.size()) == kMarker) {
                out += "\xEF\xBF\xBE";
                i += kMarker.size();
                continue;
            }
            out += c;
            if (c == '\\' && i + 1 < text.size()) {
                out += text[i + 1];
                i += 2;
                continue;
            }
            if (c == '"') in_string = false;
            ++i;
            continue;
        }
        if (c == '"') {
            in_string = true;
            out += c;
            ++i;
            continue;
        }
        if (!in_number_run(c)) {
            out += c;
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < text.size() && in_number_run(text[end])) ++end;
        const std::string run(text.substr(i, end - i));
        i = end;
        if (!json_number_grammar(run)) {
            out += run;
            continue;
        }
        const double value = std::strtod(run.c_str(), nullptr);
        if (!std::isfinite(value)) {
            out += "[\"beyond the double range\"]";
        } else if (run.find_first_of(".eE") == std::string::npos) {
            out += run + ".0";
        } else {
            out += run;
        }
    }
    return out;
}

struct Derivation {
    std::optional<SphericalLinkGeometry> geometry;
    std::string why_rejected;
};

Derivation rejected(std::string why) { return {std::nullopt, std::move(why)}; }

// A nested object with a repeated key is replaced by this string, so that a
// branch object {"negative": null, "negative": null} (one entry in the tree)
// is not mistaken for a one-entry object.
constexpr const char* kRepeatedKeys = "<object with a repeated key>";

bool read_branch(const Json& value, LoopBranch& branch) {
    const Json* name = &value;
    Json key;
    if (value.is_object()) {
        if (value.size() != 1 || !value.begin().value().is_null()) return false;
        key = value.begin().key();
        name = &key;
    }
    if (!name->is_string()) return false;
    const std::string& s = name->get_ref<const std::string&>();
    if (s == "positive") {
        branch = LoopBranch::Positive;
    } else if (s == "negative") {
        branch = LoopBranch::Negative;
    } else {
        return false;
    }
    return true;
}

bool read_arc(const Json& value, double& arc) {
    if (!value.is_number()) return false;
    // Every number was rewritten into a decimal, so no integer may reach here.
    if (!value.is_number_float()) {
        std::fputs("derivation: an integer survived the rewrite\n", stderr);
        std::abort();
    }
    arc = value.get<double>();
    return true;
}

Derivation derive(std::string_view text) {
    // A NUL byte is never part of a JSON text, while the library's lexer
    // reads one as the end of the input.
    if (text.find('\0') != std::string_view::npos) return rejected("NUL byte");
    // The library skips a UTF-8 byte-order mark; a geometry document may not start with one.
    if (!text.empty() && static_cast<unsigned char>(text.front()) == 0xEF) return rejected("byte-order mark");

    const std::string rewritten = rewrite_text(text);
    std::vector<std::size_t> key_counts;
    std::vector<std::string> top_keys;
    bool top_is_object = false;
    const Json::parser_callback_t track = [&](int, Json::parse_event_t event, Json& parsed) {
        switch (event) {
            case Json::parse_event_t::object_start:
                if (key_counts.empty()) top_is_object = true;
                key_counts.push_back(0);
                break;
            case Json::parse_event_t::array_start:
                key_counts.push_back(0);
                break;
            case Json::parse_event_t::key:
                ++key_counts.back();
                if (key_counts.size() == 1 && top_is_object) top_keys.push_back(parsed.get<std::string>());
                break;
            case Json::parse_event_t::object_end: {
                const std::size_t keys = key_counts.back();
                key_counts.pop_back();
                if (!key_counts.empty() && keys != parsed.size()) parsed = kRepeatedKeys;
                break;
            }
            case Json::parse_event_t::array_end:
                key_counts.pop_back();
                break;
            case Json::parse_event_t::value:
                break;
        }
        return true;
    };
    const Json tree = Json::parse(rewritten, track, /*allow_exceptions=*/false);
    if (tree.is_discarded()) return rejected("not JSON");

    SphericalLinkGeometry g{};
    if (tree.is_object()) {
        // The record reads its own keys, so an unpaired surrogate there is refused.
        for (const std::string& k : top_keys) {
            if (k.find(kMarker) != std::string::npos) return rejected("unpaired surrogate in a record key");
        }
        for (const char* field : {"arm_arc", "coupler_arc", "branch", "mirror"}) {
            std::size_t n = 0;
            for (const std::string& k : top_keys) n += k == field ? 1 : 0;
            if (n > 1) return rejected("repeated field");
        }
        if (!tree.contains("arm_arc") || !tree.contains("coupler_arc")) return rejected("missing arc");
        if (!read_arc(tree["arm_arc"], g.arm_arc) || !read_arc(tree["coupler_arc"], g.coupler_arc)) {
            return rejected("arc not a number");
        }
        if (tree.contains("branch") && !read_branch(tree["branch"], g.branch)) return rejected("bad branch");
        if (tree.contains("mirror")) {
            if (!tree["mirror"].is_boolean()) return rejected("mirror not a boolean");
            g.mirror = tree["mirror"].get<bool>();
        }
        return {g, {}};
    }
    if (tree.is_array()) {
        if (tree.size() < 2 || tree.size() > 4) return rejected("length");
        if (!read_arc(tree[0], g.arm_arc) || !read_arc(tree[1], g.coupler_arc)) return rejected("arc not a number");
        if (tree.size() > 2 && !read_branch(tree[2], g.branch)) return rejected("bad branch");
        if (tree.size() > 3) {
            if (!tree[3].is_boolean()) return rejected("mirror not a boolean");
            g.mirror = tree[3].get<bool>();
        }
        return {g, {}};
    }
    return rejected("neither an object nor an array");
}

// ---- the checks -----------------------------------------------------------

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

bool read_count(std::string_view s, std::size_t& i, std::uint64_t& out) {
    const std::size_t first = i;
    out = 0;
    while (i < s.size() && digit(s[i]) && i - first < 19) out = out * 10 + static_cast<std::uint64_t>(s[i++] - '0');
    return i > first && (i == s.size() || !digit(s[i]));
}

void check_position(std::string_view text, const GeometryDocumentResult& result) {
    const std::string_view error = result.error;
    constexpr std::string_view kAt = " at line ";
    const std::size_t at = error.rfind(kAt);
    if (at == std::string_view::npos || at == 0) broken(text, result, "no message and position");
    std::size_t i = at + kAt.size();
    std::uint64_t line = 0;
    std::uint64_t column = 0;
    constexpr std::string_view kColumn = " column ";
    if (!read_count(error, i, line) || error.substr(i, kColumn.size()) != kColumn) {
        broken(text, result, "unreadable line");
    }
    i += kColumn.size();
    if (!read_count(error, i, column) || i != error.size()) broken(text, result, "unreadable column");

    std::uint64_t feeds = 0;
    for (const char c : text) feeds += c == '\n' ? 1 : 0;
    if (line < 1 || line > feeds + 1) broken(text, result, "line outside the text");
    std::size_t line_start = 0;
    for (std::uint64_t l = 1; l < line; ++l) line_start = text.find('\n', line_start) + 1;
    std::size_t line_end = text.find('\n', line_start);
    if (line_end == std::string_view::npos) line_end = text.size();
    if (column > line_end - line_start) broken(text, result, "column beyond the end of its line");
    if (line == 1 && column == 0 && !text.empty()) broken(text, result, "line 1 column 0 for a non-empty text");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The view covers exactly the fuzzer's buffer, so a read past it is caught.
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const GeometryDocumentResult result = quorvel::parse_geometry_document(text);

    const GeometryDocumentResult again = quorvel::parse_geometry_document(text);
    if (again.error != result.error || again.geometry.has_value() != result.geometry.has_value()) {
        broken(text, result, "a second reading differs");
    }

    const Derivation expected = derive(text);
    if (result.geometry) {
        const SphericalLinkGeometry& g = *result.geometry;
        if (!result.error.empty()) broken(text, result, "accepted with an error");
        if (!std::isfinite(g.arm_arc) || !std::isfinite(g.coupler_arc)) broken(text, result, "arc not finite");
        if (!expected.geometry) broken(text, result, "accepted, but the derivation rejects: " + expected.why_rejected);
        const SphericalLinkGeometry& e = *expected.geometry;
        if (!same_bits(g.arm_arc, e.arm_arc) || !same_bits(g.coupler_arc, e.coupler_arc)) {
            char numbers[160];
            std::snprintf(numbers, sizeof numbers, "arcs %a %a, written %a %a", g.arm_arc, g.coupler_arc, e.arm_arc,
                          e.coupler_arc);
            broken(text, result, numbers);
        }
        if (g.branch != e.branch || g.mirror != e.mirror) broken(text, result, "branch or mirror differs");
    } else {
        if (result.error.empty()) broken(text, result, "rejected without an error");
        check_position(text, result);
        if (expected.geometry) broken(text, result, "rejected, but the derivation accepts");
    }
    return 0;
}
