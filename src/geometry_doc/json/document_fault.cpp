#include "geometry_doc/json/document_fault.hpp"

#include <algorithm>

namespace quorvel::geometry_doc {

std::string DocumentFault::with_position(std::string_view text) const {
    const std::string_view examined = text.substr(0, std::min(end, text.size()));
    const auto line = 1 + std::count(examined.begin(), examined.end(), '\n');
    const std::size_t last_feed = examined.rfind('\n');
    const std::size_t column = last_feed == std::string_view::npos ? examined.size() : examined.size() - last_feed - 1;
    return message + " at line " + std::to_string(line) + " column " + std::to_string(column);
}

}  // namespace quorvel::geometry_doc
