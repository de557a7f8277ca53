#pragma once

#include <cstddef>
#include <iterator>
#include <optional>
#include <string_view>

#include "geometry_doc/json/scanner.hpp"

namespace quorvel::geometry_doc {

// The text as the JSON lexer pulls it, one byte at a time. nlohmann's SAX
// events carry no position, so the reader measures one here: how many bytes
// have been handed out and whether the lexer has asked past the last one.
//
// When it `replaces`, the ranges its ReplaceableRangeScan finds are handed
// out differently when they start while the reader is inside a skipped value:
// a number token as spaces ending in "0e0", the hex digits of an unpaired
// surrogate escape as "FFFD". The library refuses both wherever they stand,
// but neither may matter where the value is ignored. Same length, same
// grammar, so positions and syntax outcomes are unchanged.
class InputCursor {
public:
    // The input iterator pair handed to nlohmann::json::sax_parse.
    class Iterator {
    public:
        using iterator_category = std::input_iterator_tag;
        using value_type = char;
        using difference_type = std::ptrdiff_t;
        using pointer = const char*;
        using reference = char;

        Iterator() = default;
        char operator*() const { return cursor_->current_byte(); }
        Iterator& operator++() {
            cursor_->step();
            return *this;
        }
        bool operator==(const Iterator& other) const {
            if (at_end_ == other.at_end_) return true;
            return cursor_->exhausted();
        }

    private:
        friend class InputCursor;
        Iterator(InputCursor* cursor, bool at_end) : cursor_(cursor), at_end_(at_end) {}
        InputCursor* cursor_ = nullptr;
        bool at_end_ = false;
    };

    InputCursor(std::string_view text, bool replaces) : text_(text) {
        if (!replaces) return;
        scan_.emplace(text);
        range_ = scan_->next();
    }
    InputCursor(const InputCursor&) = delete;
    InputCursor& operator=(const InputCursor&) = delete;

    Iterator begin() { return {this, false}; }
    Iterator end() { return {this, true}; }

    // Bytes handed out so far, including a lookahead byte the lexer may hold.
    std::size_t consumed() const { return offset_; }
    // Whether the lexer has asked for a byte past the end of the text.
    bool reached_end() const { return reached_end_; }

    void set_inside_skipped_value(bool inside) { inside_skipped_value_ = inside; }
    // Whether this is the pass that replaces ranges in skipped values.
    bool replaces() const { return scan_.has_value(); }

private:
    char current_byte();
    void step();
    // The iterator comparison is the lexer's only way of asking for the end.
    bool exhausted() {
        if (offset_ < text_.size()) return false;
        reached_end_ = true;
        return true;
    }

    std::string_view text_;
    std::optional<ReplaceableRangeScan> scan_;  // present in the pass that replaces
    std::optional<ByteRange> range_;            // the next range, or the one being handed out
    bool replacing_ = false;
    bool inside_skipped_value_ = false;
    std::size_t offset_ = 0;
    bool reached_end_ = false;
};

}  // namespace quorvel::geometry_doc
