#include "python/result_converters.hpp"

#include <initializer_list>

#include "python/internal_fault.hpp"

namespace quorvel::python {

namespace {

PyRef tuple_of_floats(std::initializer_list<double> values) {
    PyRef tuple = created(PyTuple_New(static_cast<Py_ssize_t>(values.size())));
    Py_ssize_t i = 0;
    for (const double value : values) PyTuple_SET_ITEM(tuple.get(), i++, created(PyFloat_FromDouble(value)).release());
    return tuple;
}

PyRef list_of_three(PyRef first, PyRef second, PyRef third) {
    PyRef list = created(PyList_New(3));
    PyList_SET_ITEM(list.get(), 0, first.release());
    PyList_SET_ITEM(list.get(), 1, second.release());
    PyList_SET_ITEM(list.get(), 2, third.release());
    return list;
}

}  // namespace

PyRef creation_failed() {
    PyErr_Print();
    fault("Python API call failed");
}

PyRef vector3_to_list(const Vector3& v) {
    return list_of_three(float_to_python(v.x), float_to_python(v.y), float_to_python(v.z));
}

PyRef matrix3_to_list(const Matrix3& m) {
    auto row = [&m](int i) { return list_of_three(float_to_python(m[i][0]), float_to_python(m[i][1]), float_to_python(m[i][2])); };
    return list_of_three(row(0), row(1), row(2));
}

PyRef joint_pair_to_tuple(const JointPair& pair) { return tuple_of_floats({pair.theta_a, pair.theta_b}); }

PyRef angles3_to_tuple(double first, double second, double third) { return tuple_of_floats({first, second, third}); }

}  // namespace quorvel::python
