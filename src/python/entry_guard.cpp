#include "python/entry_guard.hpp"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "python/internal_fault.hpp"
#include "python/panic_exception.hpp"

namespace quorvel::python {

namespace {

constexpr const char* kGenericFaultText = "internal fault in quorvel_torso_kinematics";

[[noreturn]] void abort_at_boundary() noexcept {
    (void)std::fputs("uncaught panic at ffi boundary\n", stderr);
    std::abort();
}

std::string caught_fault_text() {
    try {
        throw;
    } catch (const InternalFault& e) {
        return std::string(e.text());
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return kGenericFaultText;
    }
}

}  // namespace

void raise_caught_fault_as_panic() noexcept {
    try {
        const std::string text = caught_fault_text();
        PyObject* type = panic_exception_type();
        // "replace": a foreign exception's text need not be UTF-8.
        PyRef message = PyRef::steal(PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace"));
        if (!message) fault("could not build the panic message");
        PyErr_SetObject(type, message.get());
    } catch (...) {
        abort_at_boundary();
    }
}

void report_caught_fault_as_unraisable() noexcept {
    // Keep whatever exception was already in flight when the object died.
    PyObject* in_flight = PyErr_GetRaisedException();
    raise_caught_fault_as_panic();
    PyErr_WriteUnraisable(nullptr);
    PyErr_SetRaisedException(in_flight);
}

void settle_python_error() {
    PyRef raised = PyRef::steal(PyErr_GetRaisedException());
    if (!raised) {
        PyErr_SetString(PyExc_SystemError, "attempted to fetch exception but none was set");
        return;
    }
    PyObject* panic_type = panic_exception_type_if_made();
    if (panic_type == nullptr || !PyErr_GivenExceptionMatches(raised.get(), panic_type)) {
        PyErr_SetRaisedException(raised.release());
        return;
    }
    // A panic that passed through Python code stays a panic, with its text.
    std::string text = "Unwrapped panic from Python code";
    if (PyRef str = PyRef::steal(PyObject_Str(raised.get()))) {
        Py_ssize_t size = 0;
        if (const char* utf8 = PyUnicode_AsUTF8AndSize(str.get(), &size)) text.assign(utf8, static_cast<size_t>(size));
    }
    PyErr_Clear();
    (void)std::fputs("Python code raised PanicException inside quorvel_torso_kinematics; resuming it as a panic:\n",
                     stderr);
    // Displayed, not printed: printing runs the exit handling of a panic that
    // is also a SystemExit and would end the process under the caller's feet.
    PyErr_DisplayException(raised.get());
    fault(text);
}

}  // namespace quorvel::python
