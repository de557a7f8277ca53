// quorvel_bench_floor: a benchmark-only module, never installed. It mirrors the
// Python surface of quorvel_torso_kinematics (same classes' methods, same
// parameters, same calling conventions, same result shapes) but does no
// kinematics: each method binds its arguments, converts them, and builds a
// result object of the same shape from the converted numbers. The time per
// call of a method here is the least that the API itself costs, the floor
// against which the real module's binding overhead is measured.
//
// Only the work the API demands is done, the way a lean hand-written binding
// does it:
//   - binding: positional arguments are taken as they come; a keyword is
//     matched by identity against interned parameter names first (the
//     interpreter interns keyword names in calls), by string equality second;
//   - numbers: PyFloat_AS_DOUBLE for an exact float, PyFloat_AsDouble otherwise;
//   - sequences: the list and tuple item arrays directly, the sequence
//     protocol with integer indices for anything else;
//   - results: PyFloat_FromDouble, PyList_New / PyTuple_New with SET_ITEM,
//     a new reference to True or False;
//   - receivers: none; the method descriptor has already checked the type.
#include <Python.h>

#include <cstddef>
#include <iterator>

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#define QUORVEL_FLOOR_HAVE_CALLGRIND 1
#endif

namespace {

// ---------------------------------------------------------------- binding

struct Parameters {
    const char* method;           // for error texts
    PyObject* const* names;       // interned, in declaration order
    Py_ssize_t count;
    Py_ssize_t required;
};

Py_ssize_t match_keyword(const Parameters& p, PyObject* key) {
    for (Py_ssize_t i = 0; i < p.count; ++i) {
        if (key == p.names[i]) return i;
    }
    for (Py_ssize_t i = 0; i < p.count; ++i) {
        if (PyUnicode_Check(key) && PyUnicode_Compare(key, p.names[i]) == 0) return i;
    }
    if (PyErr_Occurred()) PyErr_Clear();
    return -1;
}

bool bind_keyword(const Parameters& p, PyObject* key, PyObject* value, PyObject** slots) {
    const Py_ssize_t i = match_keyword(p, key);
    if (i < 0) {
        PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%S'", p.method, key);
        return false;
    }
    if (slots[i] != nullptr) {
        PyErr_Format(PyExc_TypeError, "%s() got multiple values for argument '%S'", p.method, p.names[i]);
        return false;
    }
    slots[i] = value;
    return true;
}

bool check_positional_and_required(const Parameters& p, Py_ssize_t given, PyObject** slots) {
    for (Py_ssize_t i = given; i < p.required; ++i) {
        if (slots[i] == nullptr) {
            PyErr_Format(PyExc_TypeError, "%s() missing required argument '%S'", p.method, p.names[i]);
            return false;
        }
    }
    return true;
}

bool too_many(const Parameters& p, Py_ssize_t given) {
    PyErr_Format(PyExc_TypeError, "%s() takes at most %zd arguments (%zd given)", p.method, p.count, given);
    return false;
}

// The vector form (METH_FASTCALL | METH_KEYWORDS).
bool bind(const Parameters& p, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames, PyObject** slots) {
    const Py_ssize_t given = PyVectorcall_NARGS(nargsf);
    if (given > p.count) return too_many(p, given);
    for (Py_ssize_t i = 0; i < p.count; ++i) slots[i] = i < given ? args[i] : nullptr;
    if (kwnames != nullptr) {
        const Py_ssize_t keywords = PyTuple_GET_SIZE(kwnames);
        for (Py_ssize_t k = 0; k < keywords; ++k) {
            if (!bind_keyword(p, PyTuple_GET_ITEM(kwnames, k), args[given + k], slots)) return false;
        }
    }
    return check_positional_and_required(p, given, slots);
}

// The tuple-and-dictionary form (tp_new).
bool bind(const Parameters& p, PyObject* args, PyObject* kwargs, PyObject** slots) {
    const Py_ssize_t given = PyTuple_GET_SIZE(args);
    if (given > p.count) return too_many(p, given);
    for (Py_ssize_t i = 0; i < p.count; ++i) slots[i] = i < given ? PyTuple_GET_ITEM(args, i) : nullptr;
    if (kwargs != nullptr) {
        Py_ssize_t position = 0;
        PyObject* key = nullptr;
        PyObject* value = nullptr;
        while (PyDict_Next(kwargs, &position, &key, &value)) {
            if (!bind_keyword(p, key, value, slots)) return false;
        }
    }
    return check_positional_and_required(p, given, slots);
}

// ------------------------------------------------------------- converters

inline bool to_double(PyObject* obj, double& out) {
    if (PyFloat_CheckExact(obj)) {
        out = PyFloat_AS_DOUBLE(obj);
        return true;
    }
    out = PyFloat_AsDouble(obj);
    return !(out == -1.0 && PyErr_Occurred());
}

bool to_flag(PyObject* obj, bool& out) {
    if (!PyBool_Check(obj)) {
        PyErr_SetString(PyExc_TypeError, "expected a bool");
        return false;
    }
    out = obj == Py_True;
    return true;
}

// Converts item i of an exact list, holding it while a non-float converts
// (its __float__ may change the list).
bool list_item_to_double(PyObject* list, Py_ssize_t i, double& out) {
    if (PyList_GET_SIZE(list) <= i) {
        PyErr_SetString(PyExc_ValueError, "sequence changed size during conversion");
        return false;
    }
    PyObject* item = PyList_GET_ITEM(list, i);
    if (PyFloat_CheckExact(item)) {
        out = PyFloat_AS_DOUBLE(item);
        return true;
    }
    Py_INCREF(item);
    const bool ok = to_double(item, out);
    Py_DECREF(item);
    return ok;
}

bool wrong_length(Py_ssize_t size) {
    PyErr_Format(PyExc_ValueError, "expected a sequence of length 3 (got %zd)", size);
    return false;
}

// Any other sequence: the sequence protocol with integer indices.
template <class Item>
bool generic_three(PyObject* obj, Item convert_item) {
    if (!PySequence_Check(obj)) {
        PyErr_SetString(PyExc_TypeError, "expected a sequence");
        return false;
    }
    const Py_ssize_t size = PySequence_Size(obj);
    if (size < 0) return false;
    if (size != 3) return wrong_length(size);
    for (Py_ssize_t i = 0; i < 3; ++i) {
        PyObject* item = PySequence_GetItem(obj, i);
        if (item == nullptr) return false;
        const bool ok = convert_item(item, i);
        Py_DECREF(item);
        if (!ok) return false;
    }
    return true;
}

bool to_three(PyObject* obj, double out[3]) {
    if (PyTuple_CheckExact(obj)) {
        if (PyTuple_GET_SIZE(obj) != 3) return wrong_length(PyTuple_GET_SIZE(obj));
        return to_double(PyTuple_GET_ITEM(obj, 0), out[0]) && to_double(PyTuple_GET_ITEM(obj, 1), out[1]) &&
               to_double(PyTuple_GET_ITEM(obj, 2), out[2]);
    }
    if (PyList_CheckExact(obj)) {
        if (PyList_GET_SIZE(obj) != 3) return wrong_length(PyList_GET_SIZE(obj));
        return list_item_to_double(obj, 0, out[0]) && list_item_to_double(obj, 1, out[1]) &&
               list_item_to_double(obj, 2, out[2]);
    }
    return generic_three(obj, [out](PyObject* item, Py_ssize_t i) { return to_double(item, out[i]); });
}

bool to_matrix(PyObject* obj, double out[3][3]) {
    if (PyTuple_CheckExact(obj)) {
        if (PyTuple_GET_SIZE(obj) != 3) return wrong_length(PyTuple_GET_SIZE(obj));
        return to_three(PyTuple_GET_ITEM(obj, 0), out[0]) && to_three(PyTuple_GET_ITEM(obj, 1), out[1]) &&
               to_three(PyTuple_GET_ITEM(obj, 2), out[2]);
    }
    if (PyList_CheckExact(obj)) {
        if (PyList_GET_SIZE(obj) != 3) return wrong_length(PyList_GET_SIZE(obj));
        // A row is held while it converts: a __float__ may change the outer list.
        for (Py_ssize_t i = 0; i < 3; ++i) {
            if (PyList_GET_SIZE(obj) <= i) {
                PyErr_SetString(PyExc_ValueError, "sequence changed size during conversion");
                return false;
            }
            PyObject* row = Py_NewRef(PyList_GET_ITEM(obj, i));
            const bool ok = to_three(row, out[i]);
            Py_DECREF(row);
            if (!ok) return false;
        }
        return true;
    }
    return generic_three(obj, [out](PyObject* row, Py_ssize_t i) { return to_three(row, out[i]); });
}

// None or absent: no pair; otherwise a tuple of two numbers.
bool to_optional_pair(PyObject* obj, bool& present, double out[2]) {
    present = false;
    if (obj == nullptr || obj == Py_None) return true;
    if (!PyTuple_Check(obj)) {
        PyErr_SetString(PyExc_TypeError, "expected a tuple");
        return false;
    }
    if (PyTuple_GET_SIZE(obj) != 2) {
        PyErr_Format(PyExc_ValueError, "expected tuple of length 2 (got %zd)", PyTuple_GET_SIZE(obj));
        return false;
    }
    if (!to_double(PyTuple_GET_ITEM(obj, 0), out[0]) || !to_double(PyTuple_GET_ITEM(obj, 1), out[1])) return false;
    present = true;
    return true;
}

// --------------------------------------------------------------- results

PyObject* list_of_three(double a, double b, double c) {
    PyObject* list = PyList_New(3);
    if (list == nullptr) return nullptr;
    const double values[3] = {a, b, c};
    for (Py_ssize_t i = 0; i < 3; ++i) {
        PyObject* item = PyFloat_FromDouble(values[i]);
        if (item == nullptr) {
            Py_DECREF(list);
            return nullptr;
        }
        PyList_SET_ITEM(list, i, item);
    }
    return list;
}

PyObject* matrix_list(const double m[3][3]) {
    PyObject* rows = PyList_New(3);
    if (rows == nullptr) return nullptr;
    for (Py_ssize_t i = 0; i < 3; ++i) {
        PyObject* row = list_of_three(m[i][0], m[i][1], m[i][2]);
        if (row == nullptr) {
            Py_DECREF(rows);
            return nullptr;
        }
        PyList_SET_ITEM(rows, i, row);
    }
    return rows;
}

PyObject* float_tuple(const double* values, Py_ssize_t n) {
    PyObject* tuple = PyTuple_New(n);
    if (tuple == nullptr) return nullptr;
    for (Py_ssize_t i = 0; i < n; ++i) {
        PyObject* item = PyFloat_FromDouble(values[i]);
        if (item == nullptr) {
            Py_DECREF(tuple);
            return nullptr;
        }
        PyTuple_SET_ITEM(tuple, i, item);
    }
    return tuple;
}

PyObject* flag(bool value) { return Py_NewRef(value ? Py_True : Py_False); }

// ------------------------------------------------------------ the classes

struct FloorArm {
    PyObject_HEAD
    double arm_arc;
    double coupler_arc;
    bool mirror;
};

PyTypeObject* floor_arm_type = nullptr;

// Every parameter name, interned at import; each method's parameters are a run of them.
const char* const kNameTexts[] = {"arm_arc", "coupler_arc", "mirror", "theta_a", "theta_b", "r_target",
                                  "v3", "near", "json", "joints", "r"};
PyObject* names[std::size(kNameTexts)];

const Parameters kNew = {"FloorArm", names, 3, 0};
const Parameters kFk = {"fk", names + 3, 2, 2};
const Parameters kDirection = {"direction", names + 3, 2, 2};
const Parameters kIsReachableJoints = {"is_reachable_joints", names + 3, 2, 2};
const Parameters kIk = {"ik", names + 5, 1, 1};
const Parameters kIsReachableOrientation = {"is_reachable_orientation", names + 5, 1, 1};
const Parameters kIkFromDirection = {"ik_from_direction", names + 6, 2, 1};
const Parameters kIsReachableDirection = {"is_reachable_direction", names + 6, 1, 1};
const Parameters kFromJson = {"from_json", names + 8, 1, 1};
const Parameters kNeckFk = {"fk", names + 9, 1, 1};
const Parameters kNeckIk = {"ik", names + 10, 1, 1};

FloorArm* arm_of(PyObject* self) { return reinterpret_cast<FloorArm*>(self); }

PyObject* allocate_arm(PyTypeObject* type, double arm_arc, double coupler_arc, bool mirror) {
    PyObject* self = type->tp_alloc(type, 0);
    if (self == nullptr) return nullptr;
    arm_of(self)->arm_arc = arm_arc;
    arm_of(self)->coupler_arc = coupler_arc;
    arm_of(self)->mirror = mirror;
    return self;
}

PyObject* arm_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    PyObject* slots[3];
    if (!bind(kNew, args, kwargs, slots)) return nullptr;
    double arm_arc = 0.7;
    double coupler_arc = 0.5;
    bool mirror = false;
    if (slots[0] != nullptr && !to_double(slots[0], arm_arc)) return nullptr;
    if (slots[1] != nullptr && !to_double(slots[1], coupler_arc)) return nullptr;
    if (slots[2] != nullptr && !to_flag(slots[2], mirror)) return nullptr;
    return allocate_arm(type, arm_arc, coupler_arc, mirror);
}

void dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    type->tp_free(self);
    Py_DECREF(type);
}

PyObject* arm_default_left(PyObject*, PyObject*) { return allocate_arm(floor_arm_type, 0.7, 0.5, false); }
PyObject* arm_default_right(PyObject*, PyObject*) { return allocate_arm(floor_arm_type, 0.7, 0.5, true); }

// Binds and converts the two joint angles of the forward methods.
bool joint_arguments(const Parameters& p, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames, double& a,
                     double& b) {
    PyObject* slots[2];
    return bind(p, args, nargsf, kwnames, slots) && to_double(slots[0], a) && to_double(slots[1], b);
}

PyObject* arm_fk(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    double a = 0.0;
    double b = 0.0;
    if (!joint_arguments(kFk, args, nargsf, kwnames, a, b)) return nullptr;
    const double c = arm_of(self)->coupler_arc;
    const double m[3][3] = {{a, b, c}, {b, c, a}, {c, a, b}};
    return matrix_list(m);
}

PyObject* arm_direction(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    double a = 0.0;
    double b = 0.0;
    if (!joint_arguments(kDirection, args, nargsf, kwnames, a, b)) return nullptr;
    return list_of_three(a, b, arm_of(self)->coupler_arc);
}

PyObject* arm_is_reachable_joints(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    double a = 0.0;
    double b = 0.0;
    if (!joint_arguments(kIsReachableJoints, args, nargsf, kwnames, a, b)) return nullptr;
    return flag(a < arm_of(self)->arm_arc + b);
}

