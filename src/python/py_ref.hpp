#pragma once

#include <Python.h>

#include <utility>

namespace quorvel::python {

// The one owner of a strong reference: released on every path, including
// unwinding from an internal fault.
class PyRef {
public:
    PyRef() = default;
    PyRef(const PyRef&) = delete;
    PyRef& operator=(const PyRef&) = delete;
    PyRef(PyRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    PyRef& operator=(PyRef&& other) noexcept {
        // cppcheck-suppress accessMoved ; false positive: move-and-swap, other is not read after the move
        PyRef(std::move(other)).swap(*this);
        return *this;
    }
    ~PyRef() { Py_XDECREF(object_); }

    // Takes over a new reference (which may be null after a failed call).
    static PyRef steal(PyObject* object) { return PyRef(object); }
    // Takes a new reference to an object that someone else owns.
    static PyRef borrow(PyObject* object) {
        Py_XINCREF(object);
        return PyRef(object);
    }

    PyObject* get() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }
    // Hands the reference to the caller (the interpreter, or a stealing call).
    [[nodiscard]] PyObject* release() { return std::exchange(object_, nullptr); }
    void swap(PyRef& other) noexcept { std::swap(object_, other.object_); }

private:
    explicit PyRef(PyObject* object) : object_(object) {}
    PyObject* object_ = nullptr;
};

}  // namespace quorvel::python
