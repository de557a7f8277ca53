#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quorvel::geometry_doc {

// A failure's message and how far into the text its last examined byte lies;
// the position is added only when the message leaves the reader.
struct DocumentFault {
    std::string message;
    std::size_t end = 0;

    // The message and " at line {line} column {column}" for text[end - 1]; end
    // 0 (nothing examined) gives line 1 column 0.
    std::string with_position(std::string_view text) const;
};

}  // namespace quorvel::geometry_doc
