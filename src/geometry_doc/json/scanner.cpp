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

// What an unpaired surrogate escape does to a walk through a string.
enum class Lone : std::uint8_t {
    Refuse,  // a fault, placed where the lexer finds it
    Pass,    // taken as well formed
    Stop,    // returned as LoneSurrogate, ending just past its hex digits
};

// Walks a string token from text[i], just past its opening quote or a point
// where an earlier walk stopped.
StringScan walk_string(std::string_view text, std::size_t i, Lone lone) {
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
            i += 6;
            if (!is_high_surrogate(unit) && !is_low_surrogate(unit)) continue;
            if (is_high_surrogate(unit) && is_low_surrogate(escape_unit(text, i))) {
                i += 6;
                continue;
            }
            if (lone == Lone::Pass) continue;
            if (lone == Lone::Stop || is_low_surrogate(unit)) return {StringFault::LoneSurrogate, i};
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

}  // namespace

StringScan scan_string(std::string_view text, std::size_t start, bool lone_surrogates_pass) {
    return walk_string(text, start + 1, lone_surrogates_pass ? Lone::Pass : Lone::Refuse);
}

bool lexer_reads_number(std::string_view text, std::size_t start) { return scan_number(text, start).whole; }

std::optional<ByteRange> ReplaceableRangeScan::next() {
    // Past the first token the lexer refuses, nothing is read any more.
    const auto refused = [this] {
        at_ = text_.size();
        return std::nullopt;
    };
    while (at_ < text_.size()) {
        if (in_string_) {
            const StringScan rest = walk_string(text_, at_, Lone::Stop);
            if (rest.fault == StringFault::LoneSurrogate) {
                at_ = rest.end;
                return ByteRange{at_ - 4, at_, ByteRange::Kind::LoneSurrogateHex};
            }
            if (rest.fault != StringFault::None) return refused();
            at_ = rest.end;
            in_string_ = false;
            continue;
        }
        const std::size_t i = skip_json_whitespace(text_, at_);
        // The lexer takes a NUL byte where a token starts for the end of the input.
        if (i >= text_.size() || text_[i] == '\0') return refused();
        switch (text_[i]) {
            case '[': case ']': case '{': case '}': case ':': case ',':
                at_ = i + 1;
                continue;
            case 't': case 'f': case 'n': {
                const std::string_view literal = text_[i] == 't' ? "true" : text_[i] == 'f' ? "false" : "null";
                if (text_.substr(i, literal.size()) != literal) return refused();
                at_ = i + literal.size();
                continue;
            }
            case '"':
                in_string_ = true;
                at_ = i + 1;
                continue;
            default:
                break;
        }
        const Scanned number = starts_json_number(text_[i]) ? scan_number(text_, i) : Scanned{false, 0};
        if (!number.whole) return refused();
        at_ = number.end;
        if (!json_number_value(text_.substr(i, at_ - i))) return ByteRange{i, at_, ByteRange::Kind::OverflowingNumber};
    }
    return std::nullopt;
}

}  // namespace quorvel::geometry_doc
