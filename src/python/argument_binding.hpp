#pragma once

#include <Python.h>

#include <cstddef>
#include <initializer_list>

namespace quorvel::python {

// The declared parameters of one method; every parameter may be passed by
// position or by keyword (no positional-only or keyword-only ones here).
struct ArgumentDescriptor {
    const char* class_name;
    const char* method_name;
    const char* const* parameters;
    std::size_t parameter_count;
    std::size_t required;
};

// Fills slots[0 .. parameter_count) with borrowed references (null where a
// parameter was not passed). False with TypeError set when binding fails.
// The vector form, as METH_FASTCALL | METH_KEYWORDS delivers arguments:
bool bind_arguments(const ArgumentDescriptor& descriptor, PyObject* const* args, Py_ssize_t nargsf,
                    PyObject* kwnames, PyObject** slots);
// The tuple-and-dictionary form, as tp_new receives them:
bool bind_arguments(const ArgumentDescriptor& descriptor, PyObject* args, PyObject* kwargs, PyObject** slots);

}  // namespace quorvel::python
