#pragma once

#include <Python.h>

#include "arm/spherical_link_geometry.hpp"

namespace quorvel::python::batch {

// Looks up QuorvelArmKinematics in the imported main module, once, and
// checks that its instances have the layout this module reads. False with
// ImportError (or the import's own error) otherwise.
bool load_arm_class();

// The geometry of an arm object, copied (branch included). False with
// TypeError "argument 'arm': ..." when obj is not a QuorvelArmKinematics.
bool extract_geometry(PyObject* obj, SphericalLinkGeometry& out);

}  // namespace quorvel::python::batch