PyObject* arm_ik(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    PyObject* slot = nullptr;
    double r[3][3];
    if (!bind(kIk, args, nargsf, kwnames, &slot) || !to_matrix(slot, r)) return nullptr;
    const double pair[2] = {r[0][2] + arm_of(self)->arm_arc, r[1][2]};
    return float_tuple(pair, 2);
}

PyObject* arm_is_reachable_orientation(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                                       PyObject* kwnames) {
    PyObject* slot = nullptr;
    double r[3][3];
    if (!bind(kIsReachableOrientation, args, nargsf, kwnames, &slot) || !to_matrix(slot, r)) return nullptr;
    return flag(r[2][2] < arm_of(self)->arm_arc);
}

PyObject* arm_ik_from_direction(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    PyObject* slots[2];
    double v[3];
    bool has_near = false;
    double near[2] = {0.0, 0.0};
    if (!bind(kIkFromDirection, args, nargsf, kwnames, slots) || !to_three(slots[0], v) ||
        !to_optional_pair(slots[1], has_near, near)) {
        return nullptr;
    }
    const double pair[2] = {v[0] + near[0] + arm_of(self)->arm_arc, v[1] + near[1]};
    return float_tuple(pair, 2);
}

PyObject* arm_is_reachable_direction(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    PyObject* slot = nullptr;
    double v[3];
    if (!bind(kIsReachableDirection, args, nargsf, kwnames, &slot) || !to_three(slot, v)) return nullptr;
    return flag(v[2] < arm_of(self)->arm_arc);
}

