#pragma once

#include <Python.h>

namespace quorvel::python::batch {

// The module's method table, made on first use (at import).
PyMethodDef* method_table();

}  // namespace quorvel::python::batch
