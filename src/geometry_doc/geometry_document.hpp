#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "../arm/spherical_link_geometry.hpp"

namespace quorvel {

// Either the record read from a geometry document or why it could not be read.
struct GeometryDocumentResult {
    std::optional<SphericalLinkGeometry> geometry;
    std::string error;  // empty on success; otherwise ends with " at line {line} column {column}"
};

// Reads one SphericalLinkGeometry from JSON text: a keyed object or a positional
// array. Pure; every failure, syntax or record, comes back in the result.
GeometryDocumentResult parse_geometry_document(std::string_view text);

}  // namespace quorvel
