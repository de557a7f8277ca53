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

PyMODINIT_FUNC PyInit_quorvel_fault_probe() { return PyModule_Create(&probe_module); }
