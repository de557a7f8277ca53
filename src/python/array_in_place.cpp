#include "python/array_in_place.hpp"

#include <bit>
#include <cstring>
#include <string_view>

// Only the array struct's layout and NumPy's inline accessors: the module
// calls nothing of NumPy and imports nothing.
#define NPY_NO_DEPRECATED_API NPY_2_0_API_VERSION
#include <numpy/ndarraytypes.h>

#include "python/foreign_types.hpp"

namespace quorvel::python {

namespace {

bool is_double_buffer_type(PyTypeObject* type) { return type == &PyMemoryView_Type || is_array_array(type); }

double item(const char* at) {
    double value = 0.0;
    std::memcpy(&value, at, sizeof value);  // a view into bytes need not be aligned
    return value;
}

// The shape asked for: {columns} for a vector (rows < 0), {rows, columns} for a matrix.
bool read_strided(const char* base, int ndim, const Py_ssize_t* shape, const Py_ssize_t* strides, Py_ssize_t rows,
                  Py_ssize_t columns, double* out) {
    if (rows < 0) {
        if (ndim != 1 || shape[0] != columns) return false;
        for (Py_ssize_t j = 0; j < columns; ++j) out[j] = item(base + j * strides[0]);
        return true;
    }
    if (ndim != 2 || shape[0] != rows || shape[1] != columns) return false;
    for (Py_ssize_t i = 0; i < rows; ++i) {
        for (Py_ssize_t j = 0; j < columns; ++j) out[i * columns + j] = item(base + i * strides[0] + j * strides[1]);
    }
    return true;
}

// The array's own fields, as NumPy's inline accessors read them: asking an
// array for a buffer costs more than the neck's whole inverse.
bool read_ndarray(PyObject* obj, Py_ssize_t rows, Py_ssize_t columns, double* out) {
    const auto* array = reinterpret_cast<const PyArrayObject*>(obj);
    if (PyArray_TYPE(array) != NPY_DOUBLE || PyArray_DESCR(array)->byteorder == NPY_OPPBYTE) return false;
    return read_strided(PyArray_BYTES(array), PyArray_NDIM(array), PyArray_DIMS(array), PyArray_STRIDES(array), rows,
                        columns, out);
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

// "<d" is what ctypes writes for its doubles: native on a little-endian machine.
bool holds_native_doubles(const Py_buffer& view) {
    if (view.itemsize != sizeof(double) || view.format == nullptr) return false;
    const std::string_view format = view.format;
    constexpr std::string_view kNativeOrder = std::endian::native == std::endian::little ? "<d" : ">d";
    return format == "d" || format == "@d" || format == "=d" || format == kNativeOrder;
}

bool read_in_place(PyObject* obj, Py_ssize_t rows, Py_ssize_t columns, double* out) {
    PyTypeObject* type = Py_TYPE(obj);
    if (is_ndarray(type)) return read_ndarray(obj, rows, columns, out);
    if (!is_double_buffer_type(type)) return false;
    const BufferView buffer(obj);
    const Py_buffer* view = buffer.get();
    return view != nullptr && holds_native_doubles(*view) &&
           read_strided(static_cast<const char*>(view->buf), view->ndim, view->shape, view->strides, rows, columns,
                        out);
}

}  // namespace

bool read_vector_in_place(PyObject* obj, Py_ssize_t size, double* out) { return read_in_place(obj, -1, size, out); }

bool read_matrix_in_place(PyObject* obj, Py_ssize_t rows, Py_ssize_t columns, double* out) {
    return read_in_place(obj, rows, columns, out);
}

}  // namespace quorvel::python
