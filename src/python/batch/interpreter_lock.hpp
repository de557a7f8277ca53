#pragma once

#include <Python.h>

namespace quorvel::python::batch {

// Gives up the interpreter lock for one scope, so Python threads working on
// other chunks run meanwhile; taken back on every exit, unwinding included,
// before anything can touch an interpreter object again.
class InterpreterLockReleased {
public:
    InterpreterLockReleased() : state_(PyEval_SaveThread()) {}
    ~InterpreterLockReleased() { PyEval_RestoreThread(state_); }
    InterpreterLockReleased(const InterpreterLockReleased&) = delete;
    InterpreterLockReleased& operator=(const InterpreterLockReleased&) = delete;

private:
    PyThreadState* state_;
};

}  // namespace quorvel::python::batch
