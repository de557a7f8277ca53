#pragma once

#include <Python.h>

namespace quorvel::python {

// The PanicException type, made on first need and kept for the life of the
// process. Throws InternalFault when it cannot be made.
PyObject* panic_exception_type();

// The type if it has been made already, else null (then no instance exists).
PyObject* panic_exception_type_if_made();

}  // namespace quorvel::python
