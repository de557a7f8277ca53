#pragma once

#include <cstddef>
#include <optional>

#include "arm/joint_pair.hpp"
#include "linalg/matrix3.hpp"
#include "linalg/vector3.hpp"
#include "python/batch/array_arguments.hpp"
#include "python/batch/shapes.hpp"

namespace quorvel::python::batch {

// One row of an input array as a core value; each element read once.
inline Vector3 vector_at(const double* p) { return {load(p), load(p + 1), load(p + 2)}; }

// Written out: a loop of atomic loads is not unrolled, and costs the neck's
// inverse a fifth of its time.
inline Matrix3 matrix_at(const double* p) {
    return {{{load(p), load(p + 1), load(p + 2)}, {load(p + 3), load(p + 4), load(p + 5)},
             {load(p + 6), load(p + 7), load(p + 8)}}};
}

inline JointPair pair_at(const double* p) { return {load(p), load(p + 1)}; }

// A matrix into the nine doubles of one output row, row-major.
inline void write_matrix(double* out, const Matrix3& m) {
    for (std::size_t row = 0; row < 3; ++row) {
        for (std::size_t col = 0; col < 3; ++col) out[3 * row + col] = m[row][col];
    }
}

// A solver's answer into row i: the pair, or NaN where there is none.
inline void write_pair(double* out, npy_bool* found, npy_intp i, const std::optional<JointPair>& pair) {
    out[2 * i] = pair ? pair->theta_a : kNaN;
    out[2 * i + 1] = pair ? pair->theta_b : kNaN;
    found[i] = pair.has_value();
}

}  // namespace quorvel::python::batch
