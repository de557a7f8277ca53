// follow_path: a trajectory of pointing directions solved pose by pose, each
// nearest to the solution before it, so it stays on its branch wherever
// the geometry lets it.
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

constinit Parameter kParameters[] = {{"arm"}, {"directions"}, {"start"}};
constexpr ArgumentDescriptor kFollowPath = {nullptr, "follow_path", kParameters, 3, 3};

}  // namespace

PyObject* batch_follow_path(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return guarded([&]() -> PyRef {
        PyObject* slots[3];
        SphericalLinkGeometry geometry;
        ArrayArgument directions;
        ArrayArgument start;
        if (!bind_arguments(kFollowPath, args, nargsf, kwnames, slots) || !extract_geometry(slots[0], geometry) ||
            !directions.convert(slots[1], "directions", kPath) || !start.convert(slots[2], "start", kOnePair)) {
            return {};
        }
        PyRef joints = new_result(directions.leading(), {2}, NPY_DOUBLE);
        PyRef found = new_result(directions.leading(), {}, NPY_BOOL);
        if (!joints || !found) return {};
        double* out = data_of<double>(joints);
        npy_bool* ok = data_of<npy_bool>(found);
        const npy_intp n = directions.rows();
        const double* v = directions.data();
        {
            InterpreterLockReleased unlocked;
            // A pose without a solution leaves `near` where the last one was.
            std::optional<JointPair> near = pair_at(start.data());
            for (npy_intp i = 0; i < n; ++i) {
                const std::optional<JointPair> pair = ik_from_direction(geometry, vector_at(v + 3 * i), near);
                write_pair(out, ok, i, pair);
                if (pair) near = pair;
            }
        }
        return result_pair(std::move(joints), std::move(found));
    });
}

}  // namespace quorvel::python::batch
