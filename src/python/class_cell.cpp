#include "python/class_cell.hpp"

#include <string>

#include "python/entry_guard.hpp"
#include "python/internal_fault.hpp"
#include "python/py_ref.hpp"
#include "python/conversion_error.hpp"

namespace quorvel::python {

namespace {

PyTypeObject* build_type(ClassCell& cell) {
    if (cell.doc.empty()) cell.doc = std::string(cell.name) + cell.text_signature + "\n--\n\n";
    PyType_Slot slots[] = {
        {Py_tp_doc, const_cast<char*>(cell.doc.c_str())},
        {Py_tp_new, reinterpret_cast<void*>(cell.constructor)},
        {Py_tp_methods, cell.methods},
        {Py_tp_base, &PyBaseObject_Type},
        {Py_tp_dealloc, reinterpret_cast<void*>(dealloc_instance)},
        {0, nullptr},
    };
    PyType_Spec spec = {cell.full_name, cell.basic_size, 0, Py_TPFLAGS_DEFAULT, slots};
    return reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&spec));
}

// Fills the cell at most once; a racing loser's type is dropped.
PyTypeObject* fill_cell(ClassCell& cell) {
    if (cell.type == nullptr) {
        PyTypeObject* made = build_type(cell);
        if (made == nullptr) return nullptr;
        if (cell.type == nullptr) {
            cell.type = made;
        } else {
            Py_DECREF(made);
        }
    }
    return cell.type;
}

}  // namespace

PyTypeObject* make_or_fetch_class(ClassCell& cell) {
    if (PyTypeObject* type = fill_cell(cell)) return type;
    PyRef cause = PyRef::steal(PyErr_GetRaisedException());
    PyErr_Format(PyExc_RuntimeError, "An error occurred while initializing class %s", cell.name);
    PyRef error = PyRef::steal(PyErr_GetRaisedException());
    PyException_SetCause(error.get(), cause.release());
    PyErr_SetRaisedException(error.release());
    return nullptr;
}

PyTypeObject* fetch_class(ClassCell& cell) {
    if (PyTypeObject* type = fill_cell(cell)) return type;
    PyErr_PrintEx(0);
    fault(std::string("failed to create type object for ") + cell.name);
}

bool check_receiver_slow(PyObject* self, ClassCell& cell) {
    PyTypeObject* type = fetch_class(cell);
    if (self != nullptr && (Py_TYPE(self) == type || PyType_IsSubtype(Py_TYPE(self), type))) return true;
    raise_cannot_convert(Py_TYPE(self != nullptr ? self : Py_None), cell.name);
    return false;
}

void dealloc_instance(PyObject* self) {
    guarded_dealloc([self] {
        PyTypeObject* type = Py_TYPE(self);
        if (type->tp_free == nullptr) fault("PyBaseObject_Type should have tp_free");
        type->tp_free(self);
        // Instances of heap types own a reference to their type.
        Py_DECREF(type);
    });
}

}  // namespace quorvel::python
