#pragma once

#include <Python.h>

#include <atomic>
#include <initializer_list>
#include <vector>

#include "python/batch/numpy_api.hpp"
#include "python/py_ref.hpp"

namespace quorvel::python::batch {

inline constexpr int kAnyLeading = -1;

// The shape an array argument must have: fixed trailing dimensions after
// either any leading ones ("...") or a fixed number of them.
struct ShapeRule {
    const char* text;  // as the error names it: "(..., 3, 3)", "(N, 3)", "(2,)"
    int leading;       // kAnyLeading, or the exact count
    int trailing_ndim;
    npy_intp trailing[2];
};

struct LeadingShape {
    int ndim = 0;
    npy_intp dims[NPY_MAXDIMS] = {};

    npy_intp count() const {
        npy_intp n = 1;
        for (int i = 0; i < ndim; ++i) n *= dims[i];
        return n;
    }
};

// One array argument, converted once to C-contiguous float64 and held for
// the whole call. The rows (one pose each) are read with the interpreter
// lock released, so the memory must stay where it is: the array, and every
// array its memory comes from, is weakly referenced for the call, which
// makes NumPy refuse to resize it (even with refcheck=False). Another
// thread may still write into it; the rows are then read with relaxed
// atomic loads, giving racy values but never undefined behaviour.
class ArrayArgument {
public:
    // False with TypeError (not a real-number array that NumPy casts safely
    // to float64) or ValueError (wrong shape, or NumPy refused the object),
    // each message starting "argument '{name}': ".
    bool convert(PyObject* obj, const char* name, const ShapeRule& rule);

    // Rows for the broadcast leading shape `lead` (checked by
    // broadcast_leading): one row for all, the rows as they are, or, only
    // when neither does, a contiguous copy with the rows repeated.
    bool broadcast_to(const LeadingShape& lead);

    const double* data() const { return data_; }
    const LeadingShape& leading() const { return leading_; }
    npy_intp rows() const { return leading_.count(); }
    // doubles from one row to the next: the row size, or 0 for a single row
    // that serves every output row
    npy_intp row_stride() const { return row_stride_; }

private:
    bool pin();

    PyRef array_;
    std::vector<PyRef> pins_;
    const double* data_ = nullptr;
    LeadingShape leading_;
    npy_intp row_size_ = 0;
    npy_intp row_stride_ = 0;
};

// NumPy's broadcasting of two leading shapes; false with ValueError naming
// `second` (the optional argument) when they do not broadcast.
bool broadcast_leading(const ArrayArgument& first, const char* first_name, const ArrayArgument& second,
                       const char* second_name, const char* second_shape, LeadingShape& out);

// A new array of shape lead + trailing, NPY_DOUBLE or NPY_BOOL; empty with
// the interpreter's error (MemoryError) on failure.
PyRef new_result(const LeadingShape& lead, std::initializer_list<npy_intp> trailing, int typenum);

template <class T>
T* data_of(const PyRef& array) {
    return static_cast<T*>(PyArray_DATA(reinterpret_cast<PyArrayObject*>(array.get())));
}

// A read that another thread's write cannot make undefined; on x86-64 it is
// the same plain load.
inline double load(const double* p) {
    return std::atomic_ref<double>(*const_cast<double*>(p)).load(std::memory_order_relaxed);
}

// Steals both references; empty if either is empty or the tuple fails.
PyRef result_pair(PyRef first, PyRef second);
PyRef result_triple(PyRef first, PyRef second, PyRef third);

}  // namespace quorvel::python::batch
