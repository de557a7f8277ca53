#pragma once

#include <Python.h>

namespace quorvel::python {

// TypeError "'{type}' object cannot be converted to '{target}'", {type} being
// the qualified name of the argument's type (reading it runs no Python code).
void raise_cannot_convert(PyTypeObject* type, const char* target);

// A converter's TypeError becomes "argument '{name}': {text}"; every other
// error passes unchanged. Call with the converter's error pending.
void argument_error(const char* name);

}  // namespace quorvel::python
