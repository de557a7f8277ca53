#pragma once

#include <Python.h>

#include "arm/spherical_link_geometry.hpp"
#include "python/py_ref.hpp"

namespace quorvel::python::batch {

// Takes the main module's arm capsule (python/arm_capsule.hpp), once. False
// with ImportError when the main module cannot be imported or carries no
// capsule this build understands.
bool load_arm_access();

// The geometry of an arm object, copied (branch included). False with
// TypeError "argument 'arm': ..." when obj is not a QuorvelArmKinematics.
bool extract_geometry(PyObject* obj, SphericalLinkGeometry& out);


// The main module's arm class, once load_arm_access succeeded.
PyRef arm_type();

}  // namespace quorvel::python::batch
