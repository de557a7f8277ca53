// neck_fk and neck_ik over arrays. The neck object holds no state, so these
// take none: only the angles or the rotations.
#include <optional>
#include <utility>

#include "neck/neck_kinematics.hpp"
#include "python/argument_binding.hpp"
#include "python/batch/array_arguments.hpp"
#include "python/batch/functions.hpp"
#include "python/batch/interpreter_lock.hpp"
#include "python/batch/row_io.hpp"
#include "python/batch/shapes.hpp"
#include "python/entry_guard.hpp"

namespace quorvel::python::batch {

namespace {

constinit Parameter kFkParameters[] = {{"joints"}};
constexpr ArgumentDescriptor kNeckFk = {nullptr, "neck_fk", kFkParameters, 1, 1};
constinit Parameter kIkParameters[] = {{"r"}};
constexpr ArgumentDescriptor kNeckIk = {nullptr, "neck_ik", kIkParameters, 1, 1};

}  // namespace

PyObject* batch_neck_fk(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return guarded([&]() -> PyRef {
        PyObject* slot = nullptr;
        ArrayArgument angles;
        if (!bind_arguments(kNeckFk, args, nargsf, kwnames, &slot) || !angles.convert(slot, "joints", kVectors)) {
            return {};
        }
        PyRef rotations = new_result(angles.leading(), {3, 3}, NPY_DOUBLE);
        if (!rotations) return {};
        double* out = data_of<double>(rotations);
        const npy_intp n = angles.rows();
        const double* in = angles.data();
        {
            InterpreterLockReleased unlocked;
            for (npy_intp i = 0; i < n; ++i) {
                const Vector3 a = vector_at(in + 3 * i);
                const Matrix3 r = neck_forward_kinematics(NeckAngles{a.x, a.y, a.z});
                write_matrix(out + 9 * i, r);
            }
        }
        return rotations;
    });
}

PyObject* batch_neck_ik(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return guarded([&]() -> PyRef {
        PyObject* slot = nullptr;
        ArrayArgument targets;
        if (!bind_arguments(kNeckIk, args, nargsf, kwnames, &slot) || !targets.convert(slot, "r", kMatrices)) {
            return {};
        }
        PyRef angles = new_result(targets.leading(), {3}, NPY_DOUBLE);
        PyRef ok = new_result(targets.leading(), {}, NPY_BOOL);
        if (!angles || !ok) return {};
        double* out = data_of<double>(angles);
        npy_bool* flags = data_of<npy_bool>(ok);
        const npy_intp n = targets.rows();
        const double* in = targets.data();
        {
            InterpreterLockReleased unlocked;
            for (npy_intp i = 0; i < n; ++i) {
                const std::optional<NeckAngles> a = neck_inverse_kinematics(matrix_at(in + 9 * i));
                out[3 * i] = a ? a->yaw : kNaN;
                out[3 * i + 1] = a ? a->pitch : kNaN;
                out[3 * i + 2] = a ? a->roll : kNaN;
                flags[i] = a.has_value();
            }
        }
        return result_pair(std::move(angles), std::move(ok));
    });
}

}  // namespace quorvel::python::batch
