#include "python/batch/row_plan.hpp"

#include <string>

#include "python/batch/shape_text.hpp"

namespace quorvel::python::batch {

namespace {

bool raise_no_broadcast(const PlannedInput& first, const LeadingShape& so_far, const PlannedInput& input) {
    const std::string a = shape_text(so_far.ndim, so_far.dims);
    const LeadingShape& own = input.array->leading();
    const std::string b = shape_text(own.ndim, own.dims);
    const char* expected = input.param->broadcast_text != nullptr ? input.param->broadcast_text : input.param->shape.text;
    PyErr_Format(PyExc_ValueError,
                 "argument '%s': expected an array of shape %s whose leading shape broadcasts with the leading "
                 "shape %s of '%s', got leading shape %s",
                 input.name, expected, a.c_str(), first.name, b.c_str());
    return false;
}

// Folds one argument's leading shape into the broadcast one.
bool broadcast_into(LeadingShape& lead, const LeadingShape& own) {
    const int ndim = lead.ndim > own.ndim ? lead.ndim : own.ndim;
    LeadingShape out;
    out.ndim = ndim;
    for (int i = 0; i < ndim; ++i) {
        const int a = i - (ndim - lead.ndim);
        const int b = i - (ndim - own.ndim);
        const npy_intp da = a >= 0 ? lead.dims[a] : 1;
        const npy_intp db = b >= 0 ? own.dims[b] : 1;
        if (da != db && da != 1 && db != 1) return false;
        out.dims[i] = da == 1 ? db : da;
    }
    lead = out;
    return true;
}

// The result arrays must be possible: NumPy's dimension limit, and their
// byte size (zero dimensions aside, as NumPy counts it) within npy_intp.
bool results_fit(const LeadingShape& lead, const FunctionDecl& decl, const char* name) {
    int trailing_ndim = 0;
    npy_intp row_bytes = 1;
    for (std::size_t k = 0; k < decl.output_count; ++k) {
        const Output& out = decl.outputs[k];
        if (out.trailing_ndim > trailing_ndim) trailing_ndim = out.trailing_ndim;
        if (out.row_size() * out.item_size() > row_bytes) row_bytes = out.row_size() * out.item_size();
    }
    if (lead.ndim + trailing_ndim > NPY_MAXDIMS) {
        PyErr_Format(PyExc_ValueError, "argument '%s': the result would have %d dimensions, more than NumPy's %d",
                     name, lead.ndim + trailing_ndim, NPY_MAXDIMS);
        return false;
    }
    npy_intp bytes = row_bytes;
    for (int i = 0; i < lead.ndim; ++i) {
        if (lead.dims[i] != 0 && __builtin_mul_overflow(bytes, lead.dims[i], &bytes)) {
            const std::string text = shape_text(lead.ndim, lead.dims);
            PyErr_Format(PyExc_ValueError, "argument '%s': the results of the leading shape %s would be too large",
                         name, text.c_str());
            return false;
        }
    }
    return true;
}

}  // namespace

void RowPlan::locate(npy_intp row, npy_intp* index) const {
    for (int d = ndim - 1; d >= 0; --d) {
        index[d] = dims[d] == 0 ? 0 : row % dims[d];
        row = dims[d] == 0 ? 0 : row / dims[d];
    }
}

void RowPlan::advance(npy_intp* index, npy_intp n) const {
    int d = ndim - 1;
    index[d] += n;
    while (d > 0 && index[d] == dims[d]) {
        index[d] = 0;
        ++index[--d];
    }
}

const double* RowPlan::at(std::size_t param, const double* base, const npy_intp* index) const {
    npy_intp offset = 0;
    for (int d = 0; d < ndim; ++d) offset += index[d] * strides[param][d];
    return base + offset;
}

bool plan_rows(const PlannedInput* inputs, std::size_t count, const FunctionDecl& decl, RowPlan& plan) {
    const PlannedInput* first = nullptr;
    for (std::size_t k = 0; k < count; ++k) {
        const PlannedInput& input = inputs[k];
        if (input.array == nullptr || input.param->shape.lead == Lead::None) continue;
        const LeadingShape before = plan.lead;
        if (!broadcast_into(plan.lead, input.array->leading())) return raise_no_broadcast(*first, before, input);
        if (!results_fit(plan.lead, decl, input.name)) return false;
        if (first == nullptr) first = &input;
    }
    const LeadingShape& lead = plan.lead;
    plan.rows = 1;
    for (int i = 0; i < lead.ndim; ++i) plan.rows *= lead.dims[i];  // bounded by results_fit

    // Strides of the full leading shape, then merged from the innermost out.
    npy_intp strides[kMaxParams][NPY_MAXDIMS] = {};
    for (std::size_t k = 0; k < count; ++k) {
        if (inputs[k].array == nullptr || inputs[k].param->shape.lead == Lead::None) continue;
        const LeadingShape& own = inputs[k].array->leading();
        npy_intp step = inputs[k].param->shape.row_size();
        for (int d = lead.ndim - 1; d >= 0; --d) {
            const int o = d - (lead.ndim - own.ndim);
            const npy_intp own_dim = o >= 0 ? own.dims[o] : 1;
            strides[k][d] = own_dim == 1 ? 0 : step;
            step *= own_dim;
        }
    }
    plan.ndim = 0;
    for (int d = 0; d < lead.ndim; ++d) {
        if (lead.dims[d] == 1) continue;
        if (plan.ndim > 0) {
            // One step along the kept dimension before equals a full walk along
            // this one, for every argument: the two are one dimension.
            const int p = plan.ndim - 1;
            bool merges = true;
            for (std::size_t k = 0; k < count; ++k) merges = merges && plan.strides[k][p] == strides[k][d] * lead.dims[d];
            if (merges) {
                plan.dims[p] *= lead.dims[d];
                for (std::size_t k = 0; k < count; ++k) plan.strides[k][p] = strides[k][d];
                continue;
            }
        }
        plan.dims[plan.ndim] = lead.dims[d];
        for (std::size_t k = 0; k < count; ++k) plan.strides[k][plan.ndim] = strides[k][d];
        ++plan.ndim;
    }
    if (plan.ndim == 0) {
        plan.ndim = 1;
        plan.dims[0] = 1;
    }
    return true;
}

}  // namespace quorvel::python::batch
