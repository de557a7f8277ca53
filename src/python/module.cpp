// The module's entry point: binds to one interpreter, registers the classes
// and caches the module so a re-import yields the same objects.
#include <Python.h>

#include <atomic>
#include <cstdint>
#include <cstring>

#include "python/arm_class.hpp"
#include "python/entry_guard.hpp"
#include "python/internal_fault.hpp"
#include "python/neck_class.hpp"

namespace quorvel::python {

namespace {

std::atomic<std::int64_t> bound_interpreter{-1};
PyObject* module_cache = nullptr;

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT,
    "quorvel_torso_kinematics",
    "",       // __doc__ is the empty string, not None
    0,        // no per-module state
    nullptr,  // no module-level functions
    nullptr, nullptr, nullptr, nullptr,
};

PyRef pending_or_system_error() {
    if (!PyErr_Occurred()) PyErr_SetString(PyExc_SystemError, "attempted to fetch exception but none was set");
    return {};
}

PyObject* all_name() {
    static PyObject* name = [] {
        PyObject* text = PyUnicode_FromString("__all__");
        if (text == nullptr) fault("could not create the name __all__");
        PyUnicode_InternInPlace(&text);
        return text;
    }();
    return name;
}

// Publishes the class under its name and appends the name to __all__,
// creating __all__ on the first registration.
bool register_class(PyObject* module, ClassCell& cell) {
    PyTypeObject* type = make_or_fetch_class(cell);
    if (type == nullptr) return false;
    PyRef name = PyRef::steal(PyUnicode_FromStringAndSize(cell.name, static_cast<Py_ssize_t>(std::strlen(cell.name))));
    if (!name) return false;
    PyRef all = PyRef::steal(PyObject_GetAttr(module, all_name()));
    if (!all) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return false;
        PyErr_Clear();
        all = PyRef::steal(PyList_New(0));
        if (!all || PyObject_SetAttr(module, all_name(), all.get()) < 0) return false;
    }
    if (PyList_Append(all.get(), name.get()) < 0) {
        PyErr_Clear();
        fault("could not append __name__ to __all__");
    }
    return PyObject_SetAttr(module, name.get(), reinterpret_cast<PyObject*>(type)) == 0;
}

PyRef initialise() {
    const std::int64_t id = PyInterpreterState_GetID(PyInterpreterState_Get());
    if (id == -1) return pending_or_system_error();
    std::int64_t expected = -1;
    // Bound before anything is made, so the binding holds even if the rest fails.
    if (!bound_interpreter.compare_exchange_strong(expected, id) && expected != id) {
        PyErr_SetString(PyExc_ImportError,
                        "quorvel_torso_kinematics does not yet support sub-interpreters; "
                        "it is already initialised in another interpreter");
        return {};
    }
    if (module_cache != nullptr) return PyRef::borrow(module_cache);

    PyRef module = PyRef::steal(PyModule_Create2(&module_definition, 1013));
    if (!module) return pending_or_system_error();
    // The arm is always registered first; if it fails the neck is not tried.
    if (!register_class(module.get(), arm_class) || !register_class(module.get(), neck_class)) return {};
    // A dunder name: the module's own names stay exactly its two classes.
    PyRef capsule = make_arm_capsule();
    if (!capsule || PyModule_AddObjectRef(module.get(), "__arm_capsule__", capsule.get()) < 0) return {};
    if (module_cache == nullptr) module_cache = module.release();
    return PyRef::borrow(module_cache);
}

}  // namespace

}  // namespace quorvel::python

PyMODINIT_FUNC PyInit_quorvel_torso_kinematics() {
    return quorvel::python::guarded([] { return quorvel::python::initialise(); });
}
