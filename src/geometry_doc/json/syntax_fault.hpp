#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "geometry_doc/json/document_fault.hpp"

namespace quorvel::geometry_doc {

// Every fault of the text itself rather than of the record: the syntax the
// parser refuses, and the parse failing outright. Their messages live only in
// the table behind syntax_fault().
enum class SyntaxFault : std::uint8_t {
    EofInValue,
    EofInObject,
    EofInList,
    EofInString,
    ExpectedValue,
    ExpectedColon,
    ExpectedCommaOrObjectEnd,
    ExpectedCommaOrListEnd,
    KeyMustBeString,
    TrailingComma,
    TrailingCharacters,
    InvalidNumber,
    NumberOutOfRange,
    ControlCharacter,
    InvalidEscape,
    InvalidCodePoint,
    OutOfMemory,
    Unreadable,
};

// A fault and the offset the reader found it at; the fault's row says how
// the offset places it (see syntax_fault.cpp).
struct SyntaxFaultAt {
    SyntaxFault fault;
    std::size_t at = 0;
};

// The fault's message and how far into the text its last examined byte lies.
DocumentFault syntax_fault(std::string_view text, SyntaxFaultAt fault);

}  // namespace quorvel::geometry_doc
