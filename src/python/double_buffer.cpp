#include "python/double_buffer.hpp"

#include <cstring>
#include <string_view>

namespace quorvel::python {

namespace {

// A type made by C code, not by a class statement: a class statement can
// borrow its name, but the class's buffer slot would run Python code, and the
// generic path must be the first to call any.
bool made_by_c(PyTypeObject* type) {
    return (type->tp_flags & Py_TPFLAGS_HEAPTYPE) == 0 || reinterpret_cast<PyHeapTypeObject*>(type)->ht_module != nullptr;
}

bool is_double_buffer_type(PyTypeObject* type) {
    if (type == &PyMemoryView_Type) return true;
    if (type->tp_as_buffer == nullptr || type->tp_as_buffer->bf_getbuffer == nullptr || !made_by_c(type)) return false;
    // NumPy need not be imported for this: an array can only exist if it is.
    const std::string_view name = type->tp_name;
    return name == "numpy.ndarray" || name == "array.array";
}

bool has_shape(const Py_buffer& view, Py_ssize_t rows, Py_ssize_t columns) {
    if (view.itemsize != sizeof(double) || view.format == nullptr) return false;
    const std::string_view format = view.format;
    if (format != "d" && format != "@d") return false;
    if (rows == 0) return view.ndim == 1 && view.shape[0] == columns;
    return view.ndim == 2 && view.shape[0] == rows && view.shape[1] == columns;
}

// Releases the view on every path.
class BufferView {
public:
    explicit BufferView(PyObject* obj) : ok_(PyObject_GetBuffer(obj, &view_, PyBUF_RECORDS_RO) == 0) {
        if (!ok_) PyErr_Clear();  // the generic path meets the same object and says what is wrong
    }
    BufferView(const BufferView&) = delete;
    BufferView& operator=(const BufferView&) = delete;
    ~BufferView() {
        if (ok_) PyBuffer_Release(&view_);
    }
    const Py_buffer* get() const { return ok_ ? &view_ : nullptr; }

private:
    Py_buffer view_{};
    bool ok_;
};

double item(const char* at) {
    double value = 0.0;
    std::memcpy(&value, at, sizeof value);  // a view into bytes need not be aligned
    return value;
}

}  // namespace

bool read_double_buffer(PyObject* obj, Py_ssize_t rows, Py_ssize_t columns, double* out) {
    if (!is_double_buffer_type(Py_TYPE(obj))) return false;
    const BufferView buffer(obj);
    const Py_buffer* view = buffer.get();
    if (view == nullptr || !has_shape(*view, rows, columns)) return false;
    const auto* base = static_cast<const char*>(view->buf);
    if (rows == 0) {
        for (Py_ssize_t j = 0; j < columns; ++j) out[j] = item(base + j * view->strides[0]);
        return true;
    }
    for (Py_ssize_t i = 0; i < rows; ++i) {
        for (Py_ssize_t j = 0; j < columns; ++j) {
            out[i * columns + j] = item(base + i * view->strides[0] + j * view->strides[1]);
        }
    }
    return true;
}

}  // namespace quorvel::python
