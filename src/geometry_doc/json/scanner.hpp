#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

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

// Half-open byte range [begin, end) of the text, and what stands there.
struct ByteRange {
    enum class Kind : std::uint8_t { OverflowingNumber, LoneSurrogateHex };
    std::size_t begin;
    std::size_t end;
    Kind kind = Kind::OverflowingNumber;
};

// The ranges the cursor may replace, found one at a time in text order, among
// the tokens the lexer reads from the start of the text up to the first one it
// refuses (taking unpaired surrogate escapes as well formed): every number
// beyond the double range and the four hex digits of every unpaired surrogate
// escape. Each call reads only as far as the range it returns.
class ReplaceableRangeScan {
public:
    explicit ReplaceableRangeScan(std::string_view text) : text_(text) {}

    // The next range; empty once there is none.
    std::optional<ByteRange> next();

private:
    std::string_view text_;
    std::size_t at_ = 0;      // where reading resumes
    bool in_string_ = false;  // at_ is inside a string, past its quote or an unpaired surrogate escape
};

}  // namespace quorvel::geometry_doc
