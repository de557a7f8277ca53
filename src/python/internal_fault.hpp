#pragma once

#include <exception>
#include <memory>
#include <string>
#include <string_view>

namespace quorvel::python {

// A broken invariant inside the module. Thrown, never returned: the entry
// guard turns it into PanicException so it cannot unwind into the interpreter.
class InternalFault : public std::exception {
public:
    explicit InternalFault(std::string text) : text_(std::make_shared<const std::string>(std::move(text))) {}
    const char* what() const noexcept override { return text_->c_str(); }
    // The whole text: a panic resumed from Python code may carry a NUL, where
    // what() would stop.
    std::string_view text() const noexcept { return *text_; }

private:
    std::shared_ptr<const std::string> text_;  // shared, so copying cannot throw
};

[[noreturn]] inline void fault(std::string text) { throw InternalFault(std::move(text)); }

}  // namespace quorvel::python
