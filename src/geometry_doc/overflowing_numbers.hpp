#pragma once

#include <string_view>
#include <vector>

#include "geometry_doc/input_cursor.hpp"

namespace quorvel::geometry_doc {

// Every number token whose value lies beyond the double range, in text order,
// up to the first token the lexer rejects. Found with the library's own lexer,
// so the tokens are exactly those its parser sees.
std::vector<ByteRange> overflowing_number_tokens(std::string_view text);

}  // namespace quorvel::geometry_doc
