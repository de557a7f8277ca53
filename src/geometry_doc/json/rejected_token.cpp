#include "geometry_doc/json/rejected_token.hpp"

#include "geometry_doc/json/byte_classes.hpp"

namespace quorvel::geometry_doc {

namespace {

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
