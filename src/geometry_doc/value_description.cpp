#include "geometry_doc/value_description.hpp"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>

#include "geometry_doc/json_number.hpp"

namespace quorvel::geometry_doc {

namespace {

bool is_integer_token(std::string_view token) { return token.find_first_of(".eE") == std::string_view::npos; }

// "-0" is no integer: it stands for negative zero.
bool fits_64_bit_integer(std::string_view token) {
    if (token == "-0") return false;
    const char* first = token.data();
    const char* last = first + token.size();
    if (token.front() == '-') {
        std::int64_t value = 0;
        const auto [end, error] = std::from_chars(first, last, value);
        return error == std::errc{} && end == last;
    }
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(first, last, value);
    return error == std::errc{} && end == last;
}

// Fixed notation, never an exponent, and always a fractional part: 2 -> "2.0",
// 1e20 -> "100000000000000000000.0".
std::string float_text(double value) {
    std::array<char, 400> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::fixed);
    std::string text(buffer.data(), result.ptr);
    if (text.find_first_not_of("-0123456789") == std::string::npos) text += ".0";
    return text;
}

void append_hex(std::string& out, unsigned value) {
    constexpr char kDigits[] = "0123456789abcdef";
    if (value >= 16) append_hex(out, value / 16);
    out += kDigits[value % 16];
}

}  // namespace

std::string describe_number(std::string_view token) {
    if (is_integer_token(token) && fits_64_bit_integer(token)) return "integer `" + std::string(token) + "`";
    const auto value = json_number_value(token);
    return "floating point `" + float_text(value.value_or(token.front() == '-' ? -HUGE_VAL : HUGE_VAL)) + "`";
}

std::string describe_string(std::string_view value) {
    std::string out = "string \"";
    for (const char c : value) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            case '\0': out += "\\0"; break;
            default:
                if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
                    out += "\\u{";
                    append_hex(out, static_cast<unsigned char>(c));
                    out += '}';
                } else {
                    out += c;
                }
        }
    }
    out += '"';
    return out;
}

}  // namespace quorvel::geometry_doc
