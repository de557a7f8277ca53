#include "python/batch/arm_data.hpp"

#include <cmath>
#include <string>

#include "arm/spherical_link_geometry.hpp"
#include "python/argument_binding.hpp"
#include "python/batch/arm_access.hpp"
#include "python/entry_guard.hpp"
#include "python/method_table.hpp"
#include "python/py_ref.hpp"

namespace quorvel::python::batch {

namespace {

constinit Parameter kArmParameter[] = {{"arm"}};
constexpr ArgumentDescriptor kGeometry = {nullptr, "geometry", kArmParameter, 1, 1};
constexpr ArgumentDescriptor kToJson = {nullptr, "to_json", kArmParameter, 1, 1};

const char* branch_name(const SphericalLinkGeometry& g) {
    return g.branch == LoopBranch::Positive ? "positive" : "negative";
}

bool bound_geometry(const ArgumentDescriptor& descriptor, PyObject* const* args, Py_ssize_t nargsf,
                    PyObject* kwnames, SphericalLinkGeometry& out) {
    PyObject* slot = nullptr;
    return bind_arguments(descriptor, args, nargsf, kwnames, &slot) && extract_geometry(slot, out);
}

// The shortest digits that read back to the same double, as repr() writes
// them; JSON has no NaN or infinity, so those refuse.
bool append_number(std::string& text, double value, const char* field) {
    if (!std::isfinite(value)) {
        PyErr_Format(PyExc_ValueError,
                     "argument 'arm': its %s is not finite, and a geometry document holds finite numbers only", field);
        return false;
    }
    char* digits = PyOS_double_to_string(value, 'r', 0, 0, nullptr);
    if (digits == nullptr) return false;
    text += digits;
    PyMem_Free(digits);
    return true;
}

PyRef document_of(const SphericalLinkGeometry& g) {
    std::string text = "{\"arm_arc\": ";
    if (!append_number(text, g.arm_arc, "arm_arc")) return {};
    text += ", \"coupler_arc\": ";
    if (!append_number(text, g.coupler_arc, "coupler_arc")) return {};
    text.append(", \"branch\": \"").append(branch_name(g)).append("\", \"mirror\": ");
    text.append(g.mirror ? "true}" : "false}");
    return PyRef::steal(PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
}

PyObject* geometry(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return guarded([&]() -> PyRef {
        SphericalLinkGeometry g;
        if (!bound_geometry(kGeometry, args, nargsf, kwnames, g)) return {};
        return PyRef::steal(Py_BuildValue("{s:d,s:d,s:s,s:O}", "arm_arc", g.arm_arc, "coupler_arc", g.coupler_arc,
                                          "branch", branch_name(g), "mirror", g.mirror ? Py_True : Py_False));
    });
}

PyObject* to_json(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return guarded([&]() -> PyRef {
        SphericalLinkGeometry g;
        if (!bound_geometry(kToJson, args, nargsf, kwnames, g)) return {};
        return document_of(g);
    });
}

// copyreg's reducer: (QuorvelArmKinematics.from_json, (document,)).
PyObject* reduce_arm(PyObject* from_json, PyObject* arm) {
    return guarded([&]() -> PyRef {
        SphericalLinkGeometry g;
        if (!extract_geometry(arm, g)) return {};
        PyRef document = document_of(g);
        if (!document) return {};
        return PyRef::steal(Py_BuildValue("(O(O))", from_json, document.get()));
    });
}

PyMethodDef reduce_method = {"reduce_arm", reduce_arm, METH_O, nullptr};

}  // namespace

PyMethodDef geometry_method = {
    "geometry", as_cfunction(geometry), kFastKeywords,
    "geometry(arm)\n--\n\n"
    "The geometry of `arm` as a dict: {\"arm_arc\": float, \"coupler_arc\": float,\n"
    "\"branch\": \"positive\" or \"negative\", \"mirror\": bool}, arcs in radians.\n"
    "Raises TypeError when `arm` is not a QuorvelArmKinematics.\n"};

PyMethodDef to_json_method = {
    "to_json", as_cfunction(to_json), kFastKeywords,
    "to_json(arm)\n--\n\n"
    "A geometry document of `arm` that QuorvelArmKinematics.from_json reads back to\n"
    "the same geometry, arcs exact (the shortest digits that round-trip).\n"
    "Raises TypeError when `arm` is not a QuorvelArmKinematics, and ValueError when\n"
    "an arc is NaN or infinite (JSON has no such numbers).\n"};

bool register_arm_pickling() {
    PyRef type = arm_type();
    PyRef from_json = PyRef::steal(PyObject_GetAttrString(type.get(), "from_json"));
    if (!from_json) return false;
    PyRef reducer = PyRef::steal(PyCFunction_New(&reduce_method, from_json.get()));
    PyRef copyreg = PyRef::steal(PyImport_ImportModule("copyreg"));
    if (!reducer || !copyreg) return false;
    PyRef done = PyRef::steal(PyObject_CallMethod(copyreg.get(), "pickle", "OO", type.get(), reducer.get()));
    return static_cast<bool>(done);
}

}  // namespace quorvel::python::batch
