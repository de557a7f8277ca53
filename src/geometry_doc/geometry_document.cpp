#include "geometry_doc/geometry_document.hpp"

#include <exception>
#include <new>
#include <span>
#include <vector>

#include <nlohmann/json.hpp>

#include "geometry_doc/json/scanner.hpp"
#include "geometry_doc/json/syntax_fault.hpp"
#include "geometry_doc/json/text_position.hpp"
#include "geometry_doc/record_reader.hpp"

namespace quorvel {

namespace {

using geometry_doc::ByteRange;
using geometry_doc::DocumentFault;
using geometry_doc::SyntaxFault;

struct ReadOutcome {
    std::optional<SphericalLinkGeometry> geometry;
    DocumentFault fault;
    bool replaceable_in_skipped_value = false;
};

ReadOutcome read_record(std::string_view text, std::span<const ByteRange> replaceable) {
    geometry_doc::InputCursor cursor(text, replaceable);
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
    return {std::nullopt, fault.message + geometry_doc::position_suffix(text, fault.end)};
}

// A fault found before the parse has read anything: placed at the first byte.
GeometryDocumentResult failure(std::string_view text, SyntaxFault fault) {
    return failure(text, geometry_doc::syntax_fault(text, {fault, 0}));
}

}  // namespace

GeometryDocumentResult parse_geometry_document(std::string_view text) {
    // The library would skip a UTF-8 byte-order mark; here it starts no value.
    if (!text.empty() && static_cast<unsigned char>(text.front()) == 0xEF) {
        return failure(text, SyntaxFault::ExpectedValue);
    }

    ReadOutcome outcome = read_record(text, {});
    if (outcome.replaceable_in_skipped_value) {
        // Rare enough to pay for a second pass; one pre-scan keeps it linear.
        std::vector<ByteRange> replaceable;
        try {
            replaceable = geometry_doc::replaceable_ranges(text);
        } catch (const std::bad_alloc&) {
            return failure(text, SyntaxFault::OutOfMemory);
        }
        outcome = read_record(text, replaceable);
    }
    if (outcome.geometry) return {outcome.geometry, {}};
    return failure(text, outcome.fault);
}

}  // namespace quorvel
