#pragma once

#include <cstddef>
#include <string>

namespace quorvel::geometry_doc {

// A failure's message and how far into the text its last examined byte lies;
// the position suffix is added only when the message leaves the reader.
struct DocumentFault {
    std::string message;
    std::size_t end = 0;
};

}  // namespace quorvel::geometry_doc
