#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "arm/spherical_link_geometry.hpp"
#include "geometry_doc/json/document_fault.hpp"
#include "geometry_doc/json/input_cursor.hpp"
#include "geometry_doc/json/syntax_fault.hpp"

namespace quorvel::geometry_doc {

// The SAX handler that reads nlohmann's events straight into one
// SphericalLinkGeometry: the keyed and the positional shape, the field
// readers, the branch as a string or a one-entry object, and unrecognised
// values skipped at any depth with a stack of their container kinds. It stops
// the parse at the first fault, placing it by the bytes the cursor has handed
// out when it fires, and tells which syntax fault it is from its own state and
// the bytes at the fault, never from the library's message.
class RecordReader {
public:
    using Json = nlohmann::json;

    RecordReader(std::string_view text, InputCursor& cursor) : text_(text), cursor_(cursor) {}

    bool null() { return on_scalar({Kind::Null, cursor_.consumed() - 4, cursor_.consumed()}); }
    bool boolean(bool value) {
        return on_scalar({Kind::Boolean, cursor_.consumed() - (value ? 4 : 5), cursor_.consumed(), value});
    }
    bool number_integer(Json::number_integer_t value) { return on_number(value == 0); }
    bool number_unsigned(Json::number_unsigned_t value) { return on_number(value == 0); }
    bool number_float(Json::number_float_t, const Json::string_t&) { return on_number(false); }
    bool string(Json::string_t& value);
    bool binary(Json::binary_t&) { return true; }
    bool start_object(std::size_t) { return on_open(Kind::Map); }
    bool key(Json::string_t& name);
    bool end_object() { return on_close(); }
    bool start_array(std::size_t) { return on_open(Kind::Sequence); }
    bool end_array() { return on_close(); }
    bool parse_error(std::size_t position, const std::string& last_token, const Json::exception& error);

    // Called once the library has returned: checks what it cannot see (it
    // reads a NUL byte as the end of the text).
    void finish();
    // For a failure outside the parse itself (such as running out of memory).
    void fail_at_cursor(SyntaxFault fault) { fail({fault, cursor_.consumed()}); }

    const std::optional<SphericalLinkGeometry>& geometry() const { return geometry_; }
    const DocumentFault& fault() const { return fault_; }
    // The parse stopped inside a skipped value at a token that the cursor
    // replaces on a second pass (a number beyond the double range or an
    // unpaired surrogate escape).
    bool replaceable_in_skipped_value() const { return replaceable_in_skipped_value_; }

private:
    enum class State : std::uint8_t { TopValue, Key, FieldValue, VariantKey, UnitValue, VariantEnd, Done, Failed };
    // Also the element index of the positional shape.
    enum class Field : std::uint8_t { ArmArc, CouplerArc, Branch, Mirror, Extra };
    enum class LastEvent : std::uint8_t { Nothing, Open, Key, Value };
    enum class Kind : std::uint8_t { Null, Boolean, Number, String, Sequence, Map };
    enum class Container : std::uint8_t { None, Map, Sequence };

    struct Value {
        Kind kind;
        std::size_t start;
        std::size_t end;
        bool boolean = false;
        std::string_view text = {};  // a string's contents or a number's token
    };

    bool on_scalar(Value value);
    bool on_number(bool integer_zero);
    bool on_open(Kind kind);
    bool on_close();
    bool accept(const Value& value);
    bool accept_field(const Value& value);
    bool field_done();
    bool on_variant(std::string_view name, std::size_t end);
    bool reject_variant_identifier(const RejectedToken& token);
    bool whole_value_at(std::size_t start) const;
    Container innermost() const;
    Expected awaited() const;

    bool invalid_type(const Value& value, std::string_view expected);
    bool fail(DocumentFault fault);
    bool fail(SyntaxFaultAt fault) { return fail(syntax_fault(text_, fault)); }

    void begin_skip();
    void end_skip();

    void note(std::size_t end, LastEvent event) {
        mark_ = end;
        last_ = event;
    }
    std::size_t number_end() const;
    // The library ends a "0" at a following digit and leaves the digit for the
    // next token; JSON forbids the leading zero itself.
    bool digit_follows(std::size_t end) const;
    std::size_t token_start(bool after_separator) const;
    std::size_t value_start() const { return token_start(last_ == LastEvent::Key || last_ == LastEvent::Value); }

    std::string_view text_;
    InputCursor& cursor_;

    State state_ = State::TopValue;
    Field field_ = Field::ArmArc;
    bool positional_ = false;
    SphericalLinkGeometry record_{};
    std::array<bool, 4> seen_{};

    // The kinds of the containers open inside the skipped value, one bit per
    // level (set: a sequence), innermost in bit 0 of the last word; the heap
    // is used only beyond 64 levels.
    class ContainerStack {
    public:
        bool empty() const { return depth_ == 0; }
        void clear() {
            depth_ = 0;
            innermost_ = 0;
            outer_.clear();
        }
        void push(bool sequence) {
            if (depth_ != 0 && depth_ % 64 == 0) spill();
            innermost_ = innermost_ << 1 | (sequence ? 1 : 0);
            ++depth_;
        }
        void pop() {
            --depth_;
            innermost_ >>= 1;
            if (depth_ != 0 && depth_ % 64 == 0) refill();
        }
        bool top_is_sequence() const { return (innermost_ & 1) != 0; }

    private:
        // Out of line, so that the common push and pop stay small enough to inline.
        void spill();
        void refill();

        std::size_t depth_ = 0;
        std::uint64_t innermost_ = 0;
        std::vector<std::uint64_t> outer_;
    };

    bool skipping_ = false;
    ContainerStack skip_stack_;

    // End of the last token that raised an event and what it was: the next
    // token starts after whitespace and, after a key or value, one separator.
    std::size_t mark_ = 0;
    LastEvent last_ = LastEvent::Nothing;

    std::optional<SphericalLinkGeometry> geometry_;
    DocumentFault fault_;
    bool replaceable_in_skipped_value_ = false;
};

}  // namespace quorvel::geometry_doc
