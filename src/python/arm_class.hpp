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

// The capsule the array companion reaches arms through (python/arm_capsule.hpp);
// empty with the interpreter's error on failure. Call after the class exists.
PyRef make_arm_capsule();

inline const SphericalLinkGeometry& geometry_of(PyObject* arm) {
    return reinterpret_cast<ArmObject*>(arm)->geometry;
}

// The kinematics methods, for the class's method table: forward ones in
// arm_forward_methods.cpp, inverse ones in arm_inverse_methods.cpp.
PyObject* arm_fk(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames);
PyObject* arm_direction(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames);
PyObject* arm_is_reachable_joints(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames);
PyObject* arm_ik(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames);
PyObject* arm_ik_from_direction(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames);
PyObject* arm_is_reachable_orientation(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames);
PyObject* arm_is_reachable_direction(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames);

}  // namespace quorvel::python
