#include "geometry_doc/json/input_cursor.hpp"

namespace quorvel::geometry_doc {

char InputCursor::current_byte() {
    if (range_) {
        const ByteRange& range = *range_;
        // The choice is made at the range's first byte, when the reader
        // already knows whether the value it belongs to is being skipped.
        if (offset_ == range.begin) replacing_ = inside_skipped_value_;
        if (replacing_ && offset_ >= range.begin) {
            if (range.kind == ByteRange::Kind::LoneSurrogateHex) return "FFFD"[offset_ - range.begin];
            // Spaces ending in "0e0": a number with an exponent already, so a
            // following 'e', 'E' or '.' cannot extend it into a valid token (a
            // number beyond the double range takes at least five bytes).
            switch (range.end - offset_) {
                case 3: return '0';
                case 2: return 'e';
                case 1: return '0';
                default: return ' ';
            }
        }
    }
    return text_[offset_];
}

void InputCursor::step() {
    ++offset_;
    if (range_ && offset_ >= range_->end) {
        range_ = scan_->next();
        replacing_ = false;
    }
}

}  // namespace quorvel::geometry_doc
