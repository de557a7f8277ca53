#pragma once

// The one loop every function of the module runs. A function is a kernel: a
// struct with its declaration (`static constexpr FunctionDecl decl`) and a
// row body (`static bool row(const Call&, const Row&)`, or with a third
// `State&` argument for a kernel whose rows depend on the ones before, which
// then runs on one thread). The loop binds and converts the arguments,
// broadcasts them, allocates the results, gives up the interpreter lock and
// runs the rows over the workers; where the body returns false it writes the
// row's "no answer" (NaN values, false flags and masks, slot -1), and it sets
// every mask false where the row's values hold a NaN.
#include <Python.h>

#include <cstdint>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <utility>

#include "python/batch/function_decl.hpp"
#include "python/batch/interpreter_lock.hpp"
#include "python/batch/prepared_call.hpp"
#include "python/batch/worker_threads.hpp"
#include "python/entry_guard.hpp"

namespace quorvel::python::batch {

// Results are NumPy's allocations, aligned for any element type: rows are
// addressed in bytes and written as their element type.
template <class T>
inline T* elements(char* bytes) {
    return static_cast<T*>(static_cast<void*>(bytes));
}
template <class T>
inline const T* elements(const char* bytes) {
    return static_cast<const T*>(static_cast<const void*>(bytes));
}

// One row as its body sees it: by parameter index, where its values start
// (null for an optional array not given); by output index, where to write.
struct Row {
    const double* in[kMaxParams];
    char* out[kMaxOutputs];

