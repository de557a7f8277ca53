#pragma once

#include <Python.h>

#include <cstddef>
#include <string_view>

namespace quorvel::python {

// The declared parameters of one method; every parameter may be passed by
// position or by keyword (no positional-only or keyword-only ones here).
struct ArgumentDescriptor {
    const char* class_name;
    const char* method_name;
    const std::string_view* parameters;
    std::size_t parameter_count;
    std::size_t required;
};

// Fills slots[0 .. parameter_count) with borrowed references (null where a
// parameter was not passed). False with TypeError set when binding fails.
// The vector form, as METH_FASTCALL | METH_KEYWORDS delivers arguments:
bool bind_arguments_in_general(const ArgumentDescriptor& descriptor, PyObject* const* args, Py_ssize_t nargsf,
                               PyObject* kwnames, PyObject** slots);

inline bool bind_arguments(const ArgumentDescriptor& descriptor, PyObject* const* args, Py_ssize_t nargsf,
                           PyObject* kwnames, PyObject** slots) {
    // Inline for the controller's usual call: positional arguments only, all
    // required ones present, none too many. Anything else takes the full path.
    const auto given = static_cast<std::size_t>(PyVectorcall_NARGS(nargsf));
    if (kwnames != nullptr || given < descriptor.required || given > descriptor.parameter_count) {
        return bind_arguments_in_general(descriptor, args, nargsf, kwnames, slots);
    }
    for (std::size_t i = 0; i < descriptor.parameter_count; ++i) slots[i] = i < given ? args[i] : nullptr;
    return true;
}
// The tuple-and-dictionary form, as tp_new receives them:
bool bind_arguments(const ArgumentDescriptor& descriptor, PyObject* args, PyObject* kwargs, PyObject** slots);

}  // namespace quorvel::python
