#pragma once

#include <cstddef>
#include <string_view>

namespace quorvel::geometry_doc {

constexpr bool is_json_digit(char c) { return c >= '0' && c <= '9'; }
constexpr bool starts_json_number(char c) { return c == '-' || is_json_digit(c); }

// Only JSON's four whitespace bytes; a byte-order mark is not one of them.
constexpr bool is_json_whitespace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// The first offset at or after `offset` that is not whitespace (the text's size if none).
constexpr std::size_t skip_json_whitespace(std::string_view text, std::size_t offset) {
    while (offset < text.size() && is_json_whitespace(text[offset])) ++offset;
    return offset;
}

}  // namespace quorvel::geometry_doc
