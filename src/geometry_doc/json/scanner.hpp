#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "geometry_doc/json/input_cursor.hpp"

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
// With `lone_surrogates_pass`, an unpaired surrogate escape counts as well
// formed, as it does where the cursor hands out a replacement for it.
StringScan scan_string(std::string_view text, std::size_t start, bool lone_surrogates_pass);

// Whether the lexer reads a whole number token from text[start] ('-' or a
// digit): "-", "1.", "1e" and "1e+" followed by anything but a digit are refused.
bool lexer_reads_number(std::string_view text, std::size_t start);

// The ranges the cursor may replace, in text order, among the tokens the lexer
// reads from the start of the text up to the first one it refuses (taking
// unpaired surrogate escapes as well formed): every number beyond the double
// range and the four hex digits of every unpaired surrogate escape.
std::vector<ByteRange> replaceable_ranges(std::string_view text);

}  // namespace quorvel::geometry_doc
