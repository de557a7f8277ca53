#pragma once

#include <Python.h>

#include <cstddef>

namespace quorvel::python {

// NumPy's arrays, array.array and memoryview, read in place: an object of
// exactly one of those types whose items are native doubles ("d") and whose
// shape is exactly {rows} (rows == 0: a vector of `columns`) or {rows,
// columns}, any strides. Fills `out` row-major and returns true; returns false
// for anything else, with no error set and no Python code run, so the caller's
// generic path sees the object untouched.
bool read_double_buffer(PyObject* obj, Py_ssize_t rows, Py_ssize_t columns, double* out);

}  // namespace quorvel::python
