#include "python/panic_exception.hpp"

#include "python/internal_fault.hpp"

namespace quorvel::python {

namespace {

PyObject* panic_type = nullptr;

constexpr const char* kPanicDoc =
    "Raised when native code called from Python panics (an internal fault of the module).\n\n"
    "Like SystemExit, it derives from BaseException rather than Exception, so it typically\n"
    "propagates all the way through the stack and makes the interpreter exit.";

}  // namespace

PyObject* panic_exception_type() {
    if (panic_type == nullptr) {
        PyObject* made = PyErr_NewExceptionWithDoc("quorvel_torso_kinematics.PanicException", kPanicDoc,
                                                   PyExc_BaseException, nullptr);
        if (made == nullptr) fault("could not create PanicException");
        // Creation can run arbitrary code; keep whichever type got stored first.
        // cppcheck-suppress knownConditionTrueFalse ; that code may have re-entered and stored one
        if (panic_type == nullptr) {
            panic_type = made;
        } else {
            Py_DECREF(made);
        }
    }
    return panic_type;
}

PyObject* panic_exception_type_if_made() { return panic_type; }

}  // namespace quorvel::python
