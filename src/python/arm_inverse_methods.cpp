// The arm's inverse kinematics methods: ik, ik_from_direction and the two
// reachability predicates that run the same solvers.
#include <optional>

#include "arm/inverse_solvers.hpp"
#include "python/argument_binding.hpp"
#include "python/argument_converters.hpp"
#include "python/arm_class.hpp"
#include "python/entry_guard.hpp"
#include "python/result_converters.hpp"

namespace quorvel::python {

namespace {

// The same text for both solvers, although one is given only a direction.
constexpr const char* kOutsideWorkspace = "Target orientation is outside the spherical 5-bar workspace.";

constinit Parameter kRotationParameters[] = {{"r_target"}};
constexpr ArgumentDescriptor kIk = {"QuorvelArmKinematics", "ik", kRotationParameters, 1, 1};
constexpr ArgumentDescriptor kIsReachableOrientation = {"QuorvelArmKinematics", "is_reachable_orientation",
                                                        kRotationParameters, 1, 1};
constinit Parameter kDirectionParameters[] = {{"v3"}, {"near"}};
constexpr ArgumentDescriptor kIkFromDirection = {"QuorvelArmKinematics", "ik_from_direction", kDirectionParameters,
                                                 2, 1};
constexpr ArgumentDescriptor kIsReachableDirection = {"QuorvelArmKinematics", "is_reachable_direction",
                                                      kDirectionParameters, 1, 1};

PyRef pair_or_outside_workspace(const std::optional<JointPair>& pair) {
    if (pair) return joint_pair_to_tuple(*pair);
    PyErr_SetString(PyExc_RuntimeError, kOutsideWorkspace);
    return {};
}

// Shared steps of the rotation-taking methods: bind, receiver, r_target.
template <class Finish>
PyObject* rotation_method(const ArgumentDescriptor& descriptor, PyObject* self, PyObject* const* args,
                          Py_ssize_t nargsf, PyObject* kwnames, Finish finish) {
    return guarded([&]() -> PyRef {
        PyObject* slot = nullptr;
        if (!bind_arguments(descriptor, args, nargsf, kwnames, &slot)) return {};
        if (!check_receiver(self, arm_class)) return {};
        Matrix3 r{};
        if (!convert_argument(extract_matrix3, slot, "r_target", r)) return {};
        return finish(ik(geometry_of(self), r));
    });
}

// Shared steps of the direction-taking methods: bind, receiver, v3, near.
template <class Finish>
PyObject* direction_method(const ArgumentDescriptor& descriptor, PyObject* self, PyObject* const* args,
                           Py_ssize_t nargsf, PyObject* kwnames, Finish finish) {
    return guarded([&]() -> PyRef {
        PyObject* slots[2] = {nullptr, nullptr};
        if (!bind_arguments(descriptor, args, nargsf, kwnames, slots)) return {};
        if (!check_receiver(self, arm_class)) return {};
        Vector3 v3{};
        std::optional<JointPair> near;
        if (!convert_argument(extract_vector3, slots[0], "v3", v3) ||
            !convert_argument(extract_optional_joint_pair, slots[1], "near", near)) {
            return {};
        }
        return finish(ik_from_direction(geometry_of(self), v3, near));
    });
}

PyRef reached(const std::optional<JointPair>& pair) { return flag_to_python(pair.has_value()); }

}  // namespace

PyObject* arm_ik(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return rotation_method(kIk, self, args, nargsf, kwnames, pair_or_outside_workspace);
}

PyObject* arm_is_reachable_orientation(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return rotation_method(kIsReachableOrientation, self, args, nargsf, kwnames, reached);
}

PyObject* arm_ik_from_direction(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return direction_method(kIkFromDirection, self, args, nargsf, kwnames, pair_or_outside_workspace);
}

// Runs the direction solver without `near`: the descriptor has no such
// parameter, so the slot stays empty and converts to "no pair".
PyObject* arm_is_reachable_direction(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return direction_method(kIsReachableDirection, self, args, nargsf, kwnames, reached);
}

}  // namespace quorvel::python
