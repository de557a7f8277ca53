// QuorvelArmKinematics as a type: its constructors (the class call, the
// presets, from_json), the geometry accessors, the method table and the
// class cell. The kinematics methods live in arm_forward_methods.cpp and
// arm_inverse_methods.cpp.
#include "python/arm_class.hpp"

#include <string>
#include <string_view>

#include "geometry_doc/geometry_document.hpp"
#include "python/argument_binding.hpp"
#include "python/argument_converters.hpp"
#include "python/arm_capsule.hpp"
#include "python/entry_guard.hpp"
#include "python/method_table.hpp"
#include "python/result_converters.hpp"

namespace quorvel::python {

namespace {

constinit Parameter kNewParameters[] = {{"arm_arc"}, {"coupler_arc"}, {"mirror"}};
constexpr ArgumentDescriptor kNew = {"QuorvelArmKinematics", "__new__", kNewParameters, 3, 0};
constinit Parameter kJsonParameters[] = {{"json"}};
constexpr ArgumentDescriptor kFromJson = {"QuorvelArmKinematics", "from_json", kJsonParameters, 1, 1};

// A new instance of `type` holding the geometry (empty with the allocator's
// error set on failure).
PyRef allocate_arm(PyTypeObject* type, const SphericalLinkGeometry& geometry) {
    PyRef arm = PyRef::steal(type->tp_alloc(type, 0));
    if (arm) reinterpret_cast<ArmObject*>(arm.get())->geometry = geometry;
    return arm;
}

// The same for the class itself: the presets and from_json.
PyRef create_arm(const SphericalLinkGeometry& geometry) { return allocate_arm(fetch_class(arm_class), geometry); }

PyObject* arm_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    return guarded([&]() -> PyRef {
        BoundSlots<3> slots;
        if (!bind_arguments(kNew, args, kwargs, slots)) return {};
        // Arguments left out take the defaults; an explicit None does not.
        SphericalLinkGeometry geometry;
        if (slots[0] != nullptr && !convert_argument(extract_float, slots[0], "arm_arc", geometry.arm_arc)) return {};
        if (slots[1] != nullptr && !convert_argument(extract_float, slots[1], "coupler_arc", geometry.coupler_arc)) {
            return {};
        }
        if (slots[2] != nullptr && !convert_argument(extract_flag, slots[2], "mirror", geometry.mirror)) return {};
        return allocate_arm(type, geometry);
    });
}

PyObject* arm_default_left(PyObject*, PyObject*) {
    return guarded([] { return create_arm(default_left_geometry()); });
}

PyObject* arm_default_right(PyObject*, PyObject*) {
    return guarded([] { return create_arm(default_right_geometry()); });
}

PyObject* arm_from_json(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return guarded([&]() -> PyRef {
        PyObject* slot = nullptr;
        if (!bind_arguments(kFromJson, args, nargsf, kwnames, &slot)) return {};
        std::string_view text;
        if (!convert_argument(extract_text, slot, "json", text)) return {};
        const GeometryDocumentResult document = parse_geometry_document(text);
        if (!document.geometry) {
            // Built from the length-carrying text: a NUL inside a quoted value
            // must not cut the message short.
            const std::string message = "Invalid arms.json: " + document.error;
            PyRef text_object = PyRef::steal(
                PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace"));
            if (text_object) PyErr_SetObject(PyExc_ValueError, text_object.get());
            return {};
        }
        return create_arm(*document.geometry);
    });
}

template <class Read>
PyObject* accessor(PyObject* self, Read read) {
    return guarded([&]() -> PyRef {
        if (!check_receiver(self, arm_class)) return {};
        return read(geometry_of(self));
    });
}

PyObject* arm_arm_arc(PyObject* self, PyObject*) {
    return accessor(self, [](const SphericalLinkGeometry& g) { return float_to_python(g.arm_arc); });
}

PyObject* arm_coupler_arc(PyObject* self, PyObject*) {
    return accessor(self, [](const SphericalLinkGeometry& g) { return float_to_python(g.coupler_arc); });
}

PyObject* arm_mirror(PyObject* self, PyObject*) {
    return accessor(self, [](const SphericalLinkGeometry& g) { return flag_to_python(g.mirror); });
}

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

bool read_geometry(PyObject* obj, SphericalLinkGeometry* out) {
    if (obj == nullptr || arm_class.type == nullptr || !PyObject_TypeCheck(obj, arm_class.type)) return false;
    *out = geometry_of(obj);
    return true;
}

ArmCapsule capsule_record = {kArmCapsuleLayout, nullptr, read_geometry};

}  // namespace

PyRef make_arm_capsule() {
    capsule_record.arm_type = fetch_class(arm_class);
    return PyRef::steal(PyCapsule_New(&capsule_record, kArmCapsuleName, nullptr));
}

ClassCell arm_class = {
    "QuorvelArmKinematics",
    "quorvel_torso_kinematics.QuorvelArmKinematics",
    "(arm_arc=0.7, coupler_arc=0.5, mirror=False)",
    static_cast<int>(sizeof(ArmObject)),
    arm_new,
    arm_methods,
};

}  // namespace quorvel::python
