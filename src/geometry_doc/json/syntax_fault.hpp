#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "geometry_doc/json/document_fault.hpp"
#include "geometry_doc/json/scanner.hpp"

namespace quorvel::geometry_doc {

// Every fault of the text itself rather than of the record: the syntax the
// parser refuses, and the parse failing outright. Their messages, and how
// each is placed, live only in the table behind syntax_fault().
enum class SyntaxFault : std::uint8_t {
    EofInValue, EofInObject, EofInList, EofInString,
    ExpectedValue, ExpectedColon, ExpectedCommaOrObjectEnd, ExpectedCommaOrListEnd, KeyMustBeString,
    TrailingComma, TrailingCharacters,
    InvalidNumber, NumberOutOfRange, ControlCharacter, InvalidEscape, InvalidCodePoint,
    OutOfMemory, Unreadable,
};

// A fault and the offset the reader found it at; syntax_fault() words it and
// places it as its row in the table says.
struct SyntaxFaultAt {
    SyntaxFault fault;
    std::size_t at = 0;
};

DocumentFault syntax_fault(std::string_view text, SyntaxFaultAt fault);

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
