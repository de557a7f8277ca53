#pragma once

// The one way this module includes NumPy: every unit shares the API table
// that the module's initialisation imports (the others see it as extern).
#include <Python.h>

#define NPY_NO_DEPRECATED_API NPY_2_0_API_VERSION
#define NPY_TARGET_VERSION NPY_2_0_API_VERSION
#define PY_ARRAY_UNIQUE_SYMBOL quorvel_batch_numpy_api
#ifndef QUORVEL_BATCH_IMPORTS_NUMPY
#define NO_IMPORT_ARRAY
#endif
#include <numpy/arrayobject.h>
