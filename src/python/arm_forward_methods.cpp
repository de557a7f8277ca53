// The arm's forward kinematics methods: fk, direction, is_reachable_joints.
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

}  // namespace

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

}  // namespace quorvel::python
