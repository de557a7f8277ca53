#include "python/batch/arm_argument.hpp"

#include "python/arm_class.hpp"
#include "python/conversion_error.hpp"
#include "python/py_ref.hpp"

namespace quorvel::python::batch {

namespace {

// The main module's class object, kept for the life of the process like the
// main module's own class cells.
PyTypeObject* arm_type = nullptr;

}  // namespace

bool load_arm_class() {
    if (arm_type != nullptr) return true;
    PyRef module = PyRef::steal(PyImport_ImportModule("quorvel_torso_kinematics"));
    if (!module) return false;
    PyRef type = PyRef::steal(PyObject_GetAttrString(module.get(), "QuorvelArmKinematics"));
    if (!type) return false;
    if (!PyType_Check(type.get())) {
        PyErr_SetString(PyExc_ImportError, "quorvel_torso_kinematics.QuorvelArmKinematics is not a class");
        return false;
    }
    // The instances are read directly: a main module built with another
    // layout must be refused here, not misread later.
    const Py_ssize_t size = reinterpret_cast<PyTypeObject*>(type.get())->tp_basicsize;
    if (size != static_cast<Py_ssize_t>(sizeof(ArmObject))) {
        PyErr_Format(PyExc_ImportError,
                     "quorvel_torso_kinematics.QuorvelArmKinematics instances are %zd bytes, this companion reads "
                     "%zu: the two modules come from different builds",
                     size, sizeof(ArmObject));
        return false;
    }
    arm_type = reinterpret_cast<PyTypeObject*>(type.release());
    return true;
}

bool extract_geometry(PyObject* obj, SphericalLinkGeometry& out) {
    if (arm_type == nullptr || obj == nullptr || !PyObject_TypeCheck(obj, arm_type)) {
        raise_cannot_convert(Py_TYPE(obj != nullptr ? obj : Py_None), "QuorvelArmKinematics");
        argument_error("arm");
        return false;
    }
    out = geometry_of(obj);
    return true;
}

}  // namespace quorvel::python::batch
