// The array companion of quorvel_torso_kinematics: the same kinematics over
// whole NumPy arrays of poses, one call for many, the interpreter lock given
// up while the rows are computed.
#include <Python.h>

#include <atomic>
#include <cstdint>

#define QUORVEL_BATCH_IMPORTS_NUMPY
#include "python/batch/numpy_api.hpp"

#include "python/batch/arm_access.hpp"
#include "python/batch/arm_data.hpp"
#include "python/batch/functions.hpp"
#include "python/entry_guard.hpp"
#include "python/py_ref.hpp"

namespace quorvel::python::batch {

namespace {

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT,
    "quorvel_torso_kinematics_batch",
    "The kinematics of quorvel_torso_kinematics over NumPy arrays of poses.\n\n"
    "Every function takes arrays with any leading shape and returns new float64\n"
    "arrays (and bool masks where a pose can fail), equal bit for bit to the per-call\n"
    "methods row by row. Angles are radians. The interpreter lock is released while\n"
    "the rows are computed, so threads working on separate chunks run in parallel.",
    0,
    nullptr,
    nullptr, nullptr, nullptr, nullptr,
};

// Like the main module: one interpreter per process. Its arrays and the
// arm class it reads belong to the interpreter that imported it first.
std::atomic<std::int64_t> bound_interpreter{-1};
PyObject* module_cache = nullptr;

bool bind_interpreter() {
    const std::int64_t id = PyInterpreterState_GetID(PyInterpreterState_Get());
    if (id == -1) return false;
    std::int64_t expected = -1;
    if (!bound_interpreter.compare_exchange_strong(expected, id) && expected != id) {
        PyErr_SetString(PyExc_ImportError,
                        "quorvel_torso_kinematics_batch does not yet support sub-interpreters; "
                        "it is already initialised in another interpreter");
        return false;
    }
    return true;
}

PyRef initialise() {
    if (!bind_interpreter()) return {};
    if (module_cache != nullptr) return PyRef::borrow(module_cache);
    if (PyArray_ImportNumPyAPI() < 0) return {};
    if (!load_arm_access() || !register_arm_pickling()) return {};
    module_definition.m_methods = method_table();
    PyRef module = PyRef::steal(PyModule_Create(&module_definition));
    if (!module || !add_result_types(module.get())) return {};
    if (module_cache == nullptr) module_cache = module.release();
    return PyRef::borrow(module_cache);
}

}  // namespace

}  // namespace quorvel::python::batch

PyMODINIT_FUNC PyInit_quorvel_torso_kinematics_batch() {
    return quorvel::python::guarded([] { return quorvel::python::batch::initialise(); });
}
