#include "python/argument_converters.hpp"

#include "python/array_in_place.hpp"
#include "python/foreign_types.hpp"
#include "python/py_ref.hpp"

namespace quorvel::python {

bool extract_float(PyObject* obj, double& out) {
    if (PyFloat_CheckExact(obj)) {
        out = PyFloat_AS_DOUBLE(obj);
        return true;
    }
    const double value = PyFloat_AsDouble(obj);
    if (value == -1.0 && PyErr_Occurred()) return false;
    out = value;
    return true;
}

bool extract_flag(PyObject* obj, bool& out) {
    if (PyBool_Check(obj)) {
        out = obj == Py_True;
        return true;
    }
    // Naming the type looks into its dictionary, which can run Python code
    // that reassigns obj.__class__ and drops the type's last reference: hold
    // the type examined until the check is over.
    const PyRef held_type = PyRef::borrow(reinterpret_cast<PyObject*>(Py_TYPE(obj)));
    auto* type = reinterpret_cast<PyTypeObject*>(held_type.get());
    if (!is_numpy_bool_by_name(type)) {
        raise_cannot_convert(type, "PyBool");
        return false;
    }
    inquiry truth = type->tp_as_number != nullptr ? type->tp_as_number->nb_bool : nullptr;
    if (truth == nullptr) {
        PyErr_Format(PyExc_TypeError, "object of type '%S' does not define a '__bool__' conversion", held_type.get());
        return false;
    }
    const int result = truth(obj);
    if (result != 0 && result != 1) return false;
    out = result == 1;
    return true;
}

namespace {

bool extract_item_float(PyObject* sequence, Py_ssize_t index, double& out) {
    PyRef key = PyRef::steal(PyLong_FromSsize_t(index));
    if (!key) return false;
    PyRef item = PyRef::steal(PyObject_GetItem(sequence, key.get()));
    return item && extract_float(item.get(), out);
}

// The outer steps shared by vectors and matrices: a sequence of exactly three.
bool check_sequence_of_three(PyObject* obj) {
    if (!PySequence_Check(obj)) {
        raise_cannot_convert(Py_TYPE(obj), "Sequence");
        return false;
    }
    const Py_ssize_t size = PyObject_Size(obj);
    if (size == -1 && PyErr_Occurred()) return false;
    if (size != 3) {
        PyErr_Format(PyExc_ValueError, "expected a sequence of length 3 (got %zd)", size);
        return false;
    }
    return true;
}

// The controller's usual argument: an exact list or tuple of three exact
// floats. Read in place, no Python code runs, so the outcome is the one the
// general path gives.
bool read_plain_float_triple(PyObject* obj, Vector3& out) {
    if (!(PyList_CheckExact(obj) || PyTuple_CheckExact(obj)) || Py_SIZE(obj) != 3) return false;
    PyObject** items = PySequence_Fast_ITEMS(obj);
    if (!PyFloat_CheckExact(items[0]) || !PyFloat_CheckExact(items[1]) || !PyFloat_CheckExact(items[2])) return false;
    out = {PyFloat_AS_DOUBLE(items[0]), PyFloat_AS_DOUBLE(items[1]), PyFloat_AS_DOUBLE(items[2])};
    return true;
}

// Anything but a list or tuple of three floats: an array of doubles read in
// place, else the sequence protocol. Kept out of line so the usual call stays short.
[[gnu::noinline]] bool extract_vector3_slowly(PyObject* obj, Vector3& out) {
    if (double items[3]; read_vector_in_place(obj, 3, items)) {
        out = {items[0], items[1], items[2]};
        return true;
    }
    if (!check_sequence_of_three(obj)) return false;
    return extract_item_float(obj, 0, out.x) && extract_item_float(obj, 1, out.y) && extract_item_float(obj, 2, out.z);
}

}  // namespace

bool extract_vector3(PyObject* obj, Vector3& out) {
    return read_plain_float_triple(obj, out) || extract_vector3_slowly(obj, out);
}

namespace {

bool read_plain_matrix(PyObject* obj, Matrix3& out) {
    if (!(PyList_CheckExact(obj) || PyTuple_CheckExact(obj)) || Py_SIZE(obj) != 3) return false;
    PyObject** rows = PySequence_Fast_ITEMS(obj);
    Vector3 r[3];
    for (int i = 0; i < 3; ++i) {
        if (!read_plain_float_triple(rows[i], r[i])) return false;
    }
    for (int i = 0; i < 3; ++i) out[i] = {r[i].x, r[i].y, r[i].z};
    return true;
}

}  // namespace

bool extract_matrix3(PyObject* obj, Matrix3& out) {
    if (read_plain_matrix(obj, out)) return true;
    if (double items[9]; read_matrix_in_place(obj, 3, 3, items)) {
        for (std::size_t i = 0; i < 3; ++i) out[i] = {items[3 * i], items[3 * i + 1], items[3 * i + 2]};
        return true;
    }
    if (!check_sequence_of_three(obj)) return false;
    for (Py_ssize_t i = 0; i < 3; ++i) {
        PyRef key = PyRef::steal(PyLong_FromSsize_t(i));
        if (!key) return false;
        PyRef row = PyRef::steal(PyObject_GetItem(obj, key.get()));
        Vector3 v;
        if (!row || !extract_vector3(row.get(), v)) return false;
        out[i] = {v.x, v.y, v.z};
    }
    return true;
}

bool extract_optional_joint_pair(PyObject* obj, std::optional<JointPair>& out) {
    if (obj == nullptr || obj == Py_None) {
        out.reset();
        return true;
    }
    if (!PyTuple_Check(obj)) {
        raise_cannot_convert(Py_TYPE(obj), "PyTuple");
        return false;
    }
    const Py_ssize_t size = PyTuple_GET_SIZE(obj);
    if (size != 2) {
        PyErr_Format(PyExc_ValueError, "expected tuple of length 2, but got tuple of length %zd", size);
        return false;
    }
    // Borrowed items stay safe across their __float__: no Python code can
    // replace a tuple's items, and the caller holds the tuple.
    JointPair pair;
    if (!extract_float(PyTuple_GET_ITEM(obj, 0), pair.theta_a) || !extract_float(PyTuple_GET_ITEM(obj, 1), pair.theta_b)) {
        return false;
    }
    out = pair;
    return true;
}

bool extract_text(PyObject* obj, std::string_view& out) {
    if (!PyUnicode_Check(obj)) {
        raise_cannot_convert(Py_TYPE(obj), "PyString");
        return false;
    }
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(obj, &size);
    if (utf8 == nullptr) return false;
    out = std::string_view(utf8, static_cast<std::size_t>(size));
    return true;
}

}  // namespace quorvel::python
