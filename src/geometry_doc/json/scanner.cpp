#include "geometry_doc/json/scanner.hpp"

#include "geometry_doc/json/byte_classes.hpp"
#include "geometry_doc/json/number.hpp"

namespace quorvel::geometry_doc {

namespace {

int hex_value(char c) {
    if (is_json_digit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The code unit of the "\u" escape at text[at]; -1 if there is none.
int escape_unit(std::string_view text, std::size_t at) {
    if (at + 6 > text.size() || text[at] != '\\' || text[at + 1] != 'u') return -1;
    int unit = 0;
    for (std::size_t i = at + 2; i < at + 6; ++i) {
        const int digit = hex_value(text[i]);
        if (digit < 0) return -1;
        unit = unit * 16 + digit;
    }
    return unit;
}

bool is_high_surrogate(int unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool is_low_surrogate(int unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

struct Scanned {
    bool whole;
    std::size_t end;  // past the token, or past the byte that failed it
};

Scanned scan_number(std::string_view text, std::size_t i) {
    // The end of the text acts like any byte that cannot continue the number.
    const auto at = [text](std::size_t k) { return k < text.size() ? text[k] : '\0'; };
    if (at(i) == '-') ++i;
    if (!is_json_digit(at(i))) return {false, i + 1};
    if (at(i) == '0') {
        ++i;  // a digit after a leading zero starts the next token
    } else {
        while (is_json_digit(at(i))) ++i;
    }
    if (at(i) == '.') {
        ++i;
        if (!is_json_digit(at(i))) return {false, i + 1};
        while (is_json_digit(at(i))) ++i;
    }
    if (at(i) == 'e' || at(i) == 'E') {
        ++i;
        if (at(i) == '+' || at(i) == '-') ++i;
        if (!is_json_digit(at(i))) return {false, i + 1};
        while (is_json_digit(at(i))) ++i;
    }
    return {true, i};
}

// Lengths of the UTF-8 sequence led by `lead` and the range its second byte
// must fall in (the rest lie in 0x80-0xBF), as the lexer checks them; 0 for a
// byte that leads none.
struct Utf8Lead {
    int length;
    unsigned char second_low;
    unsigned char second_high;
};

Utf8Lead utf8_lead(unsigned char lead) {
    if (lead >= 0xC2 && lead <= 0xDF) return {2, 0x80, 0xBF};
    if (lead == 0xE0) return {3, 0xA0, 0xBF};
    if (lead == 0xED) return {3, 0x80, 0x9F};
    if (lead >= 0xE1 && lead <= 0xEF) return {3, 0x80, 0xBF};
    if (lead == 0xF0) return {4, 0x90, 0xBF};
    if (lead >= 0xF1 && lead <= 0xF3) return {4, 0x80, 0xBF};
    if (lead == 0xF4) return {4, 0x80, 0x8F};
    return {0, 0, 0};
}

// A "\u" at text[at] without four hex digits: the lexer stops at the first
// byte that is none.
StringScan broken_escape(std::string_view text, std::size_t at) {
    std::size_t k = at + 2;
    while (k < text.size() && hex_value(text[k]) >= 0) ++k;
    return {k < text.size() ? StringFault::InvalidEscape : StringFault::EndOfText, k + 1};
}

// Walks a string token from its opening quote. An unpaired surrogate escape is
// a fault unless `lone` is given, which then receives its hex digits' offset.
template <typename OnLone>
StringScan walk_string(std::string_view text, std::size_t start, OnLone* lone) {
    std::size_t i = start + 1;
    for (;;) {
        if (i >= text.size()) return {StringFault::EndOfText, i + 1};
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '"') return {StringFault::None, i + 1};
        if (c < 0x20) return {StringFault::ControlCharacter, i + 1};
        if (c < 0x80) {
            if (c != '\\') {
                ++i;
                continue;
            }
            if (i + 1 >= text.size()) return {StringFault::EndOfText, i + 2};
            switch (text[i + 1]) {
                case '"': case '\\': case '/': case 'b': case 'f': case 'n': case 'r': case 't':
                    i += 2;
                    continue;
                case 'u':
                    break;
                default:
                    return {StringFault::InvalidEscape, i + 2};
            }
            const int unit = escape_unit(text, i);
            if (unit < 0) return broken_escape(text, i);
            const std::size_t hex = i + 2;
            i += 6;
            if (!is_high_surrogate(unit) && !is_low_surrogate(unit)) continue;
            if (is_high_surrogate(unit) && is_low_surrogate(escape_unit(text, i))) {
                i += 6;
                continue;
            }
            if (lone != nullptr) {
                (*lone)(hex);
                continue;
            }
            if (is_low_surrogate(unit)) return {StringFault::LoneSurrogate, i};
            // The lexer wants "\u" and four hex digits next; it reads only as
            // far as the first byte that breaks that.
            if (i >= text.size()) return {StringFault::EndOfText, i + 1};
            if (text[i] != '\\') return {StringFault::LoneSurrogate, i + 1};
            if (i + 1 >= text.size()) return {StringFault::EndOfText, i + 2};
            if (text[i + 1] != 'u') return {StringFault::LoneSurrogate, i + 2};
            if (escape_unit(text, i) < 0) return broken_escape(text, i);
            return {StringFault::LoneSurrogate, i + 6};
        }
        const Utf8Lead lead = utf8_lead(c);
        if (lead.length == 0) return {StringFault::InvalidUtf8, i + 1};
        for (int k = 1; k < lead.length; ++k) {
            const std::size_t at = i + static_cast<std::size_t>(k);
            if (at >= text.size()) return {StringFault::EndOfText, at + 1};
            const auto byte = static_cast<unsigned char>(text[at]);
            const unsigned char low = k == 1 ? lead.second_low : 0x80;
            const unsigned char high = k == 1 ? lead.second_high : 0xBF;
            if (byte < low || byte > high) return {StringFault::InvalidUtf8, at + 1};
        }
        i += static_cast<std::size_t>(lead.length);
    }
}

struct NoLoneSurrogates {
    void operator()(std::size_t) const {}
};

}  // namespace

StringScan scan_string(std::string_view text, std::size_t start, bool lone_surrogates_pass) {
    NoLoneSurrogates ignore;
    return walk_string(text, start, lone_surrogates_pass ? &ignore : nullptr);
}

bool lexer_reads_number(std::string_view text, std::size_t start) { return scan_number(text, start).whole; }

std::vector<ByteRange> replaceable_ranges(std::string_view text) {
    std::vector<ByteRange> found;
    const auto note_lone = [&found](std::size_t hex) {
        found.push_back({hex, hex + 4, ByteRange::Kind::LoneSurrogateHex});
    };
    std::size_t i = 0;
    for (;;) {
        i = skip_json_whitespace(text, i);
        // The lexer takes a NUL byte where a token starts for the end of the input.
        if (i >= text.size() || text[i] == '\0') return found;
        switch (text[i]) {
            case '[': case ']': case '{': case '}': case ':': case ',':
                ++i;
                continue;
            case 't': case 'f': case 'n': {
                const std::string_view literal = text[i] == 't' ? "true" : text[i] == 'f' ? "false" : "null";
                if (text.substr(i, literal.size()) != literal) return found;
                i += literal.size();
                continue;
            }
            case '"': {
                const StringScan string = walk_string(text, i, &note_lone);
                if (string.fault != StringFault::None) return found;
                i = string.end;
                continue;
            }
            default:
                break;
        }
        if (!starts_json_number(text[i])) return found;
        const Scanned number = scan_number(text, i);
        if (!number.whole) return found;
        if (!json_number_value(text.substr(i, number.end - i))) {
            found.push_back({i, number.end, ByteRange::Kind::OverflowingNumber});
        }
        i = number.end;
    }
}

}  // namespace quorvel::geometry_doc
