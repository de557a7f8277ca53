#pragma once

#include <Python.h>

#include <array>
#include <string>

#include "arm/spherical_link_geometry.hpp"
#include "python/argument_binding.hpp"
#include "python/batch/array_input.hpp"
#include "python/batch/function_decl.hpp"
#include "python/batch/row_plan.hpp"
#include "python/py_ref.hpp"

namespace quorvel::python::batch {

// What a row body reads besides its rows.
struct Call {
    SphericalLinkGeometry geometry;
    double option[kMaxParams] = {};  // Float parameters, by parameter index
};

// One function's binding to the interpreter, made once: its parameters
// (workers appended, keyword only) and its documentation, whose signature
// line is written from the declaration so the two cannot disagree.
struct FunctionBinding {
    explicit FunctionBinding(const FunctionDecl& decl);
    std::array<Parameter, kMaxParams + 1> parameters;
    ArgumentDescriptor descriptor;
    std::string doc;
};

// A call bound, converted and planned, its results allocated: everything the
// rows need, none of it read from an argument's Python object again.
struct PreparedCall {
    Call call;
    ArrayInput arrays[kMaxParams];
    const double* bases[kMaxParams] = {};  // null: not an array, or not given
    RowPlan plan;
    PyRef results[kMaxOutputs];
    char* result_data[kMaxOutputs] = {};
    int workers = 1;
};

// Binds the arguments, converts them in declaration order, broadcasts the
// leading shapes and allocates every result. False with the error set (each
// message naming its argument).
bool prepare_call(const FunctionDecl& decl, const FunctionBinding& binding, PyObject* const* args, Py_ssize_t nargsf,
                  PyObject* kwnames, PreparedCall& prepared);

// The results as the function returns them: one array, a tuple, or the
// decl's named tuple.
PyRef finish_call(const FunctionDecl& decl, PreparedCall& prepared);

}  // namespace quorvel::python::batch
