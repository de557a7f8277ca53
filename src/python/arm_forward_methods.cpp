#include <optional>

#include "arm/forward_kinematics.hpp"
#include "python/argument_binding.hpp"
#include "python/argument_converters.hpp"
#include "python/arm_class.hpp"
#include "python/entry_guard.hpp"
#include "python/result_converters.hpp"

namespace quorvel::python {

namespace {

constexpr const char* kLoopNotClosed =
    "Spherical 5-bar loop does not close: v_2 and v_4 are too far apart for the coupler.";

constinit Parameter kNewParameters[] = {{"arm_arc"}, {"coupler_arc"}, {"mirror"}};
constexpr ArgumentDescriptor kNew = {"QuorvelArmKinematics", "__new__", kNewParameters, 3, 0};

constinit Parameter kJointParameters[] = {{"theta_a"}, {"theta_b"}};
constexpr ArgumentDescriptor kFk = {"QuorvelArmKinematics", "fk", kJointParameters, 2, 2};
constexpr ArgumentDescriptor kDirection = {"QuorvelArmKinematics", "direction", kJointParameters, 2, 2};
constexpr ArgumentDescriptor kIsReachableJoints = {"QuorvelArmKinematics", "is_reachable_joints", kJointParameters,
                                                   2, 2};

// The steps the three forward methods share: bind, check the receiver,
// convert both angles, run the forward kinematics; `finish` shapes the result.
template <class Finish>
PyObject* forward_method(const ArgumentDescriptor& descriptor, PyObject* self, PyObject* const* args,
                         Py_ssize_t nargsf, PyObject* kwnames, Finish finish) {
    return guarded([&]() -> PyRef {
        PyObject* slots[2];
        if (!bind_arguments(descriptor, args, nargsf, kwnames, slots)) return {};
        if (!check_receiver(self, arm_class)) return {};
        double theta_a = 0.0;
        double theta_b = 0.0;
        if (!convert_argument(extract_float, slots[0], "theta_a", theta_a) ||
            !convert_argument(extract_float, slots[1], "theta_b", theta_b)) {
            return {};
        }
        return finish(forward_kinematics(geometry_of(self), theta_a, theta_b));
    });
}

PyRef loop_not_closed() {
    PyErr_SetString(PyExc_RuntimeError, kLoopNotClosed);
    return {};
}

template <class Read>
PyObject* accessor(PyObject* self, Read read) {
    return guarded([&]() -> PyRef {
        if (!check_receiver(self, arm_class)) return {};
        return read(geometry_of(self));
    });
}

}  // namespace

PyObject* arm_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    return guarded([&]() -> PyRef {
        BoundSlots<3> slots;
        if (!bind_arguments(kNew, args, kwargs, slots)) return {};
        // Arguments left out take the defaults; an explicit None does not.
        SphericalLinkGeometry geometry;
        if (slots[0] != nullptr && !convert_argument(extract_float, slots[0], "arm_arc", geometry.arm_arc)) return {};
        if (slots[1] != nullptr && !convert_argument(extract_float, slots[1], "coupler_arc", geometry.coupler_arc)) {
            return {};
        }
        if (slots[2] != nullptr && !convert_argument(extract_flag, slots[2], "mirror", geometry.mirror)) return {};
        return allocate_arm(type, geometry);
    });
}

PyObject* arm_default_left(PyObject*, PyObject*) {
    return guarded([] { return create_arm(default_left_geometry()); });
}

PyObject* arm_default_right(PyObject*, PyObject*) {
    return guarded([] { return create_arm(default_right_geometry()); });
}

PyObject* arm_fk(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return forward_method(kFk, self, args, nargsf, kwnames, [](const std::optional<ArmPose>& pose) {
        return pose ? matrix3_to_list(pose->rotation) : loop_not_closed();
    });
}

PyObject* arm_direction(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return forward_method(kDirection, self, args, nargsf, kwnames, [](const std::optional<ArmPose>& pose) {
        return pose ? vector3_to_list(pose->v_3) : loop_not_closed();
    });
}

PyObject* arm_is_reachable_joints(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return forward_method(kIsReachableJoints, self, args, nargsf, kwnames,
                          [](const std::optional<ArmPose>& pose) { return flag_to_python(pose.has_value()); });
}

PyObject* arm_arm_arc(PyObject* self, PyObject*) {
    return accessor(self, [](const SphericalLinkGeometry& g) { return float_to_python(g.arm_arc); });
}

PyObject* arm_coupler_arc(PyObject* self, PyObject*) {
    return accessor(self, [](const SphericalLinkGeometry& g) { return float_to_python(g.coupler_arc); });
}

PyObject* arm_mirror(PyObject* self, PyObject*) {
    return accessor(self, [](const SphericalLinkGeometry& g) { return flag_to_python(g.mirror); });
}

}  // namespace quorvel::python
