#include "python/batch/array_input.hpp"

#include <string>
#include <utility>

#include "python/batch/shape_text.hpp"

namespace quorvel::python::batch {

namespace {

// NumPy's own TypeError or ValueError, with the argument named in front.
void name_conversion_error(const char* name) {
    PyRef error = PyRef::steal(PyErr_GetRaisedException());
    PyObject* kind = nullptr;
    if (error && PyErr_GivenExceptionMatches(error.get(), PyExc_TypeError)) kind = PyExc_TypeError;
    if (error && PyErr_GivenExceptionMatches(error.get(), PyExc_ValueError)) kind = PyExc_ValueError;
    if (kind == nullptr) {
        PyErr_SetRaisedException(error.release());
        return;
    }
    PyErr_Format(kind, "argument '%s': %S", name, error.get());
    PyRef wrapped = PyRef::steal(PyErr_GetRaisedException());
    PyException_SetCause(wrapped.get(), error.release());
    PyErr_SetRaisedException(wrapped.release());
}

bool is_plain_float64(PyArrayObject* array) {
    return PyArray_TYPE(array) == NPY_DOUBLE && PyArray_ISNOTSWAPPED(array) && PyArray_IS_C_CONTIGUOUS(array) &&
           PyArray_ISALIGNED(array);
}

// A C-contiguous float64 array holding the argument: the caller's own one
// when it already is, else a new one cast safely (or a private copy with
// `copy`). Empty with the argument named in the error.
PyRef as_float64_array(PyObject* obj, const char* name, bool copy) {
    if (!copy && PyArray_Check(obj) && is_plain_float64(reinterpret_cast<PyArrayObject*>(obj))) {
        return PyRef::borrow(obj);
    }
    PyRef discovered = PyRef::steal(PyArray_FromAny(obj, nullptr, 0, 0, 0, nullptr));
    if (!discovered) {
        name_conversion_error(name);
        return {};
    }
    auto* found = reinterpret_cast<PyArrayObject*>(discovered.get());
    PyArray_Descr* float64 = PyArray_DescrFromType(NPY_DOUBLE);
    if (!PyArray_CanCastTypeTo(PyArray_DESCR(found), float64, NPY_SAFE_CASTING)) {
        Py_DECREF(float64);
        // str() of the dtype is Python code: it gets a reference of its own.
        PyRef dtype = PyRef::borrow(reinterpret_cast<PyObject*>(PyArray_DESCR(found)));
        PyErr_Format(PyExc_TypeError,
                     "argument '%s': expected an array of real numbers (safely castable to float64), got dtype %S",
                     name, dtype.get());
        return {};
    }
    // Steals the descriptor; returns the same array when nothing is to change.
    const int requirements = NPY_ARRAY_C_CONTIGUOUS | NPY_ARRAY_ALIGNED | (copy ? NPY_ARRAY_ENSURECOPY : 0);
    PyRef converted = PyRef::steal(PyArray_FromArray(found, float64, requirements));
    if (!converted) name_conversion_error(name);
    return converted;
}

bool fits(const ArrayShape& shape, int ndim, const npy_intp* dims) {
    const int leading = ndim - shape.trailing_ndim;
    if (leading < 0 || (shape.lead == Lead::One && leading != 1) || (shape.lead == Lead::None && leading != 0)) {
        return false;
    }
    for (int i = 0; i < shape.trailing_ndim; ++i) {
        if (dims[leading + i] != shape.trailing[i]) return false;
    }
    return true;
}

}  // namespace

bool ArrayInput::convert(PyObject* obj, const char* name, const ArrayShape& shape) {
    array_ = as_float64_array(obj, name, false);
    if (!array_) return false;
    if (!pin()) {
        // Memory nothing can hold in place (an array type without weak
        // references, a base without buffers): read a private copy instead.
        PyErr_Clear();
        pins_.clear();
        array_ = as_float64_array(array_.get(), name, true);
        if (!array_) return false;
    }
    return record(name, shape);
}

bool ArrayInput::pin() {
    // NumPy refuses to resize an array that has weak references, whatever
    // refcheck says; an array whose memory belongs to another array is never
    // resized itself, but its owner could be, so the whole chain of array
    // bases is pinned.
    PyRef link = PyRef::borrow(array_.get());
    while (link && PyArray_Check(link.get())) {
        // Held strongly: making the weak reference may collect garbage and so run finalizers.
        PyRef weak = PyRef::steal(PyWeakref_NewRef(link.get(), nullptr));
        if (!weak) return false;
        pins_.push_back(std::move(weak));
        link = PyRef::borrow(PyArray_BASE(reinterpret_cast<PyArrayObject*>(link.get())));
    }
    if (!link) return true;
    // Memory owned by something else (an mmap, a bytearray, any buffer
    // exporter): NumPy need not hold an export of it, so take one for the
    // call. Closing or resizing the owner then raises BufferError instead of
    // freeing the rows under the loop.
    PyRef view = PyRef::steal(PyMemoryView_FromObject(link.get()));
    if (!view) return false;
    pins_.push_back(std::move(view));
    return true;
}

bool ArrayInput::record(const char* name, const ArrayShape& shape) {
    // Code run while pinning (a finalizer, a buffer exporter) may have changed
    // the dtype or strides in place; the memory is held from here on.
    auto* nd = reinterpret_cast<PyArrayObject*>(array_.get());
    if (!is_plain_float64(nd)) {
        pins_.clear();
        array_ = as_float64_array(array_.get(), name, true);
        if (!array_) return false;
        nd = reinterpret_cast<PyArrayObject*>(array_.get());
    }
    const int ndim = PyArray_NDIM(nd);
    const npy_intp* dims = PyArray_DIMS(nd);
    if (!fits(shape, ndim, dims)) {
        const std::string got = shape_text(ndim, dims);
        PyErr_Format(PyExc_ValueError, "argument '%s': expected an array of shape %s, got %s", name, shape.text,
                     got.c_str());
        return false;
    }
    leading_.ndim = ndim - shape.trailing_ndim;
    for (int i = 0; i < leading_.ndim; ++i) leading_.dims[i] = dims[i];
    data_ = static_cast<const double*>(PyArray_DATA(nd));
    if (shape.lead == Lead::None) {
        for (npy_intp i = 0; i < shape.row_size(); ++i) values_[i] = data_[i];
        data_ = values_;
        array_ = PyRef();
        pins_.clear();
    }
    return true;
}

}  // namespace quorvel::python::batch
