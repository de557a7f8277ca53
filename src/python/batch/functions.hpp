#pragma once

#include <Python.h>

namespace quorvel::python::batch {

// The module's functions, one unit per group; every one takes its arguments
// as METH_FASTCALL | METH_KEYWORDS delivers them.
#define QUORVEL_BATCH_FUNCTION(name) \
    PyObject* name(PyObject* module, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames)

QUORVEL_BATCH_FUNCTION(batch_fk);
QUORVEL_BATCH_FUNCTION(batch_direction);
QUORVEL_BATCH_FUNCTION(batch_is_reachable_joints);
QUORVEL_BATCH_FUNCTION(batch_ik);
QUORVEL_BATCH_FUNCTION(batch_ik_from_direction);
QUORVEL_BATCH_FUNCTION(batch_follow_path);
QUORVEL_BATCH_FUNCTION(batch_direction_candidates);
QUORVEL_BATCH_FUNCTION(batch_nearest_pointing);
QUORVEL_BATCH_FUNCTION(batch_neck_fk);
QUORVEL_BATCH_FUNCTION(batch_neck_ik);

#undef QUORVEL_BATCH_FUNCTION

}  // namespace quorvel::python::batch
