#pragma once

#include <Python.h>

#include <cstdint>

#include "arm/spherical_link_geometry.hpp"

namespace quorvel::python {

// What the main module hands the array companion, as a capsule in its
// `__arm_capsule__` attribute: its arm class and the one way to read an arm's
// geometry. The companion trusts nothing else of the main module (not the
// class attribute, which user code can rebind, nor the instances' layout).
inline constexpr const char* kArmCapsuleName = "quorvel_torso_kinematics.__arm_capsule__";

struct ArmCapsule {
    // Both modules must agree on this record and on the geometry's layout.
    std::uint32_t layout;
    PyTypeObject* arm_type;
    // Copies the geometry of `obj` and returns true when it is an arm (an
    // instance of arm_type or a subclass); false, with no error set, otherwise.
    bool (*read_geometry)(PyObject* obj, SphericalLinkGeometry* out);
};

inline constexpr std::uint32_t kArmCapsuleLayout =
    static_cast<std::uint32_t>(sizeof(ArmCapsule) << 16 | sizeof(SphericalLinkGeometry) << 8 | 1);

}  // namespace quorvel::python
