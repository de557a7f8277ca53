#include "geometry_doc/json/syntax_fault.hpp"

#include <string>

#include "geometry_doc/json/byte_classes.hpp"

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

// The wording users already see; keep it as it is.
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

SyntaxFaultAt string_fault(const RejectedToken& token) {
    if (token.reached_end) return {SyntaxFault::EofInString};
    switch (token.string_fault) {
        case StringFault::ControlCharacter: return {SyntaxFault::ControlCharacter, token.examined_end};
        case StringFault::LoneSurrogate:
        case StringFault::InvalidUtf8: return {SyntaxFault::InvalidCodePoint, token.examined_end};
        default: return {SyntaxFault::InvalidEscape, token.examined_end};
    }
}

// A token where a value belongs that is none: a malformed string, number or
// literal, or a byte that starts no value at all.
SyntaxFaultAt not_a_value(std::string_view text, const RejectedToken& token) {
    const char first = text[token.start];
    if (first == '"') return string_fault(token);
    const bool number = starts_json_number(first);
    const bool literal = first == 't' || first == 'f' || first == 'n';
    if ((number || literal) && token.reached_end) return {SyntaxFault::EofInValue};
    if (number) return {SyntaxFault::InvalidNumber, token.examined_end};
    // A literal shows its fault at the byte that broke it, the last one read.
    if (literal) return {SyntaxFault::ExpectedValue, token.examined_end - 1};
    return {SyntaxFault::ExpectedValue, token.start};
}

}  // namespace

DocumentFault syntax_fault(std::string_view text, SyntaxFaultAt fault) {
    const Row r = row(fault.fault);
    if (r.where == Where::EndOfText) return {std::string(r.message), text.size()};
    return {std::string(r.message), r.where == Where::AtByte ? fault.at + 1 : fault.at};
}

SyntaxFaultAt classify_syntax_error(std::string_view text, Expected expected, const RejectedToken& token) {
    const bool at_end = token.start >= text.size();
    const auto at_token = [&token](SyntaxFault fault) { return SyntaxFaultAt{fault, token.start}; };
    switch (expected) {
        case Expected::Colon:
            return at_end ? SyntaxFaultAt{SyntaxFault::EofInObject} : at_token(SyntaxFault::ExpectedColon);
        case Expected::CommaOrObjectEnd:
            return at_end ? SyntaxFaultAt{SyntaxFault::EofInObject} : at_token(SyntaxFault::ExpectedCommaOrObjectEnd);
        case Expected::CommaOrArrayEnd:
            return at_end ? SyntaxFaultAt{SyntaxFault::EofInList} : at_token(SyntaxFault::ExpectedCommaOrListEnd);
        case Expected::EndOfText:
            return at_token(SyntaxFault::TrailingCharacters);
        case Expected::Key:
            if (at_end) return {SyntaxFault::EofInObject};
            if (token.after_comma && text[token.start] == '}') return at_token(SyntaxFault::TrailingComma);
            if (text[token.start] == '"') return string_fault(token);
            return at_token(SyntaxFault::KeyMustBeString);
        case Expected::Value:
            break;
    }
    if (at_end) return {token.after_open_bracket ? SyntaxFault::EofInList : SyntaxFault::EofInValue};
    if (token.after_comma && text[token.start] == ']') return at_token(SyntaxFault::TrailingComma);
    return not_a_value(text, token);
}

}  // namespace quorvel::geometry_doc
