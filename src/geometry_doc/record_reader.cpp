#include "geometry_doc/record_reader.hpp"

#include <utility>

#include "geometry_doc/json/byte_classes.hpp"
#include "geometry_doc/json/number.hpp"
#include "geometry_doc/json/scanner.hpp"
#include "geometry_doc/value_description.hpp"

namespace quorvel::geometry_doc {

constexpr std::array<std::string_view, 4> kFieldNames = {"arm_arc", "coupler_arc", "branch", "mirror"};

// ---- SAX events ----------------------------------------------------------

// cppcheck-suppress constParameter ; the signature nlohmann's SAX interface declares
bool RecordReader::string(Json::string_t& value) {
    return on_scalar({Kind::String, value_start(), cursor_.consumed(), false, value});
}

bool RecordReader::parse_error(std::size_t, const std::string&, const Json::exception& error) {
    // 406: the library's documented id for a number beyond the double range in
    // a value's place; where the record takes no number, a token like any other.
    const bool out_of_range = error.id == 406;
    const Expected expected = awaited();
    const bool value_or_key = expected == Expected::Value || expected == Expected::Key;
    const bool after_separator = value_or_key && (last_ == LastEvent::Key || last_ == LastEvent::Value);
    const std::size_t start = token_start(after_separator);
    const bool opens_string = value_or_key && start < text_.size() && text_[start] == '"';
    // Unpaired surrogate escapes pass only where the cursor replaced them.
    const StringFault string_fault =
        opens_string ? scan_string(text_, start, skipping_ && cursor_.replaces()).fault : StringFault::None;
    if (skipping_ && (out_of_range || string_fault == StringFault::LoneSurrogate)) {
        replaceable_in_skipped_value_ = true;
    }
    const RejectedToken token{start,
                              after_separator && last_ == LastEvent::Value,
                              expected == Expected::Value && last_ == LastEvent::Open,
                              cursor_.consumed(),
                              cursor_.reached_end(),
                              string_fault};
    const bool token_at_end = token.start >= text_.size();

    if (!skipping_) {
        if (state_ == State::VariantKey && expected == Expected::Key) return reject_variant_identifier(token);
        if (state_ == State::VariantEnd) {
            // Anything but "}" after the variant's null is a second entry.
            if (expected == Expected::Key) return fail({SyntaxFault::ExpectedValue, token_start(false)});
            if (token_at_end) return fail({SyntaxFault::EofInObject});
            return fail({SyntaxFault::ExpectedValue, token.start});
        }
        if (state_ == State::FieldValue && expected == Expected::Value) {
            if (field_ == Field::Branch && !token_at_end && text_[token.start] != '"') {
                // A "]" here can only follow the comma after the second element.
                if (positional_ && text_[token.start] == ']') return fail({SyntaxFault::TrailingComma, token.start});
                return fail({SyntaxFault::ExpectedValue, token.start});
            }
            if (field_ == Field::Extra) {
                if (token_at_end) return fail({SyntaxFault::EofInList});
                if (text_[token.start] == ']') return fail({SyntaxFault::TrailingComma, token.start});
                return fail({SyntaxFault::TrailingCharacters, token.start});
            }
        }
    }
    if (out_of_range) return fail({SyntaxFault::NumberOutOfRange, number_end()});
    return fail(classify_syntax_error(text_, expected, token));
}

// ---- outcome -------------------------------------------------------------

void RecordReader::finish() {
    if (state_ == State::Failed) return;
    const std::size_t rest = skip_json_whitespace(text_, mark_);
    if (state_ != State::Done) {
        fail({SyntaxFault::EofInValue});
    } else if (rest < text_.size()) {
        fail({SyntaxFault::TrailingCharacters, rest});
    } else {
        geometry_ = record_;
    }
}

// ---- values --------------------------------------------------------------

bool RecordReader::on_scalar(Value value) {
    note(value.end, LastEvent::Value);
    if (!skipping_) return accept(value);
    if (skip_stack_.empty()) end_skip();
    return true;
}

bool RecordReader::on_number(bool integer_zero) {
    // The lexer has read one byte past the number unless the text ended there.
    const std::size_t end = number_end();
    if (integer_zero && digit_follows(end)) return fail({SyntaxFault::InvalidNumber, end + 1});
    const std::size_t start = value_start();
    return on_scalar({Kind::Number, start, end, false, text_.substr(start, end - start)});
}

bool RecordReader::on_open(Kind kind) {
    const std::size_t end = cursor_.consumed();
    note(end, LastEvent::Open);
    if (!skipping_) return accept({kind, end - 1, end});
    skip_stack_.push(kind == Kind::Sequence);
    return true;
}

bool RecordReader::on_close() {
    const std::size_t end = cursor_.consumed();
    note(end, LastEvent::Value);
    if (skipping_) {
        skip_stack_.pop();
        if (skip_stack_.empty()) end_skip();
        return true;
    }
    switch (state_) {
        case State::Key:
            if (!seen_[0]) return fail({"missing field `arm_arc`", end});
            if (!seen_[1]) return fail({"missing field `coupler_arc`", end});
            state_ = State::Done;
            return true;
        case State::FieldValue:
            // Only the record's own array closes while a field is awaited.
            if (static_cast<int>(field_) < 2) {
                return fail({"invalid length " + std::to_string(static_cast<int>(field_)) +
                                 ", expected struct SphericalLinkGeometry with 4 elements",
                             end});
            }
            state_ = State::Done;
            return true;
        case State::VariantEnd:
            return field_done();
        default:
            return fail({SyntaxFault::ExpectedValue, end - 1});
    }
}

bool RecordReader::accept(const Value& value) {
    switch (state_) {
        case State::TopValue:
            if (value.kind == Kind::Map) {
                state_ = State::Key;
                return true;
            }
            if (value.kind == Kind::Sequence) {
                positional_ = true;
                field_ = Field::ArmArc;
                state_ = State::FieldValue;
                return true;
            }
            return invalid_type(value, "struct SphericalLinkGeometry");
        case State::FieldValue:
            return accept_field(value);
        case State::UnitValue:
            if (value.kind != Kind::Null) return invalid_type(value, "unit");
            state_ = State::VariantEnd;
            return true;
        default:
            return fail({SyntaxFault::ExpectedValue, value.start});
    }
}

bool RecordReader::accept_field(const Value& value) {
    switch (field_) {
        case Field::ArmArc:
        case Field::CouplerArc: {
            if (value.kind != Kind::Number) return invalid_type(value, "f64");
            const std::optional<double> number = json_number_value(value.text);
            if (!number) return fail({SyntaxFault::NumberOutOfRange, value.end});
            (field_ == Field::ArmArc ? record_.arm_arc : record_.coupler_arc) = *number;
            return field_done();
        }
        case Field::Branch:
            if (value.kind == Kind::String) return on_variant(value.text, value.end) && field_done();
            if (value.kind == Kind::Map) {
                state_ = State::VariantKey;
                return true;
            }
            return fail({SyntaxFault::ExpectedValue, value.start});
        case Field::Mirror:
            if (value.kind != Kind::Boolean) return invalid_type(value, "a boolean");
            record_.mirror = value.boolean;
            return field_done();
        case Field::Extra:
            break;
    }
    return fail({SyntaxFault::TrailingCharacters, value.start});
}

bool RecordReader::field_done() {
    if (positional_) field_ = static_cast<Field>(static_cast<int>(field_) + 1);
    state_ = positional_ ? State::FieldValue : State::Key;
    return true;
}

// ---- keys and the branch -------------------------------------------------

// cppcheck-suppress constParameter ; the signature nlohmann's SAX interface declares
bool RecordReader::key(Json::string_t& name) {
    const std::size_t end = cursor_.consumed();
    if (skipping_) {
        note(end, LastEvent::Key);
        return true;
    }
    if (state_ == State::VariantEnd) return fail({SyntaxFault::ExpectedValue, token_start(false)});
    note(end, LastEvent::Key);
    if (state_ == State::VariantKey) {
        if (!on_variant(name, end)) return false;
        state_ = State::UnitValue;
        return true;
    }
    for (std::size_t i = 0; i < kFieldNames.size(); ++i) {
        if (name != kFieldNames[i]) continue;
        // Refused before its value is read, even when the value would agree.
        if (seen_[i]) return fail({"duplicate field `" + name + "`", end});
        seen_[i] = true;
        field_ = static_cast<Field>(i);
        state_ = State::FieldValue;
        return true;
    }
    begin_skip();
    return true;
}

bool RecordReader::on_variant(std::string_view name, std::size_t end) {
    if (name == "positive") {
        record_.branch = LoopBranch::Positive;
    } else if (name == "negative") {
        record_.branch = LoopBranch::Negative;
    } else {
        return fail({"unknown variant `" + std::string(name) + "`, expected `positive` or `negative`", end});
    }
    return true;
}

// A well-formed value where the branch object's key belongs is a variant
// identifier of the wrong type; anything else is a plain syntax fault.
bool RecordReader::reject_variant_identifier(const RejectedToken& token) {
    if (token.start >= text_.size() || !whole_value_at(token.start)) {
        return fail(classify_syntax_error(text_, Expected::Value, token));
    }
    const std::size_t start = token.start;
    switch (text_[start]) {
        case '[': return invalid_type({Kind::Sequence, start, start + 1}, "variant identifier");
        case '{': return invalid_type({Kind::Map, start, start + 1}, "variant identifier");
        case 't': return invalid_type({Kind::Boolean, start, start + 4, true}, "variant identifier");
        case 'f': return invalid_type({Kind::Boolean, start, start + 5, false}, "variant identifier");
        case 'n': return invalid_type({Kind::Null, start, start + 4}, "variant identifier");
        default: break;
    }
    const std::size_t end = number_end();
    const std::string_view number = text_.substr(start, end - start);
    if ((number == "0" || number == "-0") && digit_follows(end)) return fail({SyntaxFault::InvalidNumber, end + 1});
    return invalid_type({Kind::Number, start, end, false, number}, "variant identifier");
}

// Whether the lexer read a whole value token at text[start], where no string
// stands: the start of a container, a literal or a number.
bool RecordReader::whole_value_at(std::size_t start) const {
    switch (text_[start]) {
        case '[': case '{': return true;
        case 't': return text_.substr(start, 4) == "true";
        case 'f': return text_.substr(start, 5) == "false";
        case 'n': return text_.substr(start, 4) == "null";
        default: return starts_json_number(text_[start]) && lexer_reads_number(text_, start);
    }
}

// ---- skipping ------------------------------------------------------------

void RecordReader::begin_skip() {
    skipping_ = true;
    skip_stack_.clear();
    cursor_.set_inside_skipped_value(true);
}

void RecordReader::end_skip() {
    skipping_ = false;
    cursor_.set_inside_skipped_value(false);
}

void RecordReader::ContainerStack::spill() {
    outer_.push_back(innermost_);
    innermost_ = 0;
}

void RecordReader::ContainerStack::refill() {
    innermost_ = outer_.back();
    outer_.pop_back();
}

// ---- helpers -------------------------------------------------------------

bool RecordReader::invalid_type(const Value& value, std::string_view expected) {
    std::string found;
    switch (value.kind) {
        case Kind::Null: found = "null"; break;
        case Kind::Boolean: found = value.boolean ? "boolean `true`" : "boolean `false`"; break;
        case Kind::Number: found = describe_number(value.text); break;
        case Kind::String: found = describe_string(value.text); break;
        case Kind::Sequence: found = "sequence"; break;
        case Kind::Map: found = "map"; break;
    }
    return fail({"invalid type: " + found + ", expected " + std::string(expected), value.end});
}

bool RecordReader::fail(DocumentFault fault) {
    state_ = State::Failed;
    fault_ = std::move(fault);
    return false;
}

// The container the parser is inside: the innermost skipped one, the branch
// object or the record's own.
RecordReader::Container RecordReader::innermost() const {
    if (skipping_ && !skip_stack_.empty()) return skip_stack_.top_is_sequence() ? Container::Sequence : Container::Map;
    if (state_ == State::FieldValue) return positional_ ? Container::Sequence : Container::Map;
    const bool in_map = state_ == State::Key || state_ == State::VariantKey || state_ == State::UnitValue ||
                        state_ == State::VariantEnd;
    return in_map ? Container::Map : Container::None;
}

// What the parser wanted when it stopped, from the last event and the
// container it came in. A ':' or ',' after that event is a token the parser
// has taken (the cursor never replaces one), so it then waited for what follows.
Expected RecordReader::awaited() const {
    if (state_ == State::Done) return Expected::EndOfText;
    const std::size_t next = skip_json_whitespace(text_, mark_);
    const char next_byte = next < text_.size() ? text_[next] : '\0';
    switch (last_) {
        case LastEvent::Nothing:
            return Expected::Value;
        case LastEvent::Open:
            return innermost() == Container::Map ? Expected::Key : Expected::Value;
        case LastEvent::Key:
            return next_byte == ':' ? Expected::Value : Expected::Colon;
        case LastEvent::Value:
            break;
    }
    if (innermost() == Container::Sequence) return next_byte == ',' ? Expected::Value : Expected::CommaOrArrayEnd;
    return next_byte == ',' ? Expected::Key : Expected::CommaOrObjectEnd;
}

std::size_t RecordReader::number_end() const { return cursor_.consumed() - (cursor_.reached_end() ? 0 : 1); }

bool RecordReader::digit_follows(std::size_t end) const {
    return end < cursor_.consumed() && is_json_digit(text_[end]);
}

std::size_t RecordReader::token_start(bool after_separator) const {
    std::size_t start = skip_json_whitespace(text_, mark_);
    if (after_separator) start = skip_json_whitespace(text_, start + 1);
    return start;
}

}  // namespace quorvel::geometry_doc
