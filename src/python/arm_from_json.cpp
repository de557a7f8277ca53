#include <string>
#include <string_view>

#include "geometry_doc/geometry_document.hpp"
#include "python/argument_binding.hpp"
#include "python/argument_converters.hpp"
#include "python/arm_class.hpp"
#include "python/entry_guard.hpp"

namespace quorvel::python {

namespace {

constinit Parameter kJsonParameters[] = {{"json"}};
constexpr ArgumentDescriptor kFromJson = {"QuorvelArmKinematics", "from_json", kJsonParameters, 1, 1};

}  // namespace

PyObject* arm_from_json(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return guarded([&]() -> PyRef {
        PyObject* slot = nullptr;
        if (!bind_arguments(kFromJson, args, nargsf, kwnames, &slot)) return {};
        std::string_view text;
        if (!convert_argument(extract_text, slot, "json", text)) return {};
        const GeometryDocumentResult document = parse_geometry_document(text);
        if (!document.geometry) {
            // Built from the length-carrying text: a NUL inside a quoted value
            // must not cut the message short.
            const std::string message = "Invalid arms.json: " + document.error;
            PyRef text = PyRef::steal(
                PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace"));
            if (text) PyErr_SetObject(PyExc_ValueError, text.get());
            return {};
        }
        return create_arm(*document.geometry);
    });
}

}  // namespace quorvel::python
