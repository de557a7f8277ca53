#include "python/argument_binding.hpp"

#include <string>

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
    if (d.required == d.parameter_count) {
        PyErr_Format(PyExc_TypeError, "%s takes %zu positional arguments but %zu %s given", display.c_str(),
                     d.parameter_count, given, verb);
    } else {
        PyErr_Format(PyExc_TypeError, "%s takes from %zu to %zu positional arguments but %zu %s given",
                     display.c_str(), d.required, d.parameter_count, given, verb);
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
        list.append("'").append(d.parameters[i]).append("'");
        ++written;
    }
    return list;
}

bool missing_required(const ArgumentDescriptor& d, PyObject* const* slots, std::size_t positional) {
    std::size_t missing = 0;
    for (std::size_t i = positional; i < d.required; ++i) missing += slots[i] == nullptr ? 1 : 0;
    if (missing == 0) return true;
    const std::string list = quoted_list(d, slots, positional, d.required);
    PyErr_Format(PyExc_TypeError, "%s missing %zu required positional argument%s: %s", display_name(d).c_str(),
                 missing, missing == 1 ? "" : "s", list.c_str());
    return false;
}

bool bind_keyword(const ArgumentDescriptor& d, PyObject* name, PyObject* value, PyObject** slots) {
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_Check(name) ? PyUnicode_AsUTF8AndSize(name, &size) : nullptr;
    if (utf8 == nullptr) PyErr_Clear();  // an unencodable name matches no parameter
    for (std::size_t i = 0; utf8 != nullptr && i < d.parameter_count; ++i) {
        const std::string_view parameter = d.parameters[i];
        if (parameter != std::string_view(utf8, static_cast<std::size_t>(size))) continue;
        if (slots[i] != nullptr) {
            PyErr_Format(PyExc_TypeError, "%s got multiple values for argument '%s'", display_name(d).c_str(),
                         parameter.data());
            return false;
        }
        slots[i] = value;
        return true;
    }
    PyErr_Format(PyExc_TypeError, "%s got an unexpected keyword argument '%S'", display_name(d).c_str(), name);
    return false;
}

bool bind_positional(const ArgumentDescriptor& d, PyObject* const* args, std::size_t given, PyObject** slots) {
    for (std::size_t i = 0; i < d.parameter_count; ++i) slots[i] = i < given ? args[i] : nullptr;
    return given <= d.parameter_count || too_many_positional(d, given);
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

bool bind_arguments(const ArgumentDescriptor& d, PyObject* args, PyObject* kwargs, PyObject** slots) {
    const auto given = static_cast<std::size_t>(PyTuple_GET_SIZE(args));
    if (!bind_positional(d, &PyTuple_GET_ITEM(args, 0), given, slots)) return false;
    if (kwargs != nullptr) {
        Py_ssize_t position = 0;
        PyObject* name = nullptr;
        PyObject* value = nullptr;
        while (PyDict_Next(kwargs, &position, &name, &value)) {
            if (!bind_keyword(d, name, value, slots)) return false;
        }
    }
    return missing_required(d, slots, given);
}

}  // namespace quorvel::python
