#pragma once

#include <Python.h>

namespace quorvel::python::batch {

// An arm's geometry as plain data, for processes and machines the arm object
// cannot travel to: geometry(arm) gives a dict, to_json(arm) a geometry
// document that QuorvelArmKinematics.from_json reads back to the same record.
extern PyMethodDef geometry_method;
extern PyMethodDef to_json_method;

// Registers pickling for arms with copyreg: an arm reduces to from_json of
// its to_json, so unpickling needs only the main module. False with the error.
bool register_arm_pickling();

}  // namespace quorvel::python::batch
