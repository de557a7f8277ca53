// Test-only module: drives the entry guard through the faults that the real
// module's methods cannot reach from Python. Built for the tests, never installed.
#include <Python.h>

#include "python/entry_guard.hpp"
#include "python/internal_fault.hpp"

namespace {

using quorvel::python::PyRef;

PyObject* raise_fault(PyObject*, PyObject* text) {
    return quorvel::python::guarded([&]() -> PyRef {
        const char* utf8 = PyUnicode_AsUTF8(text);
        if (utf8 == nullptr) return {};
        quorvel::python::fault(utf8);
    });
}

PyObject* raise_foreign(PyObject*, PyObject*) {
    return quorvel::python::guarded([]() -> PyRef { throw 42; });
}

// Calls back into Python inside the guard, as a converter calling __float__ does.
PyObject* call(PyObject*, PyObject* function) {
    return quorvel::python::guarded([&] { return PyRef::steal(PyObject_CallNoArgs(function)); });
}

PyObject* return_null_without_error(PyObject*, PyObject*) {
    return quorvel::python::guarded([] { return PyRef(); });
}

// A static type that borrows NumPy's array name: a reader that trusts the
// name would take this tuple for an array's memory.
PyTypeObject impostor_type = [] {
    PyTypeObject type{};
    Py_SET_REFCNT(&type, 1);
    type.tp_name = "numpy.ndarray";
    type.tp_flags = Py_TPFLAGS_DEFAULT;
    type.tp_base = &PyTuple_Type;
    return type;
}();

PyMethodDef probe_methods[] = {
    {"raise_fault", raise_fault, METH_O, nullptr},
    {"raise_foreign", raise_foreign, METH_NOARGS, nullptr},
    {"call", call, METH_O, nullptr},
    {"return_null_without_error", return_null_without_error, METH_NOARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef probe_module = {PyModuleDef_HEAD_INIT, "quorvel_fault_probe", nullptr, 0, probe_methods,
                            nullptr, nullptr, nullptr, nullptr};

}  // namespace

PyMODINIT_FUNC PyInit_quorvel_fault_probe() {
    if (PyType_Ready(&impostor_type) < 0) return nullptr;
    PyRef module = PyRef::steal(PyModule_Create(&probe_module));
    if (!module || PyModule_AddObjectRef(module.get(), "NotAnArray", reinterpret_cast<PyObject*>(&impostor_type)) < 0) {
        return nullptr;
    }
    return module.release();
}
