#pragma once

#include <Python.h>

#include <string>

#include "python/py_ref.hpp"

namespace quorvel::python {

// Registration data of one class and the cell that holds its type object,
// made once and kept for the life of the process.
struct ClassCell {
    const char* name;            // "QuorvelArmKinematics"
    const char* full_name;       // with the module prefix, as the interpreter wants it
    const char* text_signature;  // the constructor's, "(...)"
    int basic_size;
    newfunc constructor;
    PyMethodDef* methods;

    PyTypeObject* type = nullptr;
    std::string doc = {};
};

// Used by initialisation: null with RuntimeError "An error occurred while
// initializing class {name}" (cause: the interpreter's error) on failure.
PyTypeObject* make_or_fetch_class(ClassCell& cell);

// Used where a failure cannot be returned: prints the error and raises an
// internal fault. After a successful import the cell is always filled.
PyTypeObject* fetch_class(ClassCell& cell);

// The receiver check of every instance method: true when self is an instance
// of the class, else false with TypeError "'{type}' object cannot be
// converted to '{name}'". The caller's reference keeps self alive.
bool check_receiver_slow(PyObject* self, ClassCell& cell);

inline bool check_receiver(PyObject* self, ClassCell& cell) {
    // The common case inline: an exact instance of a class that exists.
    if (self != nullptr && cell.type != nullptr && Py_TYPE(self) == cell.type) return true;
    return check_receiver_slow(self, cell);
}

// The deallocator shared by both classes.
void dealloc_instance(PyObject* self);

}  // namespace quorvel::python
