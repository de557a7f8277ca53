#include "geometry_doc/json/number.hpp"

#include <charconv>
#include <cstdint>
#include <system_error>

namespace quorvel::geometry_doc {

namespace {

// from_chars reports underflow and overflow alike; the decimal exponent of the
// leading significant digit tells them apart (both limits are far from 10^0).
bool below_double_range(std::string_view token) {
    std::size_t i = token.front() == '-' ? 1 : 0;
    std::int64_t integer_digits = 0;
    std::int64_t digit_index = 0;
    std::int64_t leading = -1;
    bool after_point = false;
    for (; i < token.size() && token[i] != 'e' && token[i] != 'E'; ++i) {
        if (token[i] == '.') {
            after_point = true;
            continue;
        }
        if (leading < 0 && token[i] != '0') leading = digit_index;
        if (!after_point) ++integer_digits;
        ++digit_index;
    }
    if (leading < 0) return true;
    std::int64_t exponent = 0;
    bool negative_exponent = false;
    if (i < token.size()) {
        ++i;
        if (i < token.size() && (token[i] == '+' || token[i] == '-')) negative_exponent = token[i++] == '-';
        constexpr std::int64_t kSaturated = std::int64_t{1} << 40;
        for (; i < token.size() && exponent < kSaturated; ++i) exponent = exponent * 10 + (token[i] - '0');
    }
    const std::int64_t order = integer_digits - 1 - leading + (negative_exponent ? -exponent : exponent);
    return order < 0;
}

}  // namespace

std::optional<double> json_number_value(std::string_view token) {
    double value = 0.0;
    const auto [end, error] = std::from_chars(token.data(), token.data() + token.size(), value);
    if (error == std::errc::result_out_of_range) {
        if (!below_double_range(token)) return std::nullopt;
        return token.front() == '-' ? -0.0 : 0.0;
    }
    return value;
}

}  // namespace quorvel::geometry_doc