    double* values(std::size_t k) const { return elements<double>(out[k]); }
    npy_bool* flags(std::size_t k) const { return elements<npy_bool>(out[k]); }
    std::int8_t* slot(std::size_t k) const { return elements<std::int8_t>(out[k]); }
};

template <class K>
concept SequentialKernel = requires { typename K::State; };

namespace row_loop_detail {

struct NoState {};

template <Output O>
inline void write_no_answer(char* out) {
    if constexpr (O.kind == OutKind::Values) {
        double* v = elements<double>(out);
        for (npy_intp e = 0; e < O.row_size(); ++e) v[e] = __builtin_nan("");
    } else if constexpr (O.kind == OutKind::Slot) {
        *elements<std::int8_t>(out) = -1;
    } else {
        for (npy_intp e = 0; e < O.row_size(); ++e) out[e] = 0;
    }
}

// Two doubles at a time, every entry compared, no early exit: a row's check
// costs a few instructions beside a kinematics call of hundreds.
template <Output O>
inline bool holds_nan(const char* out) {
    if constexpr (O.kind != OutKind::Values) {
        return false;
    } else {
        const double* v = elements<double>(out);
        constexpr npy_intp n = O.row_size();
#if defined(__SSE2__)
        __m128d nan = _mm_setzero_pd();
        for (npy_intp e = 0; e + 1 < n; e += 2) {
            const __m128d pair = _mm_loadu_pd(v + e);
            nan = _mm_or_pd(nan, _mm_cmpunord_pd(pair, pair));
        }
        if constexpr (n % 2 == 1) {
            const __m128d last = _mm_load_sd(v + n - 1);  // the upper lane is 0, never NaN
            nan = _mm_or_pd(nan, _mm_cmpunord_pd(last, last));
        }
        return _mm_movemask_pd(nan) != 0;
#else
        bool nan = false;
        for (npy_intp e = 0; e < n; ++e) nan |= v[e] != v[e];
        return nan;
#endif
    }
}

template <class K, class State>
inline void write_row(const Call& call, const Row& row, State& state) {
    bool answered;
    if constexpr (SequentialKernel<K>) {
        answered = K::row(call, row, state);
    } else {
        answered = K::row(call, row);
    }
    [&]<std::size_t... I>(std::index_sequence<I...>) {
        if (!answered) {
            (write_no_answer<K::decl.outputs[I]>(row.out[I]), ...);
            return;
        }
        if constexpr (((K::decl.outputs[I].kind == OutKind::Mask) || ...)) {
            const bool clean = (static_cast<unsigned>(holds_nan<K::decl.outputs[I]>(row.out[I])) | ...) == 0U;
            ((K::decl.outputs[I].kind == OutKind::Mask ? void(*row.out[I] = clean) : void()), ...);
        }
    }(std::make_index_sequence<K::decl.output_count>{});
}

// Where row j of a run starts, for one parameter: its base moved j strides
// on (an array), or nothing (an optional array not given, an arm, an option).
template <ParamKind Kind>
inline const double* row_in(const double* base, npy_intp stride, npy_intp j) {
    if constexpr (Kind == ParamKind::Array) {
        return base + j * stride;
    } else if constexpr (Kind == ParamKind::OptionalArray) {
        return base != nullptr ? base + j * stride : nullptr;
    } else {
        return nullptr;
    }
}

// Row j of a run whose rows start at `in` and `out`. Computed from j, not
// stepped: the pointers stay in registers across the row body's calls.
template <class K>
inline Row row_of_run(const double* const* in, const npy_intp* stride, char* const* out, npy_intp j) {
    Row row;
    [&]<std::size_t... P>(std::index_sequence<P...>) {
        ((row.in[P] = row_in<K::decl.params[P].kind>(in[P], stride[P], j)), ...);
    }(std::make_index_sequence<K::decl.param_count>{});
    [&]<std::size_t... O>(std::index_sequence<O...>) {
        ((row.out[O] = out[O] + j * (K::decl.outputs[O].row_size() * K::decl.outputs[O].item_size())), ...);
    }(std::make_index_sequence<K::decl.output_count>{});
    return row;
}

// Rows [begin, end) of a prepared call, as one worker runs them.
template <class K>
void run_rows(void* context, npy_intp begin, npy_intp end) {
    const PreparedCall& p = *static_cast<const PreparedCall*>(context);
    constexpr const FunctionDecl& decl = K::decl;
    const RowPlan& plan = p.plan;
    auto state = [&] {
        if constexpr (SequentialKernel<K>) {
            return typename K::State(p.call, p.bases);
        } else {
            return NoState{};
        }
    }();
    npy_intp index[NPY_MAXDIMS];
    plan.locate(begin, index);
    const int last = plan.ndim - 1;
    for (npy_intp i = begin; i < end;) {
        // One run: along the innermost dimension, to its end or the chunk's.
        const double* in[kMaxParams];
        npy_intp stride[kMaxParams];
        for (std::size_t k = 0; k < decl.param_count; ++k) {
            in[k] = p.bases[k] != nullptr ? plan.at(k, p.bases[k], index) : nullptr;
            stride[k] = plan.strides[k][last];
        }
        char* out[kMaxOutputs];
        for (std::size_t k = 0; k < decl.output_count; ++k) {
            out[k] = p.result_data[k] + i * decl.outputs[k].row_size() * decl.outputs[k].item_size();
        }
        const npy_intp run = plan.dims[last] - index[last] < end - i ? plan.dims[last] - index[last] : end - i;
        for (npy_intp j = 0; j < run; ++j) write_row<K>(p.call, row_of_run<K>(in, stride, out, j), state);
        i += run;
        if (i < end) plan.advance(index, run);
    }
}

}  // namespace row_loop_detail

// The function's binding, made on first use (the method table asks at import).
template <class K>
const FunctionBinding& binding() {
    static const FunctionBinding made(K::decl);
    return made;
}

// The function as the interpreter calls it (METH_FASTCALL | METH_KEYWORDS).
template <class K>
PyObject* entry(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return guarded([&]() -> PyRef {
        PreparedCall prepared;
        if (!prepare_call(K::decl, binding<K>(), args, nargsf, kwnames, prepared)) return {};
        if (prepared.plan.rows > 0) {
            InterpreterLockReleased unlocked;
            run_chunks(prepared.plan.rows, SequentialKernel<K> ? 1 : prepared.workers, row_loop_detail::run_rows<K>,
                       &prepared);
        }
        return finish_call(K::decl, prepared);
    });
}

}  // namespace quorvel::python::batch
