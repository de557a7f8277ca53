#include "python/arm_class.hpp"

namespace quorvel::python {

namespace {

PyMethodDef arm_methods[] = {
    {"default_left", as_cfunction(arm_default_left), METH_NOARGS | METH_STATIC,
     "default_left()\n--\n\nBuild the default left-arm geometry."},
    {"default_right", as_cfunction(arm_default_right), METH_NOARGS | METH_STATIC,
     "default_right()\n--\n\nBuild the default right-arm geometry (mirror of left)."},
    {"from_json", as_cfunction(arm_from_json), kFastKeywords | METH_STATIC,
     "from_json(json)\n--\n\nBuild the arm from a JSON string matching `SphericalLinkGeometry`."},
    {"fk", as_cfunction(arm_fk), kFastKeywords,
     "fk($self, theta_a, theta_b)\n--\n\nForward kinematics: `(θ_A, θ_B)` → 3×3 rotation of the end-effector.\n"
     "Raises `RuntimeError` when the loop fails to close (target joint\npair is outside the workspace)."},
    {"ik", as_cfunction(arm_ik), kFastKeywords,
     "ik($self, r_target)\n--\n\nInverse kinematics: 3×3 rotation → `(θ_A, θ_B)`.\n"
     "Raises `RuntimeError` when the target orientation isn't reachable."},
    {"ik_from_direction", as_cfunction(arm_ik_from_direction), kFastKeywords,
     "ik_from_direction($self, v3, near=None)\n--\n\nInverse kinematics from just the end-effector pointing direction\n"
     "(3-vector, automatically normalized). When multiple `(θ_A, θ_B)`\nbranches reach the same direction, `near` "
     "(an optional current\njoint pair) picks the closest one; otherwise the smallest-norm\nsolution wins."},
    {"direction", as_cfunction(arm_direction), kFastKeywords,
     "direction($self, theta_a, theta_b)\n--\n\nForward kinematics that returns just the end-effector pointing\n"
     "direction (the third column of the FK rotation, equal to `v_3`)."},
    {"is_reachable_joints", as_cfunction(arm_is_reachable_joints), kFastKeywords,
     "is_reachable_joints($self, theta_a, theta_b)\n--\n\n"
     "Whether `(θ_A, θ_B)` lands inside the workspace (loop closes)."},
    {"is_reachable_orientation", as_cfunction(arm_is_reachable_orientation), kFastKeywords,
     "is_reachable_orientation($self, r_target)\n--\n\n"
     "Whether `r_target` is on the reachable manifold (IK succeeds)."},
    {"is_reachable_direction", as_cfunction(arm_is_reachable_direction), kFastKeywords,
     "is_reachable_direction($self, v3)\n--\n\nWhether the pointing direction `v3` (3-vector, auto-normalized)\n"
     "is on the reachable manifold."},
    {"arm_arc", as_cfunction(arm_arm_arc), METH_NOARGS, "arm_arc($self)\n--\n\n"},
    {"coupler_arc", as_cfunction(arm_coupler_arc), METH_NOARGS, "coupler_arc($self)\n--\n\n"},
    {"mirror", as_cfunction(arm_mirror), METH_NOARGS, "mirror($self)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

ClassCell arm_class = {
    "QuorvelArmKinematics",
    "quorvel_torso_kinematics.QuorvelArmKinematics",
    "(arm_arc=0.7, coupler_arc=0.5, mirror=False)",
    static_cast<int>(sizeof(ArmObject)),
    arm_new,
    arm_methods,
};

PyRef allocate_arm(PyTypeObject* type, const SphericalLinkGeometry& geometry) {
    PyRef arm = PyRef::steal(type->tp_alloc(type, 0));
    if (arm) reinterpret_cast<ArmObject*>(arm.get())->geometry = geometry;
    return arm;
}

PyRef create_arm(const SphericalLinkGeometry& geometry) { return allocate_arm(fetch_class(arm_class), geometry); }

}  // namespace quorvel::python
