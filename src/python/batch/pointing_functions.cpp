// nearest_pointing: for target rotations slightly off the reachable set,
// the joints that point the arm along each target's third column, and how
// far the rotation reached is from the target.
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

constinit Parameter kParameters[] = {{"arm"}, {"r_target"}};
constexpr ArgumentDescriptor kNearestPointing = {nullptr, "nearest_pointing", kParameters, 2, 2};

}  // namespace

PyObject* batch_nearest_pointing(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return guarded([&]() -> PyRef {
        PyObject* slots[2];
        SphericalLinkGeometry geometry;
        ArrayArgument targets;
        if (!bind_arguments(kNearestPointing, args, nargsf, kwnames, slots) ||
            !extract_geometry(slots[0], geometry) || !targets.convert(slots[1], "r_target", kMatrices)) {
            return {};
        }
        PyRef joints = new_result(targets.leading(), {2}, NPY_DOUBLE);
        PyRef residual = new_result(targets.leading(), {}, NPY_DOUBLE);
        PyRef found = new_result(targets.leading(), {}, NPY_BOOL);
        if (!joints || !residual || !found) return {};
        double* out = data_of<double>(joints);
        double* res = data_of<double>(residual);
        npy_bool* ok = data_of<npy_bool>(found);
        const npy_intp n = targets.rows();
        const double* in = targets.data();
        {
            InterpreterLockReleased unlocked;
            for (npy_intp i = 0; i < n; ++i) {
                const std::optional<PointingSolution> s = nearest_pointing(geometry, matrix_at(in + 9 * i));
                write_pair(out, ok, i, s ? std::optional<JointPair>(s->joints) : std::nullopt);
                res[i] = s ? s->residual : kNaN;
            }
        }
        return result_triple(std::move(joints), std::move(residual), std::move(found));
    });
}

}  // namespace quorvel::python::batch
