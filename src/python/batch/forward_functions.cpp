// fk, direction and is_reachable_joints over arrays of joint pairs: the
// forward kinematics of each row, as the per-call methods compute it.
#include <optional>
#include <utility>

#include "arm/forward_kinematics.hpp"
#include "python/argument_binding.hpp"
#include "python/batch/arm_argument.hpp"
#include "python/batch/array_arguments.hpp"
#include "python/batch/functions.hpp"
#include "python/batch/interpreter_lock.hpp"
#include "python/batch/row_io.hpp"
#include "python/batch/shapes.hpp"
#include "python/entry_guard.hpp"

namespace quorvel::python::batch {

namespace {

constinit Parameter kParameters[] = {{"arm"}, {"joints"}};
constexpr ArgumentDescriptor kFk = {nullptr, "fk", kParameters, 2, 2};
constexpr ArgumentDescriptor kDirection = {nullptr, "direction", kParameters, 2, 2};
constexpr ArgumentDescriptor kIsReachable = {nullptr, "is_reachable_joints", kParameters, 2, 2};

struct ForwardCall {
    SphericalLinkGeometry geometry;
    ArrayArgument joints;

    bool bind(const ArgumentDescriptor& descriptor, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
        PyObject* slots[2];
        return bind_arguments(descriptor, args, nargsf, kwnames, slots) && extract_geometry(slots[0], geometry) &&
               joints.convert(slots[1], "joints", kJointPairs);
    }

    // `write(pose, row)` for every row, without the interpreter lock.
    template <class Write>
    void run(Write write) const {
        const npy_intp n = joints.rows();
        const double* in = joints.data();
        InterpreterLockReleased unlocked;
        for (npy_intp i = 0; i < n; ++i) {
            const double theta_a = load(in + 2 * i);
            const double theta_b = load(in + 2 * i + 1);
            write(forward_kinematics(geometry, theta_a, theta_b), i);
        }
    }
};

}  // namespace

PyObject* batch_fk(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return guarded([&]() -> PyRef {
        ForwardCall call;
        if (!call.bind(kFk, args, nargsf, kwnames)) return {};
        PyRef rotations = new_result(call.joints.leading(), {3, 3}, NPY_DOUBLE);
        PyRef closed = new_result(call.joints.leading(), {}, NPY_BOOL);
        if (!rotations || !closed) return {};
        double* r = data_of<double>(rotations);
        npy_bool* ok = data_of<npy_bool>(closed);
        call.run([r, ok](const std::optional<ArmPose>& pose, npy_intp i) {
            constexpr Matrix3 kNaNs = {{{kNaN, kNaN, kNaN}, {kNaN, kNaN, kNaN}, {kNaN, kNaN, kNaN}}};
            write_matrix(r + 9 * i, pose ? pose->rotation : kNaNs);
            ok[i] = pose.has_value();
        });
        return result_pair(std::move(rotations), std::move(closed));
    });
}

PyObject* batch_direction(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return guarded([&]() -> PyRef {
        ForwardCall call;
        if (!call.bind(kDirection, args, nargsf, kwnames)) return {};
        PyRef directions = new_result(call.joints.leading(), {3}, NPY_DOUBLE);
        PyRef closed = new_result(call.joints.leading(), {}, NPY_BOOL);
        if (!directions || !closed) return {};
        double* v = data_of<double>(directions);
        npy_bool* ok = data_of<npy_bool>(closed);
        call.run([v, ok](const std::optional<ArmPose>& pose, npy_intp i) {
            v[3 * i] = pose ? pose->v_3.x : kNaN;
            v[3 * i + 1] = pose ? pose->v_3.y : kNaN;
            v[3 * i + 2] = pose ? pose->v_3.z : kNaN;
            ok[i] = pose.has_value();
        });
        return result_pair(std::move(directions), std::move(closed));
    });
}

PyObject* batch_is_reachable_joints(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return guarded([&]() -> PyRef {
        ForwardCall call;
        if (!call.bind(kIsReachable, args, nargsf, kwnames)) return {};
        PyRef closes = new_result(call.joints.leading(), {}, NPY_BOOL);
        if (!closes) return {};
        npy_bool* ok = data_of<npy_bool>(closes);
        call.run([ok](const std::optional<ArmPose>& pose, npy_intp i) { ok[i] = pose.has_value(); });
        return closes;
    });
}

}  // namespace quorvel::python::batch
