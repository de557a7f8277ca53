#pragma once

#include <cstddef>
#include <string_view>

#include "geometry_doc/document_fault.hpp"

namespace quorvel::geometry_doc {

// What the parser was waiting for when it stopped.
enum class Expected { Value, Key, Colon, CommaOrArrayEnd, CommaOrObjectEnd, EndOfText };

// nlohmann names the waiting point in its parse_error text ("while parsing
// object key - ..."); that is the only place the container kind of a skipped
// value is known, since skipping keeps a depth counter and no stack.
Expected expected_by_library(std::string_view library_message);

// Whether the lexer itself rejected the token (the library then quotes what it read).
bool lexer_rejected(std::string_view library_message);

// The token at which the parser stopped.
struct RejectedToken {
    std::size_t start;          // its first byte (the text's size at the end of the text)
    bool after_comma;           // a "," was consumed just before it
    bool after_open_bracket;    // it directly follows a "["
    std::size_t examined_end;   // bytes the lexer has read
    bool reached_end;           // the lexer ran out of text
    bool lexer_error;
    std::string_view library_message;
};

// One short, stable message per syntax fault, in place of the library's sentence.
// A token the lexer could not read is placed at the byte that failed it; a
// well-formed token in the wrong place at its first byte.
DocumentFault classify_syntax_error(std::string_view text, Expected expected, const RejectedToken& token);

}  // namespace quorvel::geometry_doc
