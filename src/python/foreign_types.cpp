#include "python/foreign_types.hpp"

#include <string_view>

#include "python/py_ref.hpp"

namespace quorvel::python {

namespace {

// A static type from a loaded module's namespace, kept for the life of the
// process once found (extension modules are never unloaded). Plain dictionary
// reads with str keys: no attribute hooks, no import.
class ForeignType {
public:
    ForeignType(const char* module, const char* name, const char* type_name) noexcept
        : module_(module), name_(name), type_name_(type_name) {}

    bool is(PyTypeObject* type) {
        // Until found, only a type carrying the real one's name is worth a look.
        if (type_ == nullptr && type->tp_name == type_name_) find();
        return type == type_;
    }

private:
    void find() {
        PyRef module_name = PyRef::steal(PyUnicode_FromString(module_));
        PyRef module = PyRef::steal(module_name ? PyImport_GetModule(module_name.get()) : nullptr);
        PyObject* found = nullptr;
        if (module && PyModule_Check(module.get()) &&
            PyDict_GetItemStringRef(PyModule_GetDict(module.get()), name_, &found) < 0) {
            found = nullptr;
        }
        PyErr_Clear();
        PyRef held = PyRef::steal(found);
        if (held && PyType_Check(held.get()) && is_the_real_one(reinterpret_cast<PyTypeObject*>(held.get()))) {
            type_ = reinterpret_cast<PyTypeObject*>(held.release());
        }
    }

    // A class statement cannot stand in for it, even if someone rebinds the
    // module's attribute to one: the type must come from C code and keep its name.
    bool is_the_real_one(PyTypeObject* type) const {
        const bool made_by_c = (type->tp_flags & Py_TPFLAGS_HEAPTYPE) == 0 ||
                               reinterpret_cast<PyHeapTypeObject*>(type)->ht_module != nullptr;
        return made_by_c && type->tp_name == type_name_;
    }

    const char* module_;
    const char* name_;
    std::string_view type_name_;
    PyTypeObject* type_ = nullptr;
};

ForeignType ndarray_type("numpy", "ndarray", "numpy.ndarray");
ForeignType array_type("array", "array", "array.array");

bool equals(PyObject* text, const char* expected) {
    return text != nullptr && PyUnicode_Check(text) && PyUnicode_EqualToUTF8(text, expected);
}

}  // namespace

bool is_ndarray(PyTypeObject* type) { return ndarray_type.is(type); }
bool is_array_array(PyTypeObject* type) { return array_type.is(type); }

bool is_numpy_bool_by_name(PyTypeObject* type) {
    PyRef module = PyRef::steal(PyType_GetModuleName(type));
    if (!module) {
        PyErr_Clear();
        return false;
    }
    if (!equals(module.get(), "numpy")) return false;
    PyRef name = PyRef::steal(PyType_GetName(type));
    if (!name) {
        PyErr_Clear();
        return false;
    }
    return equals(name.get(), "bool_") || equals(name.get(), "bool");
}

}  // namespace quorvel::python
