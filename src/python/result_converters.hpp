#pragma once

#include <Python.h>

#include "arm/joint_pair.hpp"
#include "linalg/matrix3.hpp"
#include "linalg/vector3.hpp"
#include "python/py_ref.hpp"

namespace quorvel::python {

// Each builds a new object owned by the caller. Failing to build one (out of
// memory) prints the interpreter's error and raises an internal fault.
[[noreturn]] PyRef creation_failed();
inline PyRef created(PyObject* object) { return object != nullptr ? PyRef::steal(object) : creation_failed(); }

// The accessors' results, inline: their whole cost is the object itself.
inline PyRef float_to_python(double value) { return created(PyFloat_FromDouble(value)); }
inline PyRef flag_to_python(bool value) { return PyRef::borrow(value ? Py_True : Py_False); }
PyRef vector3_to_list(const Vector3& v);
PyRef matrix3_to_list(const Matrix3& m);
PyRef joint_pair_to_tuple(const JointPair& pair);
PyRef angles3_to_tuple(double first, double second, double third);

}  // namespace quorvel::python
