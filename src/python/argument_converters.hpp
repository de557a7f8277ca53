#pragma once

#include <Python.h>

#include <optional>
#include <string_view>

#include "arm/joint_pair.hpp"
#include "linalg/matrix3.hpp"
#include "linalg/vector3.hpp"
#include "python/conversion_error.hpp"

namespace quorvel::python {

// Each converter reads one argument into a native value. False means the
// conversion failed and the interpreter's error is set (before the argument
// name is added by argument_error).
bool extract_float(PyObject* obj, double& out);
bool extract_flag(PyObject* obj, bool& out);
bool extract_vector3(PyObject* obj, Vector3& out);
bool extract_matrix3(PyObject* obj, Matrix3& out);
// obj may be null (argument not passed); null and None both mean no pair.
bool extract_optional_joint_pair(PyObject* obj, std::optional<JointPair>& out);
// The view points into obj's cached UTF-8 form and lives as long as obj.
bool extract_text(PyObject* obj, std::string_view& out);

// Converts one bound parameter, wrapping a failure with its name.
template <class T>
bool convert_argument(bool (*converter)(PyObject*, T&), PyObject* obj, const char* name, T& out) {
    if (converter(obj, out)) return true;
    argument_error(name);
    return false;
}

}  // namespace quorvel::python
