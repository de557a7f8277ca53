#pragma once

#include <stdexcept>
#include <string>

namespace quorvel::python {

// A broken invariant inside the module. Thrown, never returned: the entry
// guard turns it into PanicException so it cannot unwind into the interpreter.
class InternalFault : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

[[noreturn]] inline void fault(const std::string& text) { throw InternalFault(text); }

}  // namespace quorvel::python
