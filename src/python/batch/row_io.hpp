#pragma once

#include <atomic>
#include <cstddef>
#include <optional>

#include "arm/joint_pair.hpp"
#include "linalg/matrix3.hpp"
#include "linalg/vector3.hpp"
#include "neck/neck_kinematics.hpp"

namespace quorvel::python::batch {

inline constexpr double kNaN = __builtin_nan("");

// A read that another thread's write cannot make undefined; on x86-64 and
// aarch64 it is the same plain load.
inline double load(const double* p) {
    return std::atomic_ref<double>(*const_cast<double*>(p)).load(std::memory_order_relaxed);
}

// One row of an input array as a core value; each element read once.
inline Vector3 vector_at(const double* p) { return {load(p), load(p + 1), load(p + 2)}; }

// Written out: a loop of atomic loads is not unrolled, and costs the neck's
// inverse a fifth of its time.
inline Matrix3 matrix_at(const double* p) {
    return {{{load(p), load(p + 1), load(p + 2)}, {load(p + 3), load(p + 4), load(p + 5)},
             {load(p + 6), load(p + 7), load(p + 8)}}};
}

inline JointPair pair_at(const double* p) { return {load(p), load(p + 1)}; }

inline NeckAngles angles_at(const double* p) { return {load(p), load(p + 1), load(p + 2)}; }

// An optional pair argument's row: none where the argument was not given.
inline std::optional<JointPair> optional_pair_at(const double* p) {
    if (p == nullptr) return std::nullopt;
    return pair_at(p);
}

inline void write_vector(double* out, const Vector3& v) {
    out[0] = v.x;
    out[1] = v.y;
    out[2] = v.z;
}

// A matrix into the nine doubles of one output row, row-major.
inline void write_matrix(double* out, const Matrix3& m) {
    for (std::size_t row = 0; row < 3; ++row) {
        for (std::size_t col = 0; col < 3; ++col) out[3 * row + col] = m[row][col];
    }
}

inline void write_angles(double* out, const NeckAngles& a) {
    out[0] = a.yaw;
    out[1] = a.pitch;
    out[2] = a.roll;
}

inline void write_pair(double* out, const JointPair& pair) {
    out[0] = pair.theta_a;
    out[1] = pair.theta_b;
}

}  // namespace quorvel::python::batch
