#include "python/neck_class.hpp"

#include "neck/neck_kinematics.hpp"
#include "python/argument_binding.hpp"
#include "python/argument_converters.hpp"
#include "python/entry_guard.hpp"
#include "python/method_table.hpp"
#include "python/result_converters.hpp"

namespace quorvel::python {

namespace {

constexpr const char* kGimbalLock = "Gimbal lock: pitch is too close to ±π/2.";

constexpr ArgumentDescriptor kNew = {"QuorvelNeckKinematics", "__new__", nullptr, 0, 0};
constinit Parameter kFkParameters[] = {{"joints"}};
constexpr ArgumentDescriptor kFk = {"QuorvelNeckKinematics", "fk", kFkParameters, 1, 1};
constinit Parameter kIkParameters[] = {{"r"}};
constexpr ArgumentDescriptor kIk = {"QuorvelNeckKinematics", "ik", kIkParameters, 1, 1};

PyObject* neck_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    return guarded([&]() -> PyRef {
        BoundSlots<0> none;
        if (!bind_arguments(kNew, args, kwargs, none)) return {};
        return PyRef::steal(type->tp_alloc(type, 0));
    });
}

// Both methods take one argument: bind, check the receiver, convert it.
template <class T, class Compute>
PyObject* neck_method(const ArgumentDescriptor& descriptor, bool (*converter)(PyObject*, T&), PyObject* self,
                      PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames, Compute compute) {
    return guarded([&]() -> PyRef {
        PyObject* slot = nullptr;
        if (!bind_arguments(descriptor, args, nargsf, kwnames, &slot)) return {};
        if (!check_receiver(self, neck_class)) return {};
        T value{};
        if (!convert_argument(converter, slot, descriptor.parameters[0].name.data(), value)) return {};
        return compute(value);
    });
}

PyObject* neck_fk(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return neck_method(kFk, extract_vector3, self, args, nargsf, kwnames, [](const Vector3& joints) {
        return matrix3_to_list(neck_forward_kinematics({joints.x, joints.y, joints.z}));
    });
}

PyObject* neck_ik(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return neck_method(kIk, extract_matrix3, self, args, nargsf, kwnames, [](const Matrix3& r) -> PyRef {
        const auto angles = neck_inverse_kinematics(r);
        if (!angles) {
            PyErr_SetString(PyExc_ValueError, kGimbalLock);
            return {};
        }
        return angles3_to_tuple(angles->yaw, angles->pitch, angles->roll);
    });
}

PyMethodDef neck_methods[] = {
    {"fk", as_cfunction(neck_fk), kFastKeywords,
     "fk($self, joints)\n--\n\nForward kinematics. `joints = [yaw, pitch, roll]` in radians.\n"
     "Returns the 3×3 rotation matrix of the head frame in the body frame."},
    {"ik", as_cfunction(neck_ik), kFastKeywords,
     "ik($self, r)\n--\n\nInverse kinematics. `r` is a 3×3 rotation matrix (row-major).\n"
     "Returns `(yaw, pitch, roll)` in radians.\n\nRaises `ValueError` near gimbal lock (|pitch| ≈ π/2). The neck's\n"
     "pitch range is well under that limit in practice."},
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
