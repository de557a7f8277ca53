#pragma once

#include <Python.h>

#include "arm/spherical_link_geometry.hpp"
#include "python/class_cell.hpp"
#include "python/py_ref.hpp"

namespace quorvel::python {

// A QuorvelArmKinematics instance: one geometry, by value, never changed.
struct ArmObject {
    PyObject_HEAD
    SphericalLinkGeometry geometry;
};

extern ClassCell arm_class;

inline const SphericalLinkGeometry& geometry_of(PyObject* arm) {
    return reinterpret_cast<ArmObject*>(arm)->geometry;
}

// A new instance of `type` holding the geometry (empty with the allocator's
// error set on failure).
PyRef allocate_arm(PyTypeObject* type, const SphericalLinkGeometry& geometry);
// The same for the class itself: the presets and from_json.
PyRef create_arm(const SphericalLinkGeometry& geometry);

// Method entry points, one unit per group.
PyObject* arm_new(PyTypeObject* type, PyObject* args, PyObject* kwargs);
PyObject* arm_default_left(PyObject* self, PyObject* unused);
PyObject* arm_default_right(PyObject* self, PyObject* unused);
PyObject* arm_from_json(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames);
PyObject* arm_fk(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames);
PyObject* arm_direction(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames);
PyObject* arm_is_reachable_joints(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames);
PyObject* arm_ik(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames);
PyObject* arm_ik_from_direction(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames);
PyObject* arm_is_reachable_orientation(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames);
PyObject* arm_is_reachable_direction(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames);
PyObject* arm_arm_arc(PyObject* self, PyObject* unused);
PyObject* arm_coupler_arc(PyObject* self, PyObject* unused);
PyObject* arm_mirror(PyObject* self, PyObject* unused);

}  // namespace quorvel::python
