#pragma once

#include <Python.h>

#include <cstddef>

namespace quorvel::python {

// NumPy's arrays (exactly numpy.ndarray), array.array and memoryview, read in
// place: an object of exactly one of those types whose items are native
// doubles and whose shape is exactly the one asked for, any strides. Fills
// `out` (row-major) and returns true; returns false for anything else, with
// no error set and no Python code run, so the caller's generic path sees the
// object untouched. Subclasses (np.matrix, np.memmap) take the generic path.
bool read_vector_in_place(PyObject* obj, Py_ssize_t size, double* out);
bool read_matrix_in_place(PyObject* obj, Py_ssize_t rows, Py_ssize_t columns, double* out);

}  // namespace quorvel::python
