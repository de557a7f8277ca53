#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quorvel::geometry_doc {

// " at line {line} column {column}" for a failure whose last examined byte is
// text[end - 1]; end 0 (nothing examined) gives line 1 column 0.
std::string position_suffix(std::string_view text, std::size_t end);

}  // namespace quorvel::geometry_doc
