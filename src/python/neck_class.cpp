#include "python/neck_class.hpp"

#include "python/argument_binding.hpp"
#include "python/entry_guard.hpp"

namespace quorvel::python {

namespace {

constexpr ArgumentDescriptor kNew = {"QuorvelNeckKinematics", "__new__", nullptr, 0, 0};

PyObject* neck_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    return guarded([&]() -> PyRef {
        if (!bind_arguments(kNew, args, kwargs, nullptr)) return {};
        return PyRef::steal(type->tp_alloc(type, 0));
    });
}

PyMethodDef neck_methods[] = {
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

ClassCell neck_class = {
    "QuorvelNeckKinematics",
    "quorvel_torso_kinematics.QuorvelNeckKinematics",
    "()",
    static_cast<int>(sizeof(PyObject)),
    neck_new,
    neck_methods,
};

}  // namespace quorvel::python
