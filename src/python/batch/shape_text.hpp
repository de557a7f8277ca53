#pragma once

#include <string>

#include "python/batch/numpy_api.hpp"

namespace quorvel::python::batch {

// A shape as Python writes it: "()", "(5,)", "(4, 3)".
inline std::string shape_text(int ndim, const npy_intp* dims) {
    std::string text = "(";
    for (int i = 0; i < ndim; ++i) {
        if (i > 0) text += ", ";
        text += std::to_string(dims[i]);
    }
    return text + (ndim == 1 ? ",)" : ")");
}

}  // namespace quorvel::python::batch
