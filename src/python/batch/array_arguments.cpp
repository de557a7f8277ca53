#include "python/batch/array_arguments.hpp"

#include <string>
#include <utility>

namespace quorvel::python::batch {

namespace {

std::string shape_text(int ndim, const npy_intp* dims) {
    std::string text = "(";
    for (int i = 0; i < ndim; ++i) {
        if (i > 0) text += ", ";
        text += std::to_string(dims[i]);
    }
    return text + (ndim == 1 ? ",)" : ")");
}

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

bool shape_error(const char* name, const ShapeRule& rule, PyArrayObject* array) {
    const std::string got = shape_text(PyArray_NDIM(array), PyArray_DIMS(array));
    PyErr_Format(PyExc_ValueError, "argument '%s': expected an array of shape %s, got %s", name, rule.text,
                 got.c_str());
    return false;
}

bool fits(const ShapeRule& rule, PyArrayObject* array) {
    const int ndim = PyArray_NDIM(array);
    if (rule.leading == kAnyLeading ? ndim < rule.trailing_ndim : ndim != rule.leading + rule.trailing_ndim) {
        return false;
    }
    const npy_intp* dims = PyArray_DIMS(array);
    for (int i = 0; i < rule.trailing_ndim; ++i) {
        if (dims[ndim - rule.trailing_ndim + i] != rule.trailing[i]) return false;
    }
    return true;
}

bool usable_as_is(PyObject* obj) {
    if (!PyArray_Check(obj)) return false;
    auto* array = reinterpret_cast<PyArrayObject*>(obj);
    return PyArray_TYPE(array) == NPY_DOUBLE && PyArray_ISNOTSWAPPED(array) && PyArray_IS_C_CONTIGUOUS(array) &&
           PyArray_ISALIGNED(array);
}

// Converted once: the caller's float64 array as it is, anything else cast
// (safely) into a new one.
PyRef as_float64_array(PyObject* obj, const char* name) {
    if (usable_as_is(obj)) return PyRef::borrow(obj);
    PyRef discovered = PyRef::steal(PyArray_FromAny(obj, nullptr, 0, 0, 0, nullptr));
    if (!discovered) {
        name_conversion_error(name);
        return {};
    }
    auto* array = reinterpret_cast<PyArrayObject*>(discovered.get());
    PyArray_Descr* float64 = PyArray_DescrFromType(NPY_DOUBLE);
    if (!PyArray_CanCastTypeTo(PyArray_DESCR(array), float64, NPY_SAFE_CASTING)) {
        Py_DECREF(float64);
        // str() of the dtype is Python code: it gets a reference of its own.
        PyRef dtype = PyRef::borrow(reinterpret_cast<PyObject*>(PyArray_DESCR(array)));
        PyErr_Format(PyExc_TypeError,
                     "argument '%s': expected an array of real numbers (safely castable to float64), got dtype %S",
                     name, dtype.get());
        return {};
    }
    // Steals the descriptor; returns the same array when nothing is to change.
    PyRef converted =
        PyRef::steal(PyArray_FromArray(array, float64, NPY_ARRAY_C_CONTIGUOUS | NPY_ARRAY_ALIGNED));
    if (!converted) name_conversion_error(name);
    return converted;
}

}  // namespace

bool ArrayArgument::pin() {
    // NumPy refuses to resize an array that has weak references, whatever
    // refcheck says; an array whose memory belongs to another array is
    // never resized itself, but its owner could be, so the whole chain of
    // array bases is pinned. A base that is not an array (bytes, mmap, a
    // buffer exporter) is held by NumPy through a buffer export already.
    PyRef link = PyRef::borrow(array_.get());
    while (link && PyArray_Check(link.get())) {
        // Held strongly: making the weak reference may collect garbage and so run finalizers.
        PyRef weak = PyRef::steal(PyWeakref_NewRef(link.get(), nullptr));
        if (!weak) return false;
        pins_.push_back(std::move(weak));
        link = PyRef::borrow(PyArray_BASE(reinterpret_cast<PyArrayObject*>(link.get())));
    }
    return true;
}

bool ArrayArgument::convert(PyObject* obj, const char* name, const ShapeRule& rule) {
    array_ = as_float64_array(obj, name);
    if (!array_) return false;
    auto* array = reinterpret_cast<PyArrayObject*>(array_.get());
    if (!fits(rule, array)) return shape_error(name, rule, array);
    if (!pin()) {
        // An array type that takes no weak references: read a private copy.
        PyErr_Clear();
        pins_.clear();
        array_ = PyRef::steal(PyArray_NewCopy(array, NPY_CORDER));
        if (!array_) return false;
        array = reinterpret_cast<PyArrayObject*>(array_.get());
    }
    // Read once, under the lock: another thread may set the shape or the
    // strides of the caller's array meanwhile, but cannot move its memory.
    const int ndim = PyArray_NDIM(array);
    leading_.ndim = ndim - rule.trailing_ndim;
    row_size_ = 1;
    for (int i = 0; i < ndim; ++i) {
        if (i < leading_.ndim) {
            leading_.dims[i] = PyArray_DIMS(array)[i];
        } else {
            row_size_ *= PyArray_DIMS(array)[i];
        }
    }
    row_stride_ = row_size_;
    data_ = static_cast<const double*>(PyArray_DATA(array));
    return true;
}

bool ArrayArgument::broadcast_to(const LeadingShape& lead) {
    const npy_intp own_rows = rows();
    if (own_rows == lead.count() && own_rows != 1) {
        // Same rows in the same order: the shapes differ at most by ones.
        bool same = true;
        for (int i = 0, j = 0; i < leading_.ndim || j < lead.ndim;) {
            if (i < leading_.ndim && leading_.dims[i] == 1) { ++i; continue; }
            if (j < lead.ndim && lead.dims[j] == 1) { ++j; continue; }
            if (i >= leading_.ndim || j >= lead.ndim || leading_.dims[i] != lead.dims[j]) { same = false; break; }
            ++i;
            ++j;
        }
        if (same) return true;
    }
    if (own_rows == 1) {
        row_stride_ = 0;
        return true;
    }
    // Rows repeated along some axes but not others: a broadcast view of the
    // rows, copied once into a contiguous array.
    auto* array = reinterpret_cast<PyArrayObject*>(array_.get());
    const int trailing = PyArray_NDIM(array) - leading_.ndim;
    npy_intp dims[NPY_MAXDIMS];
    npy_intp strides[NPY_MAXDIMS];
    const int ndim = lead.ndim + trailing;
    npy_intp stride = static_cast<npy_intp>(sizeof(double));
    for (int i = ndim - 1; i >= 0; --i) {
        if (i >= lead.ndim) {
            dims[i] = PyArray_DIMS(array)[leading_.ndim + (i - lead.ndim)];
            strides[i] = stride;
            stride *= dims[i];
            continue;
        }
        const int own = i - (lead.ndim - leading_.ndim);
        const npy_intp own_dim = own >= 0 ? leading_.dims[own] : 1;
        dims[i] = lead.dims[i];
        strides[i] = own_dim == 1 ? 0 : stride;
        stride *= own_dim;
    }
    PyArray_Descr* float64 = PyArray_DescrFromType(NPY_DOUBLE);
    PyRef view = PyRef::steal(PyArray_NewFromDescr(&PyArray_Type, float64, ndim, dims, strides,
                                                   PyArray_DATA(array), 0, nullptr));
    if (!view) return false;
    if (PyArray_SetBaseObject(reinterpret_cast<PyArrayObject*>(view.get()), PyRef::borrow(array_.get()).release()) <
        0) {
        return false;
    }
    PyRef copy = PyRef::steal(PyArray_NewCopy(reinterpret_cast<PyArrayObject*>(view.get()), NPY_CORDER));
    if (!copy) return false;
    array_ = std::move(copy);
    pins_.clear();
    leading_ = lead;
    row_stride_ = row_size_;
    data_ = static_cast<const double*>(PyArray_DATA(reinterpret_cast<PyArrayObject*>(array_.get())));
    return true;
}

bool broadcast_leading(const ArrayArgument& first, const char* first_name, const ArrayArgument& second,
                       const char* second_name, const char* second_shape, LeadingShape& out) {
    const LeadingShape& a = first.leading();
    const LeadingShape& b = second.leading();
    out.ndim = a.ndim > b.ndim ? a.ndim : b.ndim;
    for (int i = 0; i < out.ndim; ++i) {
        const int ia = i - (out.ndim - a.ndim);
        const int ib = i - (out.ndim - b.ndim);
        const npy_intp da = ia >= 0 ? a.dims[ia] : 1;
        const npy_intp db = ib >= 0 ? b.dims[ib] : 1;
        if (da != db && da != 1 && db != 1) {
            const std::string a_text = shape_text(a.ndim, a.dims);
            const std::string b_text = shape_text(b.ndim, b.dims);
            PyErr_Format(PyExc_ValueError,
                         "argument '%s': expected an array of shape %s whose leading shape broadcasts with "
                         "the leading shape %s of '%s', got leading shape %s",
                         second_name, second_shape, a_text.c_str(), first_name, b_text.c_str());
            return false;
        }
        out.dims[i] = da == 1 ? db : da;
    }
    return true;
}

PyRef new_result(const LeadingShape& lead, std::initializer_list<npy_intp> trailing, int typenum) {
    npy_intp dims[NPY_MAXDIMS + 2];
    int ndim = 0;
    for (int i = 0; i < lead.ndim; ++i) dims[ndim++] = lead.dims[i];
    for (const npy_intp d : trailing) dims[ndim++] = d;
    if (ndim > NPY_MAXDIMS) {
        PyErr_Format(PyExc_ValueError, "the result would have %d dimensions, more than NumPy's %d", ndim,
                     NPY_MAXDIMS);
        return {};
    }
    return PyRef::steal(PyArray_SimpleNew(ndim, dims, typenum));
}

PyRef result_pair(PyRef first, PyRef second) {
    if (!first || !second) return {};
    return PyRef::steal(PyTuple_Pack(2, first.get(), second.get()));
}

PyRef result_triple(PyRef first, PyRef second, PyRef third) {
    if (!first || !second || !third) return {};
    return PyRef::steal(PyTuple_Pack(3, first.get(), second.get(), third.get()));
}

}  // namespace quorvel::python::batch
