#include "geometry_doc/syntax_error.hpp"

namespace quorvel::geometry_doc {

namespace {

bool contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

bool is_digit(char c) { return c >= '0' && c <= '9'; }

DocumentFault string_fault(std::string_view text, const RejectedToken& token) {
    if (token.reached_end) return {"EOF while parsing a string", text.size()};
    const std::string_view why = token.library_message;
    if (contains(why, "control character")) {
        return {"control character (\\u0000-\\u001F) found while parsing a string", token.examined_end};
    }
    if (contains(why, "surrogate") || contains(why, "UTF-8")) return {"invalid unicode code point", token.examined_end};
    return {"invalid escape", token.examined_end};
}

// A token where a value belongs that is none: a malformed string, number or
// literal, or a byte that starts no value at all.
DocumentFault not_a_value(std::string_view text, const RejectedToken& token) {
    const char first = text[token.start];
    if (first == '"') return string_fault(text, token);
    const bool number = first == '-' || is_digit(first);
    const bool literal = first == 't' || first == 'f' || first == 'n';
    if (token.lexer_error && (number || literal)) {
        if (token.reached_end) return {"EOF while parsing a value", text.size()};
        return {number ? "invalid number" : "expected value", token.examined_end};
    }
    return {"expected value", token.start + 1};
}

}  // namespace

Expected expected_by_library(std::string_view library_message) {
    constexpr std::string_view kLead = "while parsing ";
    const std::size_t lead = library_message.find(kLead);
    if (lead == std::string_view::npos) return Expected::Value;
    std::string_view context = library_message.substr(lead + kLead.size());
    context = context.substr(0, context.find(" - "));
    if (context == "object key") return Expected::Key;
    if (context == "object separator") return Expected::Colon;
    if (context == "array") return Expected::CommaOrArrayEnd;
    if (context == "object") return Expected::CommaOrObjectEnd;
    if (contains(library_message, "; expected end of input")) return Expected::EndOfText;
    return Expected::Value;
}

bool lexer_rejected(std::string_view library_message) { return contains(library_message, "; last read: '"); }

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
