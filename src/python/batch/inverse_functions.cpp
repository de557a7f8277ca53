// ik and ik_from_direction over arrays: each row solved by the per-call
// methods' solver, on the arm's geometry.
#include <optional>
#include <utility>

#include "arm/inverse_solvers.hpp"
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

constinit Parameter kIkParameters[] = {{"arm"}, {"r_target"}};
constexpr ArgumentDescriptor kIk = {nullptr, "ik", kIkParameters, 2, 2};
constinit Parameter kDirectionParameters[] = {{"arm"}, {"v3"}, {"near"}};
constexpr ArgumentDescriptor kIkFromDirection = {nullptr, "ik_from_direction", kDirectionParameters, 3, 2};

}  // namespace

PyObject* batch_ik(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return guarded([&]() -> PyRef {
        PyObject* slots[2];
        SphericalLinkGeometry geometry;
        ArrayArgument targets;
        if (!bind_arguments(kIk, args, nargsf, kwnames, slots) || !extract_geometry(slots[0], geometry) ||
            !targets.convert(slots[1], "r_target", kMatrices)) {
            return {};
        }
        PyRef joints = new_result(targets.leading(), {2}, NPY_DOUBLE);
        PyRef found = new_result(targets.leading(), {}, NPY_BOOL);
        if (!joints || !found) return {};
        double* out = data_of<double>(joints);
        npy_bool* ok = data_of<npy_bool>(found);
        const npy_intp n = targets.rows();
        const double* in = targets.data();
        {
            InterpreterLockReleased unlocked;
            for (npy_intp i = 0; i < n; ++i) write_pair(out, ok, i, ik(geometry, matrix_at(in + 9 * i)));
        }
        return result_pair(std::move(joints), std::move(found));
    });
}

PyObject* batch_ik_from_direction(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return guarded([&]() -> PyRef {
        PyObject* slots[3];
        SphericalLinkGeometry geometry;
        ArrayArgument directions;
        if (!bind_arguments(kIkFromDirection, args, nargsf, kwnames, slots) ||
            !extract_geometry(slots[0], geometry) || !directions.convert(slots[1], "v3", kVectors)) {
            return {};
        }
        // None, or left out: no `near`, the smallest-norm pair wins.
        const bool has_near = slots[2] != nullptr && slots[2] != Py_None;
        ArrayArgument near;
        LeadingShape lead = directions.leading();
        if (has_near) {
            if (!near.convert(slots[2], "near", kJointPairs) ||
                !broadcast_leading(directions, "v3", near, "near", kNearShape, lead) ||
                !directions.broadcast_to(lead) || !near.broadcast_to(lead)) {
                return {};
            }
        }
        PyRef joints = new_result(lead, {2}, NPY_DOUBLE);
        PyRef found = new_result(lead, {}, NPY_BOOL);
        if (!joints || !found) return {};
        double* out = data_of<double>(joints);
        npy_bool* ok = data_of<npy_bool>(found);
        const npy_intp n = lead.count();
        const double* v = directions.data();
        const npy_intp v_stride = directions.row_stride();
        {
            InterpreterLockReleased unlocked;
            if (has_near) {
                const double* p = near.data();
                const npy_intp p_stride = near.row_stride();
                for (npy_intp i = 0; i < n; ++i) {
                    const std::optional<JointPair> pair = pair_at(p + p_stride * i);
                    write_pair(out, ok, i, ik_from_direction(geometry, vector_at(v + v_stride * i), pair));
                }
            } else {
                for (npy_intp i = 0; i < n; ++i) {
                    write_pair(out, ok, i, ik_from_direction(geometry, vector_at(v + v_stride * i), std::nullopt));
                }
            }
        }
        return result_pair(std::move(joints), std::move(found));
    });
}

}  // namespace quorvel::python::batch
