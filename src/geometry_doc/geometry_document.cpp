// The geometry document reader: a record reader on top of a JSON layer.
//
// json/ faces the library. nlohmann's SAX parser and lexer read the text,
// pulled a byte at a time through the InputCursor, which counts the bytes
// handed out: the events carry no position. The project's scanner
// (json/scanner) reads single tokens again only where the library gives no
// usable answer: the token the parser refused, to tell which SyntaxFault it
// is, and in the second pass the tokens just ahead of the cursor that it may
// replace. On top, RecordReader takes the events straight into the record and
// places each fault by the cursor's count and the bytes around the last event.
//
// The text is read a second time, from the start, only when the parse stopped
// inside a skipped value at a token the library refuses wherever it stands (a
// number beyond the double range, an unpaired surrogate escape); the cursor
// then hands out such tokens in skipped values in a harmless form.
#include "geometry_doc/geometry_document.hpp"

#include <exception>
#include <new>

#include <nlohmann/json.hpp>

#include "geometry_doc/json/syntax_fault.hpp"
#include "geometry_doc/record_reader.hpp"

namespace quorvel {

namespace {

using geometry_doc::DocumentFault;
using geometry_doc::SyntaxFault;

struct ReadOutcome {
    std::optional<SphericalLinkGeometry> geometry;
    DocumentFault fault;
    bool replaceable_in_skipped_value = false;
};

ReadOutcome read_record(std::string_view text, bool replacing) {
    geometry_doc::InputCursor cursor(text, replacing);
    geometry_doc::RecordReader reader(text, cursor);
    try {
        // strict: the record must be the whole text. Faults reach the reader's
        // parse_error, which stops the parse instead of letting it throw.
        nlohmann::json::sax_parse(cursor.begin(), cursor.end(), &reader, nlohmann::json::input_format_t::json, true,
                                  false);
        reader.finish();
    } catch (const std::bad_alloc&) {
        reader.fail_at_cursor(SyntaxFault::OutOfMemory);
    } catch (const std::exception&) {
        reader.fail_at_cursor(SyntaxFault::Unreadable);
    }
    return {reader.geometry(), reader.fault(), reader.replaceable_in_skipped_value()};
}

GeometryDocumentResult failure(std::string_view text, const DocumentFault& fault) {
    return {std::nullopt, fault.with_position(text)};
}

}  // namespace

GeometryDocumentResult parse_geometry_document(std::string_view text) {
    // The library would skip a UTF-8 byte-order mark; here it starts no value.
    if (!text.empty() && static_cast<unsigned char>(text.front()) == 0xEF) {
        return failure(text, geometry_doc::syntax_fault(text, {SyntaxFault::ExpectedValue, 0}));
    }
    ReadOutcome outcome = read_record(text, false);
    // Rare enough to pay for a second pass; the scan for what the cursor
    // replaces runs just ahead of it, so the pass stays linear.
    if (outcome.replaceable_in_skipped_value) outcome = read_record(text, true);
    if (outcome.geometry) return {outcome.geometry, {}};
    return failure(text, outcome.fault);
}

}  // namespace quorvel