PyObject* arm_arm_arc(PyObject* self, PyObject*) { return PyFloat_FromDouble(arm_of(self)->arm_arc); }
PyObject* arm_coupler_arc(PyObject* self, PyObject*) { return PyFloat_FromDouble(arm_of(self)->coupler_arc); }
PyObject* arm_mirror(PyObject* self, PyObject*) { return flag(arm_of(self)->mirror); }

// The text is fetched as UTF-8, as a reader needs it, then not read.
PyObject* arm_from_json(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    PyObject* slot = nullptr;
    if (!bind(kFromJson, args, nargsf, kwnames, &slot)) return nullptr;
    if (!PyUnicode_Check(slot)) {
        PyErr_SetString(PyExc_TypeError, "expected a str");
        return nullptr;
    }
    Py_ssize_t size = 0;
    const char* text = PyUnicode_AsUTF8AndSize(slot, &size);
    if (text == nullptr) return nullptr;
    return allocate_arm(floor_arm_type, 0.7, 0.5, size < 0);
}

PyObject* neck_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    if (PyTuple_GET_SIZE(args) != 0 || (kwargs != nullptr && PyDict_GET_SIZE(kwargs) != 0)) {
        PyErr_SetString(PyExc_TypeError, "FloorNeck() takes no arguments");
        return nullptr;
    }
    return type->tp_alloc(type, 0);
}

