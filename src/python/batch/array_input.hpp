#pragma once

#include <Python.h>

#include <vector>

#include "python/batch/function_decl.hpp"
#include "python/batch/numpy_api.hpp"
#include "python/py_ref.hpp"

namespace quorvel::python::batch {

// Leading dimensions: of one array argument, or of the broadcast result.
struct LeadingShape {
    int ndim = 0;
    npy_intp dims[NPY_MAXDIMS] = {};
};

// One array argument, converted once to C-contiguous float64 and held for
// the whole call. Its leading shape and data pointer are recorded at
// conversion, after the memory is pinned, and the array object is never read
// again: converting a later argument runs Python code (__array__, __len__,
// finalizers, other threads) that may reshape it or change its dtype, but
// cannot move its memory. The rows are read with the interpreter lock
// released; another thread may still write into them (relaxed atomic loads
// make that racy values, never undefined behaviour).
class ArrayInput {
public:
    // False with TypeError (not a real-number array that NumPy casts safely
    // to float64) or ValueError (wrong shape, or NumPy refused the object),
    // each message starting "argument '{name}': ".
    bool convert(PyObject* obj, const char* name, const ArrayShape& shape);

    const double* data() const { return data_; }
    const LeadingShape& leading() const { return leading_; }

private:
    bool pin();
    bool record(const char* name, const ArrayShape& shape);

    PyRef array_;
    std::vector<PyRef> pins_;
    const double* data_ = nullptr;
    LeadingShape leading_;
    // An array without leading dimensions is a few values: copied here, so
    // its checks hold for the whole call.
    double values_[9] = {};
};

}  // namespace quorvel::python::batch
