#include "geometry_doc/json/syntax_error.hpp"

namespace quorvel::geometry_doc {

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

DocumentFault string_fault(std::string_view text, const RejectedToken& token) {
    if (token.reached_end) return {"EOF while parsing a string", text.size()};
    switch (token.string_fault) {
        case StringFault::ControlCharacter:
            return {"control character (\\u0000-\\u001F) found while parsing a string", token.examined_end};
        case StringFault::LoneSurrogate:
        case StringFault::InvalidUtf8:
            return {"invalid unicode code point", token.examined_end};
        default:
            return {"invalid escape", token.examined_end};
    }
}

// A token where a value belongs that is none: a malformed string, number or
// literal, or a byte that starts no value at all.
DocumentFault not_a_value(std::string_view text, const RejectedToken& token) {
    const char first = text[token.start];
    if (first == '"') return string_fault(text, token);
    const bool number = first == '-' || is_digit(first);
    const bool literal = first == 't' || first == 'f' || first == 'n';
    if (number || literal) {
        if (token.reached_end) return {"EOF while parsing a value", text.size()};
        return {number ? "invalid number" : "expected value", token.examined_end};
    }
    return {"expected value", token.start + 1};
}

}  // namespace

DocumentFault classify_syntax_error(std::string_view text, Expected expected, const RejectedToken& token) {
    const bool at_end = token.start >= text.size();
    const std::size_t at_token = token.start + 1;
    switch (expected) {
        case Expected::Colon:
            if (at_end) return {"EOF while parsing an object", text.size()};
            return {"expected `:`", at_token};
        case Expected::CommaOrObjectEnd:
            if (at_end) return {"EOF while parsing an object", text.size()};
            return {"expected `,` or `}`", at_token};
        case Expected::CommaOrArrayEnd:
            if (at_end) return {"EOF while parsing a list", text.size()};
            return {"expected `,` or `]`", at_token};
        case Expected::EndOfText:
            return {"trailing characters", at_token};
        case Expected::Key:
            if (at_end) return {"EOF while parsing an object", text.size()};
            if (token.after_comma && text[token.start] == '}') return {"trailing comma", at_token};
            if (text[token.start] == '"') return string_fault(text, token);
            return {"key must be a string", at_token};
        case Expected::Value:
            break;
    }
    if (at_end) return {token.after_open_bracket ? "EOF while parsing a list" : "EOF while parsing a value", text.size()};
    if (token.after_comma && text[token.start] == ']') return {"trailing comma", at_token};
    return not_a_value(text, token);
}

}  // namespace quorvel::geometry_doc
