#include "python/batch/prepared_call.hpp"

#include <climits>
#include <string_view>

#include "python/argument_converters.hpp"
#include "python/batch/arm_access.hpp"
#include "python/batch/worker_threads.hpp"
#include "python/conversion_error.hpp"

namespace quorvel::python::batch {

namespace {

constexpr const char* kArmRaises =
    "Raises TypeError when `arm` is not a QuorvelArmKinematics or an array holds\n"
    "something other than real numbers (strings, objects, complex), and ValueError\n"
    "when an array has the wrong trailing shape; every message names the argument.\n";
constexpr const char* kArraysRaises =
    "Raises TypeError for an array that is not of real numbers and ValueError for a\n"
    "wrong trailing shape, naming the argument.\n";
constexpr const char* kWorkersText =
    "`workers` splits the rows over that many threads (-1: every core); the results\n"
    "are the same bits for any value. ValueError for anything but a count >= 1 or -1.\n";

bool is_optional(const Param& param) { return param.default_text != nullptr; }

std::string signature(const FunctionDecl& decl) {
    std::string text = std::string(decl.name) + "(";
    bool keywords = false;
    for (std::size_t k = 0; k < decl.param_count; ++k) {
        const Param& param = decl.params[k];
        if (param.keyword_only && !keywords) {
            text += "*, ";
            keywords = true;
        }
        text.append(param.name);
        if (is_optional(param)) text.append("=").append(param.default_text);
        text += ", ";
    }
    return text + (keywords ? "" : "*, ") + "workers=1)";
}

// workers: 1 or more, or -1 for every core.
bool convert_workers(PyObject* obj, int& out) {
    if (obj == nullptr) {
        out = 1;
        return true;
    }
    if (!PyLong_Check(obj) || PyBool_Check(obj)) {
        raise_cannot_convert(Py_TYPE(obj), "int");
        argument_error("workers");
        return false;
    }
    int overflow = 0;
    const long value = PyLong_AsLongAndOverflow(obj, &overflow);
    if (value == -1 && PyErr_Occurred()) return false;
    if (overflow != 0 || value == 0 || value < -1 || value > INT_MAX) {
        PyErr_Format(PyExc_ValueError, "argument 'workers': expected a number of threads >= 1, or -1 for every "
                     "core, got %R", obj);
        return false;
    }
    out = resolve_workers(static_cast<int>(value));
    return true;
}

bool convert_param(const Param& param, PyObject* obj, std::size_t k, PreparedCall& p) {
    const bool absent = obj == nullptr || (obj == Py_None && is_optional(param));
    switch (param.kind) {
        case ParamKind::Arm:
            return extract_geometry(obj, p.call.geometry);
        case ParamKind::Array:
        case ParamKind::OptionalArray:
            if (absent) return true;
            if (!p.arrays[k].convert(obj, param.name, param.shape)) return false;
            p.bases[k] = p.arrays[k].data();
            return param.check == nullptr || param.check(p.bases[k], param.name);
        case ParamKind::Float:
            if (absent) {
                p.call.option[k] = param.default_value;
                return true;
            }
            return convert_argument(extract_float, obj, param.name, p.call.option[k]) &&
                   (param.check == nullptr || param.check(&p.call.option[k], param.name));
    }
    return false;
}

bool allocate_results(const FunctionDecl& decl, PreparedCall& p) {
    const LeadingShape& lead = p.plan.lead;
    for (std::size_t k = 0; k < decl.output_count; ++k) {
        const Output& out = decl.outputs[k];
        npy_intp dims[NPY_MAXDIMS];
        for (int i = 0; i < lead.ndim; ++i) dims[i] = lead.dims[i];
        for (int i = 0; i < out.trailing_ndim; ++i) dims[lead.ndim + i] = out.trailing[i];
        const int typenum = out.kind == OutKind::Values ? NPY_DOUBLE : out.kind == OutKind::Slot ? NPY_INT8 : NPY_BOOL;
        p.results[k] = PyRef::steal(PyArray_SimpleNew(lead.ndim + out.trailing_ndim, dims, typenum));
        if (!p.results[k]) return false;
        p.result_data[k] = static_cast<char*>(PyArray_DATA(reinterpret_cast<PyArrayObject*>(p.results[k].get())));
    }
    return true;
}

}  // namespace

FunctionBinding::FunctionBinding(const FunctionDecl& decl) : parameters{}, descriptor{} {
    std::size_t required = 0;
    std::size_t keyword_only = 1;  // workers
    bool has_arm = false;
    for (std::size_t k = 0; k < decl.param_count; ++k) {
        parameters[k] = Parameter{decl.params[k].name};
        if (!is_optional(decl.params[k])) required = k + 1;
        if (decl.params[k].keyword_only) ++keyword_only;
        has_arm = has_arm || decl.params[k].kind == ParamKind::Arm;
    }
    parameters[decl.param_count] = Parameter{"workers"};
    descriptor = ArgumentDescriptor{nullptr, decl.name, parameters.data(), decl.param_count + 1, required, keyword_only};
    doc = signature(decl) + "\n--\n\n" + decl.doc + (has_arm ? kArmRaises : kArraysRaises) + kWorkersText;
}

bool prepare_call(const FunctionDecl& decl, const FunctionBinding& binding, PyObject* const* args, Py_ssize_t nargsf,
                  PyObject* kwnames, PreparedCall& p) {
    PyObject* slots[kMaxParams + 1];
    if (!bind_arguments(binding.descriptor, args, nargsf, kwnames, slots)) return false;
    PlannedInput inputs[kMaxParams];
    for (std::size_t k = 0; k < decl.param_count; ++k) {
        if (!convert_param(decl.params[k], slots[k], k, p)) return false;
        inputs[k] = {decl.params[k].name, p.bases[k] != nullptr ? &p.arrays[k] : nullptr, &decl.params[k]};
    }
    return convert_workers(slots[decl.param_count], p.workers) && plan_rows(inputs, decl.param_count, decl, p.plan) &&
           allocate_results(decl, p);
}

PyRef finish_call(const FunctionDecl& decl, PreparedCall& p) {
    if (decl.output_count == 1) return std::move(p.results[0]);
    const auto count = static_cast<Py_ssize_t>(decl.output_count);
    PyRef result = PyRef::steal(decl.result_type != nullptr ? PyStructSequence_New(*decl.result_type)
                                                            : PyTuple_New(count));
    if (!result) return {};
    for (Py_ssize_t k = 0; k < count; ++k) {
        // Both set-item forms steal the reference.
        PyObject* item = p.results[k].release();
        if (decl.result_type != nullptr) {
            PyStructSequence_SetItem(result.get(), k, item);
        } else {
            PyTuple_SET_ITEM(result.get(), k, item);
        }
    }
    return result;
}

}  // namespace quorvel::python::batch
