#pragma once

#include <Python.h>

namespace quorvel::python::batch {

// The module's method table, made on first use (at import).
PyMethodDef* method_table();

// The named-tuple types some functions return, made once and published in the module.
bool add_result_types(PyObject* module);

}  // namespace quorvel::python::batch
