#pragma once

#include <Python.h>

namespace quorvel::python {

// A method table entry's function, whatever its calling convention.
template <class Function>
PyCFunction as_cfunction(Function function) noexcept {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function));
}

inline constexpr int kFastKeywords = METH_FASTCALL | METH_KEYWORDS;

}  // namespace quorvel::python
