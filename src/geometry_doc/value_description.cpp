#include "geometry_doc/value_description.hpp"

#include <array>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "geometry_doc/json/number.hpp"

namespace quorvel::geometry_doc {

namespace {

bool is_integer_token(std::string_view token) { return token.find_first_of(".eE") == std::string_view::npos; }

template <typename Integer>
bool reads_whole(std::string_view token) {
    Integer value = 0;
    const auto [end, error] = std::from_chars(token.data(), token.data() + token.size(), value);
    return error == std::errc{} && end == token.data() + token.size();
}

// "-0" is no integer: it stands for negative zero.
bool fits_64_bit_integer(std::string_view token) {
    if (token == "-0") return false;
    return token.front() == '-' ? reads_whole<std::int64_t>(token) : reads_whole<std::uint64_t>(token);
}

// Fixed notation, never an exponent, always a fractional part, and only the
// shortest digits that read back to the same double: 2 -> "2.0", 1e23 ->
// "100000000000000000000000.0", 5e-324 -> "0." + 323 zeros + "5". Fixed
// to_chars would print a large value's exact binary digits instead.
std::string float_text(double value) {
    std::array<char, 32> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::scientific);
    const std::string_view shortest(buffer.data(), static_cast<std::size_t>(result.ptr - buffer.data()));
    const std::size_t e = shortest.find('e');
    if (e == std::string_view::npos) return std::string(shortest);  // inf, -inf
    const bool negative = shortest.front() == '-';
    std::string digits;
    for (const char c : shortest.substr(0, e)) {
        if (c >= '0' && c <= '9') digits += c;
    }
    std::string_view exponent_text = shortest.substr(e + 1);
    if (exponent_text.front() == '+') exponent_text.remove_prefix(1);
    int exponent = 0;
    std::from_chars(exponent_text.data(), exponent_text.data() + exponent_text.size(), exponent);

    std::string text = negative ? "-" : "";
    if (exponent < 0) {
        text += "0.";
        text.append(static_cast<std::size_t>(-exponent - 1), '0');
        text += digits;
        return text;
    }
    const auto integer_digits = static_cast<std::size_t>(exponent) + 1;
    if (digits.size() <= integer_digits) {
        text += digits;
        text.append(integer_digits - digits.size(), '0');
        text += ".0";
    } else {
        text.append(digits, 0, integer_digits);
        text += '.';
        text.append(digits, integer_digits);
    }
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
