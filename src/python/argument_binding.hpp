#pragma once

#include <Python.h>

#include <array>
#include <cstddef>
#include <string_view>


namespace quorvel::python {

// One declared parameter. Its interned name object is made on first use:
// the interpreter interns the keyword names of calls, so keywords usually
// match by identity before any text is compared.
struct Parameter {
    std::string_view name;  // a literal, so also NUL-terminated
    PyObject* interned = nullptr;
};

// The inline path fills this many slots unrolled; a descriptor with more
// parameters (the array companion's options) always takes the general path.
inline constexpr std::size_t kInlineParameters = 3;
inline constexpr std::size_t kMaxParameters = 8;

// The declared parameters of one method: the first ones may be passed by
// position or by keyword, the last `keyword_only` ones only by keyword.
struct ArgumentDescriptor {
    const char* class_name;
    const char* method_name;
    Parameter* parameters;
    std::size_t parameter_count;
    std::size_t required;
    std::size_t keyword_only = 0;

    std::size_t positional() const { return parameter_count - keyword_only; }
};

// Fills slots[0 .. parameter_count) with borrowed references (null where a
// parameter was not passed). False with TypeError set when binding fails.
// The full rules, for either form:
bool bind_arguments_in_general(const ArgumentDescriptor& descriptor, PyObject* const* args, Py_ssize_t nargsf,
                               PyObject* kwnames, PyObject** slots);
bool bind_arguments_in_general(const ArgumentDescriptor& descriptor, PyObject* args, PyObject* kwargs,
                               PyObject** slots);

// Inline for the controller's usual call: positional arguments only, all
// required ones present, none too many. A fixed trip count unrolls; a
// variable one would become memcpy and memset calls that cost more than
// filling three slots. Anything else takes the full path.
inline void fill_positional(const ArgumentDescriptor& descriptor, PyObject* const* args, std::size_t given,
                            PyObject** slots) {
    for (std::size_t i = 0; i < kInlineParameters; ++i) {
        if (i < descriptor.parameter_count) slots[i] = i < given ? args[i] : nullptr;
    }
}

inline bool bind_positional_only(const ArgumentDescriptor& descriptor, PyObject* const* args, std::size_t given,
                                 PyObject** slots) {
    if (descriptor.parameter_count > kInlineParameters || given < descriptor.required ||
        given > descriptor.positional()) {
        return false;
    }
    fill_positional(descriptor, args, given, slots);
    return true;
}

// The vector form, as METH_FASTCALL | METH_KEYWORDS delivers arguments.
inline bool bind_arguments(const ArgumentDescriptor& descriptor, PyObject* const* args, Py_ssize_t nargsf,
                           PyObject* kwnames, PyObject** slots) {
    const auto given = static_cast<std::size_t>(PyVectorcall_NARGS(nargsf));
    return (kwnames == nullptr && bind_positional_only(descriptor, args, given, slots)) ||
           bind_arguments_in_general(descriptor, args, nargsf, kwnames, slots);
}

// The slots of the tuple-and-dictionary form. Positional values belong to the
// argument tuple, which the caller holds until the call returns; a keyword
// dictionary does not protect its values, since a converter's user code can
// clear it while later arguments still wait: those values are held.
template <std::size_t N>
class BoundSlots {
public:
    BoundSlots() = default;
    BoundSlots(const BoundSlots&) = delete;
    BoundSlots& operator=(const BoundSlots&) = delete;
    ~BoundSlots() {
        for (std::size_t i = held_from_; i < N; ++i) Py_XDECREF(objects_[i]);
    }

    // cppcheck-suppress CastIntegerToAddressAtReturn ; false positive: returns a stored pointer
    PyObject* operator[](std::size_t i) const { return objects_[i]; }
    PyObject** data() { return objects_.data(); }
    // Called once binding has succeeded, before any Python code can run: the
    // slots from `first` on were filled from the dictionary, if at all.
    void hold_from(std::size_t first) {
        for (std::size_t i = first; i < N; ++i) Py_XINCREF(objects_[i]);
        held_from_ = first;
    }

private:
    std::array<PyObject*, N> objects_{};
    std::size_t held_from_ = N;
};

// The tuple-and-dictionary form, as tp_new receives them.
template <std::size_t N>
bool bind_arguments(const ArgumentDescriptor& descriptor, PyObject* args, PyObject* kwargs, BoundSlots<N>& slots) {
    const auto given = static_cast<std::size_t>(PyTuple_GET_SIZE(args));
    if (kwargs == nullptr && bind_positional_only(descriptor, &PyTuple_GET_ITEM(args, 0), given, slots.data())) {
        return true;
    }
    if (!bind_arguments_in_general(descriptor, args, kwargs, slots.data())) return false;
    if (kwargs != nullptr) slots.hold_from(given);
    return true;
}

}  // namespace quorvel::python
