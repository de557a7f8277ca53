#include "python/conversion_error.hpp"

#include "python/py_ref.hpp"

namespace quorvel::python {

void raise_cannot_convert(PyTypeObject* type, const char* target) {
    PyRef type_name = PyRef::steal(PyType_GetQualName(type));
    if (!type_name) {
        PyErr_Clear();
        PyErr_Format(PyExc_TypeError, "'<failed to extract type name>' object cannot be converted to '%s'", target);
        return;
    }
    PyErr_Format(PyExc_TypeError, "'%U' object cannot be converted to '%s'", type_name.get(), target);
}

namespace {

// str() of the converter's error; when that fails the failure goes to the
// unraisable hook and a placeholder names the type instead.
PyRef error_text(PyObject* error) {
    if (PyRef text = PyRef::steal(PyObject_Str(error))) return text;
    PyErr_WriteUnraisable(error);
    if (PyRef type_name = PyRef::steal(PyType_GetName(Py_TYPE(error)))) {
        return PyRef::steal(PyUnicode_FromFormat("<unprintable %U object>", type_name.get()));
    }
    PyErr_Clear();
    return PyRef::steal(PyUnicode_FromString("<unprintable object>"));
}

}  // namespace

void argument_error(const char* name) {
    PyRef error = PyRef::steal(PyErr_GetRaisedException());
    // Exactly TypeError: subclasses and every other error keep their identity.
    if (!error || Py_TYPE(error.get()) != reinterpret_cast<PyTypeObject*>(PyExc_TypeError)) {
        PyErr_SetRaisedException(error.release());
        return;
    }
    PyRef text = error_text(error.get());
    if (!text) return;
    PyRef message = PyRef::steal(PyUnicode_FromFormat("argument '%s': %U", name, text.get()));
    if (!message) return;
    PyRef wrapped = PyRef::steal(PyObject_CallOneArg(PyExc_TypeError, message.get()));
    if (!wrapped) return;
    // The converter's own error is not chained; only its cause carries over.
    PyException_SetCause(wrapped.get(), PyException_GetCause(error.get()));
    PyErr_SetRaisedException(wrapped.release());
}

}  // namespace quorvel::python
