#pragma once

#include <Python.h>

namespace quorvel::python {

// How the converters recognise other modules' types; nothing is imported.
//
// Types whose memory is read in place, by identity with the type their loaded
// module holds: without the module loaded no such object can exist, and the
// answer is false. A look-alike type is never taken for them; finding the
// real ones runs no Python code.
bool is_ndarray(PyTypeObject* type);      // exactly numpy.ndarray
bool is_array_array(PyTypeObject* type);  // exactly array.array

// NumPy's booleans, by the names of their type (module "numpy", name "bool_"
// or "bool"): only the type's own truth slot is called on them, which is safe
// for any type, so NumPy need not even be loaded to tell. Reading the names
// may run Python code.
bool is_numpy_bool_by_name(PyTypeObject* type);

}  // namespace quorvel::python
