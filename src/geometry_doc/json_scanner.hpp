#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "geometry_doc/input_cursor.hpp"

namespace quorvel::geometry_doc {

// The reader's own copy of the token rules of nlohmann's lexer, so that it
// can tell why a token was refused, and find the tokens it replaces, without
// the library's private lexer or its English messages.

// Why the lexer refuses a string token; None when it reads it whole.
enum class StringFault : std::uint8_t { None, EndOfText, ControlCharacter, InvalidEscape, LoneSurrogate, InvalidUtf8 };

struct StringScan {
    StringFault fault;
    // Past the closing quote, or past the byte that failed the token (the end
    // of the text counting as one byte), as the lexer counts what it read.
    std::size_t end;
};

// The first fault of the string token whose opening quote is text[start].
StringScan scan_string(std::string_view text, std::size_t start);

// Whether the lexer reads a whole number token from text[start] ('-' or a
// digit): "-", "1.", "1e" and "1e+" followed by anything but a digit are refused.
bool lexer_reads_number(std::string_view text, std::size_t start);

// The ranges the cursor may replace, in text order, among the tokens the lexer
// reads from the start of the text up to the first one it refuses: every
// number beyond the double range.
std::vector<ByteRange> replaceable_ranges(std::string_view text);

}  // namespace quorvel::geometry_doc
