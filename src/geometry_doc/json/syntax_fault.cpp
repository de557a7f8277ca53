#include "geometry_doc/json/syntax_fault.hpp"

#include <string>

namespace quorvel::geometry_doc {

namespace {

// How a fault's `at` places it.
enum class Where : std::uint8_t {
    EndOfText,  // the whole text was read; `at` is not used
    AtByte,     // text[at] gives the fault away and is the last byte examined
    ReadUpTo,   // the text was read up to `at`, exclusive
};

struct Row {
    std::string_view message;
    Where where;
};

// The messages are the wording users already see; keep them as they are.
Row row(SyntaxFault fault) {
    switch (fault) {
        case SyntaxFault::EofInValue: return {"EOF while parsing a value", Where::EndOfText};
        case SyntaxFault::EofInObject: return {"EOF while parsing an object", Where::EndOfText};
        case SyntaxFault::EofInList: return {"EOF while parsing a list", Where::EndOfText};
        case SyntaxFault::EofInString: return {"EOF while parsing a string", Where::EndOfText};
        case SyntaxFault::ExpectedValue: return {"expected value", Where::AtByte};
        case SyntaxFault::ExpectedColon: return {"expected `:`", Where::AtByte};
        case SyntaxFault::ExpectedCommaOrObjectEnd: return {"expected `,` or `}`", Where::AtByte};
        case SyntaxFault::ExpectedCommaOrListEnd: return {"expected `,` or `]`", Where::AtByte};
        case SyntaxFault::KeyMustBeString: return {"key must be a string", Where::AtByte};
        case SyntaxFault::TrailingComma: return {"trailing comma", Where::AtByte};
        case SyntaxFault::TrailingCharacters: return {"trailing characters", Where::AtByte};
        case SyntaxFault::InvalidNumber: return {"invalid number", Where::ReadUpTo};
        case SyntaxFault::NumberOutOfRange: return {"number out of range", Where::ReadUpTo};
        case SyntaxFault::ControlCharacter:
            return {"control character (\\u0000-\\u001F) found while parsing a string", Where::ReadUpTo};
        case SyntaxFault::InvalidEscape: return {"invalid escape", Where::ReadUpTo};
        case SyntaxFault::InvalidCodePoint: return {"invalid unicode code point", Where::ReadUpTo};
        case SyntaxFault::OutOfMemory: return {"out of memory", Where::ReadUpTo};
        case SyntaxFault::Unreadable: break;
    }
    return {"unreadable document", Where::ReadUpTo};
}

}  // namespace

DocumentFault syntax_fault(std::string_view text, SyntaxFaultAt fault) {
    const Row r = row(fault.fault);
    const std::string message(r.message);
    switch (r.where) {
        case Where::EndOfText: return {message, text.size()};
        case Where::AtByte: return {message, fault.at + 1};
        case Where::ReadUpTo: break;
    }
    return {message, fault.at};
}

}  // namespace quorvel::geometry_doc