PyObject* neck_fk(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    PyObject* slot = nullptr;
    double j[3];
    if (!bind(kNeckFk, args, nargsf, kwnames, &slot) || !to_three(slot, j)) return nullptr;
    const double m[3][3] = {{j[0], j[1], j[2]}, {j[1], j[2], j[0]}, {j[2], j[0], j[1]}};
    return matrix_list(m);
}

PyObject* neck_ik(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    PyObject* slot = nullptr;
    double r[3][3];
    if (!bind(kNeckIk, args, nargsf, kwnames, &slot) || !to_matrix(slot, r)) return nullptr;
    const double angles[3] = {r[1][0], r[2][0], r[2][1]};
    return float_tuple(angles, 3);
}

template <class Function>
PyCFunction as_cfunction(Function function) {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function));
}

constexpr int kFastKeywords = METH_FASTCALL | METH_KEYWORDS;

PyMethodDef arm_methods[] = {
    {"default_left", as_cfunction(arm_default_left), METH_NOARGS | METH_STATIC, nullptr},
    {"default_right", as_cfunction(arm_default_right), METH_NOARGS | METH_STATIC, nullptr},
    {"from_json", as_cfunction(arm_from_json), kFastKeywords | METH_STATIC, nullptr},
    {"fk", as_cfunction(arm_fk), kFastKeywords, nullptr},
    {"direction", as_cfunction(arm_direction), kFastKeywords, nullptr},
    {"is_reachable_joints", as_cfunction(arm_is_reachable_joints), kFastKeywords, nullptr},
    {"ik", as_cfunction(arm_ik), kFastKeywords, nullptr},
    {"ik_from_direction", as_cfunction(arm_ik_from_direction), kFastKeywords, nullptr},
    {"is_reachable_orientation", as_cfunction(arm_is_reachable_orientation), kFastKeywords, nullptr},
    {"is_reachable_direction", as_cfunction(arm_is_reachable_direction), kFastKeywords, nullptr},
    {"arm_arc", as_cfunction(arm_arm_arc), METH_NOARGS, nullptr},
    {"coupler_arc", as_cfunction(arm_coupler_arc), METH_NOARGS, nullptr},
    {"mirror", as_cfunction(arm_mirror), METH_NOARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

PyMethodDef neck_methods[] = {
    {"fk", as_cfunction(neck_fk), kFastKeywords, nullptr},
    {"ik", as_cfunction(neck_ik), kFastKeywords, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot arm_slots[] = {
    {Py_tp_new, reinterpret_cast<void*>(arm_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc)},
    {Py_tp_methods, arm_methods},
    {0, nullptr},
};

PyType_Slot neck_slots[] = {
    {Py_tp_new, reinterpret_cast<void*>(neck_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc)},
    {Py_tp_methods, neck_methods},
    {0, nullptr},
};

PyType_Spec arm_spec = {"quorvel_bench_floor.FloorArm", static_cast<int>(sizeof(FloorArm)), 0, Py_TPFLAGS_DEFAULT,
                        arm_slots};
PyType_Spec neck_spec = {"quorvel_bench_floor.FloorNeck", static_cast<int>(sizeof(PyObject)), 0,
                         Py_TPFLAGS_DEFAULT, neck_slots};

// Not part of the floor: lets bench/python_callgrind.py cut a callgrind run
// into one dump per measured statement. Does nothing outside valgrind.
PyObject* callgrind_dump(PyObject*, PyObject* label) {
    const char* text = PyUnicode_AsUTF8(label);
    if (text == nullptr) return nullptr;
#ifdef QUORVEL_FLOOR_HAVE_CALLGRIND
    CALLGRIND_DUMP_STATS_AT(text);
#endif
    Py_RETURN_NONE;
}

PyMethodDef module_functions[] = {
    {"callgrind_dump", callgrind_dump, METH_O, "callgrind_dump(label): dump callgrind's counts so far, labelled"},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT, "quorvel_bench_floor",
    "Benchmark floor: the module's argument and result work without the kinematics.",
    -1, module_functions, nullptr, nullptr, nullptr, nullptr,
};

bool make_names() {
    for (std::size_t i = 0; i < std::size(kNameTexts); ++i) {
        names[i] = PyUnicode_InternFromString(kNameTexts[i]);
        if (names[i] == nullptr) return false;
    }
    return true;
}

}  // namespace

PyMODINIT_FUNC PyInit_quorvel_bench_floor() {
    if (!make_names()) return nullptr;
    PyObject* module = PyModule_Create(&module_definition);
    if (module == nullptr) return nullptr;
    PyObject* arm = PyType_FromSpec(&arm_spec);
    PyObject* neck = arm == nullptr ? nullptr : PyType_FromSpec(&neck_spec);
    if (neck == nullptr || PyModule_AddObjectRef(module, "FloorArm", arm) < 0 ||
        PyModule_AddObjectRef(module, "FloorNeck", neck) < 0) {
        Py_XDECREF(arm);
        Py_XDECREF(neck);
        Py_DECREF(module);
        return nullptr;
    }
    floor_arm_type = reinterpret_cast<PyTypeObject*>(arm);  // kept: the module holds it too
    Py_DECREF(neck);
    return module;
}
