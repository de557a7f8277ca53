#include "geometry_doc/input_cursor.hpp"

namespace quorvel::geometry_doc {

char InputCursor::current_byte() {
    if (next_replaceable_ < replaceable_.size()) {
        const ByteRange& range = replaceable_[next_replaceable_];
        // The choice is made at the token's first byte, when the reader
        // already knows whether the value it belongs to is being skipped.
        if (offset_ == range.begin) replacing_ = inside_skipped_value_;
        if (replacing_ && offset_ >= range.begin) return offset_ + 1 == range.end ? '0' : ' ';
    }
    return text_[offset_];
}

void InputCursor::step() {
    ++offset_;
    if (next_replaceable_ < replaceable_.size() && offset_ >= replaceable_[next_replaceable_].end) {
        ++next_replaceable_;
        replacing_ = false;
    }
}

}  // namespace quorvel::geometry_doc
