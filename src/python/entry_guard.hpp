#pragma once

#include <Python.h>

#include "python/py_ref.hpp"

namespace quorvel::python {

// Called from a catch block: raises the caught fault as PanicException, or
// aborts if even that fails, so nothing ever unwinds into the interpreter.
void raise_caught_fault_as_panic() noexcept;

// A body returned null: make sure an error is set, and turn a PanicException
// raised by Python code we called (a __float__, say) back into a fault.
void settle_python_error();

// Every entry point the interpreter calls runs its body through this.
// The body returns a new reference, or an empty PyRef with the error set.
template <class Body>
PyObject* guarded(Body&& body) noexcept {
    try {
        PyRef result = body();
        if (result) return result.release();
        settle_python_error();
    } catch (...) {
        raise_caught_fault_as_panic();
    }
    return nullptr;
}

// tp_dealloc cannot report failure: a fault goes to the unraisable hook.
void report_caught_fault_as_unraisable() noexcept;

template <class Body>
void guarded_dealloc(Body&& body) noexcept {
    try {
        body();
    } catch (...) {
        report_caught_fault_as_unraisable();
    }
}

}  // namespace quorvel::python
