// The array companion of quorvel_torso_kinematics: the same kinematics over
// whole NumPy arrays of poses, one call for many, the interpreter lock given
// up while the rows are computed.
#include <Python.h>

#define QUORVEL_BATCH_IMPORTS_NUMPY
#include "python/batch/numpy_api.hpp"

#include "python/batch/arm_argument.hpp"
#include "python/batch/functions.hpp"
#include "python/class_cell.hpp"
#include "python/entry_guard.hpp"
#include "python/py_ref.hpp"

namespace quorvel::python::batch {

namespace {

#define QUORVEL_SHARED_RAISES                                                                              \
    "Raises TypeError when `arm` is not a QuorvelArmKinematics or an array holds\n"                        \
    "something other than real numbers (strings, objects, complex), and ValueError\n"                      \
    "when an array has the wrong trailing shape; every message names the argument.\n"

PyMethodDef functions[] = {
    {"fk", as_cfunction(batch_fk), kFastKeywords,
     "fk(arm, joints)\n--\n\n"
     "Forward kinematics of many joint pairs: `joints` (..., 2) holds (θ_A, θ_B) in\n"
     "radians. Returns `(rotations, closed)`: rotations (..., 3, 3), float64, each the\n"
     "end-effector rotation in the arm's base frame as `arm.fk` gives it (columns e1,\n"
     "e2, v_3), and closed (...), bool. Rows whose loop does not close are NaN with\n"
     "closed False (where `arm.fk` raises RuntimeError).\n" QUORVEL_SHARED_RAISES},
    {"direction", as_cfunction(batch_direction), kFastKeywords,
     "direction(arm, joints)\n--\n\n"
     "Pointing directions v_3 of many joint pairs: `joints` (..., 2) in radians.\n"
     "Returns `(directions, closed)`: directions (..., 3), float64, unit vectors in the\n"
     "base frame as `arm.direction` gives them, and closed (...), bool; rows whose\n"
     "loop does not close are NaN with closed False.\n" QUORVEL_SHARED_RAISES},
    {"is_reachable_joints", as_cfunction(batch_is_reachable_joints), kFastKeywords,
     "is_reachable_joints(arm, joints)\n--\n\n"
     "Whether each joint pair of `joints` (..., 2), radians, closes the loop: a bool\n"
     "array of shape (...), equal to `arm.is_reachable_joints` row by row.\n" QUORVEL_SHARED_RAISES},
    {"ik", as_cfunction(batch_ik), kFastKeywords,
     "ik(arm, r_target)\n--\n\n"
     "Inverse kinematics of many end-effector rotations: `r_target` (..., 3, 3), each\n"
     "row-major in the base frame. Returns `(joints, found)`: joints (..., 2), float64\n"
     "(θ_A, θ_B) in radians as `arm.ik` gives them, and found (...), bool; rows with\n"
     "no pair within 1e-6 (Frobenius) are NaN with found False.\n" QUORVEL_SHARED_RAISES},
    {"ik_from_direction", as_cfunction(batch_ik_from_direction), kFastKeywords,
     "ik_from_direction(arm, v3, near=None)\n--\n\n"
     "Joint pairs pointing the arm along many directions: `v3` (..., 3) in the base\n"
     "frame, any non-zero length. `near`, radians, is None (the smallest-norm pair\n"
     "wins), one pair (2,) for every row, or (..., 2) broadcast against the leading\n"
     "shape of `v3` (NumPy's rules). Returns `(joints, found)`: joints of the\n"
     "broadcast shape + (2,), float64, as `arm.ik_from_direction` gives them, and\n"
     "found, bool; rows without a solution are NaN with found False.\n" QUORVEL_SHARED_RAISES
     "A `near` whose leading shape does not broadcast raises ValueError.\n"},
    {"follow_path", as_cfunction(batch_follow_path), kFastKeywords,
     "follow_path(arm, directions, start)\n--\n\n"
     "Joints along a trajectory of pointing directions: `directions` (N, 3) in the\n"
     "base frame, `start` (2,) the joint pair in radians the arm starts from. Row i is\n"
     "`arm.ik_from_direction(directions[i], near=previous)`, previous being `start`\n"
     "for the first row and the last pair found after that, so the path stays on its\n"
     "branch wherever the geometry allows. Returns `(joints, found)`: joints (N, 2),\n"
     "float64, radians, and found (N,), bool; rows without a solution are NaN with\n"
     "found False and leave `near` unchanged.\n" QUORVEL_SHARED_RAISES},
    {"direction_candidates", as_cfunction(batch_direction_candidates), kFastKeywords,
     "direction_candidates(arm, v3)\n--\n\n"
     "Every joint pair whose elbows suit each direction of `v3` (..., 3), base frame,\n"
     "normalised as `ik_from_direction` does. Returns `(joints, exists, reaches)`:\n"
     "joints (..., 4, 2), float64, radians, one slot per side of the two elbow\n"
     "closures, (+,+), (+,-), (-,+), (-,-), in the solver's enumeration order and\n"
     "each in [-π, π]; exists (..., 4), bool, False (and NaN joints) where a slot's\n"
     "closure or loop fails; reaches (..., 4), bool, True where the pair puts v_3\n"
     "within 1e-6 of the direction, the pairs `ik_from_direction` chooses among.\n"
     "Two reaching slots drawing together show a branch fold coming.\n" QUORVEL_SHARED_RAISES},
    {"nearest_pointing", as_cfunction(batch_nearest_pointing), kFastKeywords,
     "nearest_pointing(arm, r_target)\n--\n\n"
     "For target rotations `r_target` (..., 3, 3), row-major in the base frame, that\n"
     "may lie slightly off the reachable set: the joint pair pointing the arm along\n"
     "each target's third column (normalised) whose rotation is nearest the target.\n"
     "Returns `(joints, residual, found)`: joints (..., 2), float64, radians;\n"
     "residual (...), the Frobenius distance between the rotation reached and the\n"
     "target; found (...), bool. Where the direction itself cannot be reached, joints\n"
     "and residual are NaN and found False.\n" QUORVEL_SHARED_RAISES},
    {"neck_fk", as_cfunction(batch_neck_fk), kFastKeywords,
     "neck_fk(joints)\n--\n\n"
     "Neck forward kinematics: `joints` (..., 3) holds [yaw, pitch, roll] in radians.\n"
     "Returns the rotations (..., 3, 3), float64, of the head frame in the body frame,\n"
     "as `QuorvelNeckKinematics().fk` gives them.\n"
     "Raises TypeError for an array that is not of real numbers and ValueError for a\n"
     "wrong trailing shape, naming the argument.\n"},
    {"neck_ik", as_cfunction(batch_neck_ik), kFastKeywords,
     "neck_ik(r)\n--\n\n"
     "Neck inverse kinematics: `r` (..., 3, 3), rotations of the head frame in the\n"
     "body frame, row-major. Returns `(angles, ok)`: angles (..., 3), float64,\n"
     "[yaw, pitch, roll] in radians as `QuorvelNeckKinematics().ik` gives them, and\n"
     "ok (...), bool, False with NaN angles near gimbal lock (where the per-call\n"
     "method raises ValueError).\n"
     "Raises TypeError for an array that is not of real numbers and ValueError for a\n"
     "wrong trailing shape, naming the argument.\n"},
    {nullptr, nullptr, 0, nullptr},
};

#undef QUORVEL_SHARED_RAISES

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT,
    "quorvel_torso_kinematics_batch",
    "The kinematics of quorvel_torso_kinematics over NumPy arrays of poses.\n\n"
    "Every function takes arrays with any leading shape and returns new float64\n"
    "arrays (and bool masks where a pose can fail), equal bit for bit to the per-call\n"
    "methods row by row. Angles are radians. The interpreter lock is released while\n"
    "the rows are computed, so threads working on separate chunks run in parallel.",
    0,
    functions,
    nullptr, nullptr, nullptr, nullptr,
};

PyObject* module_cache = nullptr;

PyRef initialise() {
    if (module_cache != nullptr) return PyRef::borrow(module_cache);
    if (PyArray_ImportNumPyAPI() < 0) return {};
    if (!load_arm_class()) return {};
    PyRef module = PyRef::steal(PyModule_Create(&module_definition));
    if (!module) return {};
    if (module_cache == nullptr) module_cache = module.release();
    return PyRef::borrow(module_cache);
}

}  // namespace

}  // namespace quorvel::python::batch

PyMODINIT_FUNC PyInit_quorvel_torso_kinematics_batch() {
    return quorvel::python::guarded([] { return quorvel::python::batch::initialise(); });
}
