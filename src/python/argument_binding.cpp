#include "python/argument_binding.hpp"

#include <cstddef>
#include <string>

#include "python/internal_fault.hpp"
#include "python/py_ref.hpp"

namespace quorvel::python {

namespace {

std::string display_name(const ArgumentDescriptor& d) {
    std::string name;
    if (d.class_name != nullptr) name.append(d.class_name).append(".");
    return name.append(d.method_name).append("()");
}

bool too_many_positional(const ArgumentDescriptor& d, std::size_t given) {
    const char* verb = given == 1 ? "was" : "were";
    const std::string display = display_name(d);
    if (d.required == d.positional()) {
        PyErr_Format(PyExc_TypeError, "%s takes %zu positional arguments but %zu %s given", display.c_str(),
                     d.positional(), given, verb);
    } else {
        PyErr_Format(PyExc_TypeError, "%s takes from %zu to %zu positional arguments but %zu %s given",
                     display.c_str(), d.required, d.positional(), given, verb);
    }
    return false;
}

// "'a'", "'a' and 'b'", "'a', 'b', and 'c'".
std::string quoted_list(const ArgumentDescriptor& d, PyObject* const* slots, std::size_t from, std::size_t to) {
    std::size_t total = 0;
    for (std::size_t i = from; i < to; ++i) total += slots[i] == nullptr ? 1 : 0;
    std::string list;
    std::size_t written = 0;
    for (std::size_t i = from; i < to; ++i) {
        if (slots[i] != nullptr) continue;
        if (written > 0) {
            if (total > 2) list += ",";
            list += written + 1 == total ? " and " : " ";
        }
        list.append("'").append(d.parameters[i].name).append("'");
        ++written;
    }
    return list;
}

bool missing_required(const ArgumentDescriptor& d, PyObject* const* slots, std::size_t positional) {
    if (positional >= d.required) return true;
    std::size_t missing = 0;
    for (std::size_t i = positional; i < d.required; ++i) missing += slots[i] == nullptr ? 1 : 0;
    if (missing == 0) return true;
    const std::string list = quoted_list(d, slots, positional, d.required);
    PyErr_Format(PyExc_TypeError, "%s missing %zu required positional argument%s: %s", display_name(d).c_str(),
                 missing, missing == 1 ? "" : "s", list.c_str());
    return false;
}

// Interns the names not interned yet; a failure leaves the text comparison.
void intern_names(const ArgumentDescriptor& d) {
    for (std::size_t i = 0; i < d.parameter_count; ++i) {
        Parameter& parameter = d.parameters[i];
        if (parameter.interned != nullptr) continue;
        parameter.interned = PyUnicode_InternFromString(parameter.name.data());
        if (parameter.interned == nullptr) PyErr_Clear();
    }
}

std::ptrdiff_t slot_by_identity(const ArgumentDescriptor& d, const PyObject* name) {
    for (std::size_t i = 0; i < d.parameter_count; ++i) {
        if (name == d.parameters[i].interned) return static_cast<std::ptrdiff_t>(i);
    }
    return -1;
}

// The slot a keyword names, or -1: by identity with the interned names first
// (the interpreter interns the keywords of calls), then by text.
std::ptrdiff_t keyword_slot(const ArgumentDescriptor& d, PyObject* name) {
    if (const std::ptrdiff_t i = slot_by_identity(d, name); i >= 0) return i;
    intern_names(d);
    if (const std::ptrdiff_t i = slot_by_identity(d, name); i >= 0) return i;
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_Check(name) ? PyUnicode_AsUTF8AndSize(name, &size) : nullptr;
    if (utf8 == nullptr) {
        PyErr_Clear();  // an unencodable name matches no parameter
        return -1;
    }
    for (std::size_t i = 0; i < d.parameter_count; ++i) {
        if (d.parameters[i].name == std::string_view(utf8, static_cast<std::size_t>(size))) {
            return static_cast<std::ptrdiff_t>(i);
        }
    }
    return -1;
}

bool bind_keyword(const ArgumentDescriptor& d, PyObject* name, PyObject* value, PyObject** slots) {
    const std::ptrdiff_t i = keyword_slot(d, name);
    if (i < 0) {
        PyErr_Format(PyExc_TypeError, "%s got an unexpected keyword argument '%S'", display_name(d).c_str(), name);
        return false;
    }
    if (slots[i] != nullptr) {
        PyErr_Format(PyExc_TypeError, "%s got multiple values for argument '%s'", display_name(d).c_str(),
                     d.parameters[i].name.data());
        return false;
    }
    slots[i] = value;
    return true;
}

bool bind_positional(const ArgumentDescriptor& d, PyObject* const* args, std::size_t given, PyObject** slots) {
    if (d.parameter_count > kMaxParameters) fault("too many parameters declared");
    if (given > d.positional()) return too_many_positional(d, given);
    if (d.parameter_count <= kInlineParameters) {
        fill_positional(d, args, given, slots);  // the classes' methods: unrolled, as on the inline path
    } else {
        for (std::size_t i = 0; i < d.parameter_count; ++i) slots[i] = i < given ? args[i] : nullptr;
    }
    return true;
}

}  // namespace

bool bind_arguments_in_general(const ArgumentDescriptor& d, PyObject* const* args, Py_ssize_t nargsf,
                               PyObject* kwnames, PyObject** slots) {
    const auto given = static_cast<std::size_t>(PyVectorcall_NARGS(nargsf));
    if (!bind_positional(d, args, given, slots)) return false;
    const Py_ssize_t keywords = kwnames == nullptr ? 0 : PyTuple_GET_SIZE(kwnames);
    for (Py_ssize_t k = 0; k < keywords; ++k) {
        if (!bind_keyword(d, PyTuple_GET_ITEM(kwnames, k), args[given + k], slots)) return false;
    }
    return missing_required(d, slots, given);
}

bool bind_arguments_in_general(const ArgumentDescriptor& d, PyObject* args, PyObject* kwargs, PyObject** slots) {
    const auto given = static_cast<std::size_t>(PyTuple_GET_SIZE(args));
    if (!bind_positional(d, &PyTuple_GET_ITEM(args, 0), given, slots)) return false;
    if (kwargs != nullptr) {
        Py_ssize_t position = 0;
        PyObject* name = nullptr;
        PyObject* value = nullptr;
        while (PyDict_Next(kwargs, &position, &name, &value)) {
            // No Python code runs here but in the error text's str(name),
            // which ends the loop; the caller holds the bound values after it.
            if (!bind_keyword(d, name, value, slots)) return false;
        }
    }
    return missing_required(d, slots, given);
}

}  // namespace quorvel::python
