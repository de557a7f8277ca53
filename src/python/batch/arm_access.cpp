#include "python/batch/arm_access.hpp"

#include "python/arm_capsule.hpp"
#include "python/conversion_error.hpp"
#include "python/py_ref.hpp"

namespace quorvel::python::batch {

namespace {

// Points into the main module, which is never unloaded.
const ArmCapsule* capsule = nullptr;

bool refuse(const char* why) {
    PyRef cause = PyRef::steal(PyErr_GetRaisedException());
    PyErr_Format(PyExc_ImportError,
                 "quorvel_torso_kinematics_batch needs the arm capsule of quorvel_torso_kinematics (%s): the two "
                 "modules come from different builds",
                 why);
    if (cause) {
        PyRef error = PyRef::steal(PyErr_GetRaisedException());
        PyException_SetCause(error.get(), cause.release());
        PyErr_SetRaisedException(error.release());
    }
    return false;
}

}  // namespace

bool load_arm_access() {
    if (capsule != nullptr) return true;
    PyRef module = PyRef::steal(PyImport_ImportModule("quorvel_torso_kinematics"));
    if (!module) return false;
    PyRef object = PyRef::steal(PyObject_GetAttrString(module.get(), "__arm_capsule__"));
    if (!object) return refuse("it has no __arm_capsule__");
    const auto* found = static_cast<const ArmCapsule*>(PyCapsule_GetPointer(object.get(), kArmCapsuleName));
    if (found == nullptr) return refuse("__arm_capsule__ is not the arm capsule");
    if (found->layout != kArmCapsuleLayout) return refuse("another layout");
    capsule = found;
    return true;
}

bool extract_geometry(PyObject* obj, SphericalLinkGeometry& out) {
    if (capsule != nullptr && obj != nullptr && capsule->read_geometry(obj, &out)) return true;
    raise_cannot_convert(Py_TYPE(obj != nullptr ? obj : Py_None), "QuorvelArmKinematics");
    argument_error("arm");
    return false;
}

PyRef arm_type() { return PyRef::borrow(reinterpret_cast<PyObject*>(capsule->arm_type)); }

}  // namespace quorvel::python::batch
