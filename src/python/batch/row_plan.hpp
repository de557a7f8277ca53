#pragma once

#include <cstddef>

#include "python/batch/array_input.hpp"
#include "python/batch/function_decl.hpp"
#include "python/batch/numpy_api.hpp"

namespace quorvel::python::batch {

// One parameter as the planner sees it.
struct PlannedInput {
    const char* name = nullptr;
    const ArrayInput* array = nullptr;  // null: not an array, or not given
    const Param* param = nullptr;
};

// How the rows of one call are walked: the broadcast leading shape that the
// results take, and for every array argument how far apart its rows lie
// along each dimension. Dimensions that walk every argument alike are merged,
// so the usual call is one run of rows.
struct RowPlan {
    LeadingShape lead;
    npy_intp rows = 0;
    int ndim = 1;
    npy_intp dims[NPY_MAXDIMS] = {1};
    // doubles from one index to the next, by parameter; 0 where the argument
    // repeats along that dimension
    npy_intp strides[kMaxParams][NPY_MAXDIMS] = {};

    // The multi-index of a row, counted in row-major order.
    void locate(npy_intp row, npy_intp* index) const;
    // Moves the index n rows on; n never passes the end of the last dimension.
    void advance(npy_intp* index, npy_intp n) const;
    const double* at(std::size_t param, const double* base, const npy_intp* index) const;
};

// NumPy's broadcasting of the leading shapes, counted without overflow.
// False with ValueError naming the argument when shapes do not broadcast, or
// the results would exceed NumPy's dimensions or an array's size.
bool plan_rows(const PlannedInput* inputs, std::size_t count, const FunctionDecl& decl, RowPlan& plan);

}  // namespace quorvel::python::batch
