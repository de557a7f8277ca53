// direction_candidates: every joint pair whose elbows suit a direction, in
// its fixed slot, so a controller can watch two branches meet before the
// one it follows disappears.
#include <cstddef>
#include <utility>

#include "arm/inverse_candidates.hpp"
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

constinit Parameter kParameters[] = {{"arm"}, {"v3"}};
constexpr ArgumentDescriptor kCandidates = {nullptr, "direction_candidates", kParameters, 2, 2};

void write_row(const SphericalLinkGeometry& geometry, const Vector3& v, double* joints, npy_bool* exists,
               npy_bool* reaches) {
    CandidateSlots slots{};
    const double length = norm(v);
    const Vector3 u = v / length;
    if (!(length < kMinimumDirectionLength)) slots = direction_candidate_slots(geometry, u);
    for (std::size_t k = 0; k < slots.size(); ++k) {
        const std::optional<IkCandidate>& c = slots[k];
        joints[2 * k] = c ? c->theta_a : kNaN;
        joints[2 * k + 1] = c ? c->theta_b : kNaN;
        exists[k] = c.has_value();
        // The direction solver's own test: `reaches` marks exactly the pairs it chooses among.
        reaches[k] = c.has_value() && points_along(*c, u);
    }
}

}  // namespace

PyObject* batch_direction_candidates(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return guarded([&]() -> PyRef {
        PyObject* slots[2];
        SphericalLinkGeometry geometry;
        ArrayArgument directions;
        if (!bind_arguments(kCandidates, args, nargsf, kwnames, slots) || !extract_geometry(slots[0], geometry) ||
            !directions.convert(slots[1], "v3", kVectors)) {
            return {};
        }
        PyRef joints = new_result(directions.leading(), {4, 2}, NPY_DOUBLE);
        PyRef exists = new_result(directions.leading(), {4}, NPY_BOOL);
        PyRef reaches = new_result(directions.leading(), {4}, NPY_BOOL);
        if (!joints || !exists || !reaches) return {};
        double* out = data_of<double>(joints);
        npy_bool* has = data_of<npy_bool>(exists);
        npy_bool* hits = data_of<npy_bool>(reaches);
        const npy_intp n = directions.rows();
        const double* v = directions.data();
        {
            InterpreterLockReleased unlocked;
            for (npy_intp i = 0; i < n; ++i) {
                write_row(geometry, vector_at(v + 3 * i), out + 8 * i, has + 4 * i, hits + 4 * i);
            }
        }
        return result_triple(std::move(joints), std::move(exists), std::move(reaches));
    });
}

}  // namespace quorvel::python::batch
