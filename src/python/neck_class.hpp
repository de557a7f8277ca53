#pragma once

#include "python/class_cell.hpp"

namespace quorvel::python {

// QuorvelNeckKinematics: the bare object header, no state at all.
extern ClassCell neck_class;

}  // namespace quorvel::python
