#pragma once

#include <cstddef>
#include <string_view>

#include "geometry_doc/json/scanner.hpp"
#include "geometry_doc/json/syntax_fault.hpp"

namespace quorvel::geometry_doc {

// What the parser was waiting for when it stopped.
enum class Expected { Value, Key, Colon, CommaOrArrayEnd, CommaOrObjectEnd, EndOfText };

// The token at which the parser stopped.
struct RejectedToken {
    std::size_t start;          // its first byte (the text's size at the end of the text)
    bool after_comma;           // a "," was consumed just before it
    bool after_open_bracket;    // it directly follows a "["
    std::size_t examined_end;   // bytes the lexer has read
    bool reached_end;           // the lexer ran out of text
    StringFault string_fault;   // why the lexer refused it, when it opens a string
};

// The syntax fault the parser stopped at. Where a value or a key is awaited,
// a token that would have been one can only have been refused by the lexer:
// it is placed at the byte that failed it; a well-formed token in the wrong
// place at its first byte.
SyntaxFaultAt classify_syntax_error(std::string_view text, Expected expected, const RejectedToken& token);

}  // namespace quorvel::geometry_doc
