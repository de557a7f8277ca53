#pragma once

#include <Python.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include "python/batch/numpy_api.hpp"

namespace quorvel::python::batch {

// How many leading dimensions an array argument has before its fixed
// trailing ones: any ("..."), exactly one ("(N, 3)"), or none ("(2,)").
enum class Lead : std::uint8_t { Any, One, None };

// The shape an array argument must have, named as errors and docs name it.
struct ArrayShape {
    const char* text = nullptr;  // "(..., 3, 3)"
    Lead lead = Lead::Any;
    int trailing_ndim = 0;
    npy_intp trailing[2] = {0, 0};

    constexpr npy_intp row_size() const {
        return trailing_ndim == 0 ? 1 : trailing_ndim == 1 ? trailing[0] : trailing[0] * trailing[1];
    }
};

inline constexpr ArrayShape kJointPairs = {"(..., 2)", Lead::Any, 1, {2, 0}};
inline constexpr ArrayShape kVectors = {"(..., 3)", Lead::Any, 1, {3, 0}};
inline constexpr ArrayShape kMatrices = {"(..., 3, 3)", Lead::Any, 2, {3, 3}};
inline constexpr ArrayShape kPath = {"(N, 3)", Lead::One, 1, {3, 0}};
inline constexpr ArrayShape kOnePair = {"(2,)", Lead::None, 1, {2, 0}};

// Checks a converted value (the few doubles of an array without leading
// dimensions, or one option); false with ValueError naming the argument.
using ValueCheck = bool (*)(const double* values, const char* name);

enum class ParamKind : std::uint8_t {
    Arm,            // a QuorvelArmKinematics, its geometry copied
    Array,          // converted to float64, trailing shape checked
    OptionalArray,  // the same, or None / left out
    Float,          // a real number (or None when `default_text` is "None")
};

struct Param {
    const char* name = nullptr;
    ParamKind kind = ParamKind::Arm;
    ArrayShape shape = {};
    // Text in the signature for a parameter that may be left out.
    const char* default_text = nullptr;
    bool keyword_only = false;
    ValueCheck check = nullptr;
    // An optional array that broadcasts against the others: the shapes the
    // broadcasting error names, e.g. "(2,) or (..., 2)".
    const char* broadcast_text = nullptr;
    // A Float left out or None: this value.
    double default_value = 0.0;
};

inline constexpr Param kArm = {"arm", ParamKind::Arm};
inline constexpr double kInfinity = __builtin_inf();

// Values: float64, NaN where the row has no answer. Mask: bool, written by
// the loop: false where the row has no answer or any of its values is NaN.
// Flags: bool written by the row itself (false where it has no answer).
// Slot: int8 written by the row itself (-1 where it has no answer).
enum class OutKind : std::uint8_t { Values, Mask, Flags, Slot };

struct Output {
    OutKind kind = OutKind::Values;
    int trailing_ndim = 0;
    npy_intp trailing[2] = {0, 0};

    constexpr npy_intp row_size() const {
        return trailing_ndim == 0 ? 1 : trailing_ndim == 1 ? trailing[0] : trailing[0] * trailing[1];
    }
    constexpr npy_intp item_size() const {
        return kind == OutKind::Values ? 8 : 1;
    }
};

constexpr Output values() { return {OutKind::Values}; }
constexpr Output values(npy_intp n) { return {OutKind::Values, 1, {n, 0}}; }
constexpr Output values(npy_intp rows, npy_intp columns) { return {OutKind::Values, 2, {rows, columns}}; }
inline constexpr Output kMask = {OutKind::Mask};
constexpr Output flags(npy_intp n) { return {OutKind::Flags, n == 0 ? 0 : 1, {n, 0}}; }
inline constexpr Output kSlot = {OutKind::Slot};

inline constexpr std::size_t kMaxParams = 7;   // workers comes on top
inline constexpr std::size_t kMaxOutputs = 5;

// One function of the module: everything but its row body.
struct FunctionDecl {
    const char* name = nullptr;
    std::array<Param, kMaxParams> params = {};
    std::size_t param_count = 0;
    std::array<Output, kMaxOutputs> outputs = {};
    std::size_t output_count = 0;
    const char* doc = nullptr;  // after the signature line; the shared Raises paragraph follows
    // The result's named-tuple type, when the outputs are returned as one.
    PyTypeObject** result_type = nullptr;
};

constexpr Param array(const char* name, const ArrayShape& shape) { return {name, ParamKind::Array, shape}; }

// The usual declaration: the lists written out, their lengths counted.
constexpr FunctionDecl function(const char* name, std::initializer_list<Param> params,
                                std::initializer_list<Output> outputs, const char* doc,
                                PyTypeObject** result_type = nullptr) {
    FunctionDecl decl{name, {}, params.size(), {}, outputs.size(), doc, result_type};
    std::size_t k = 0;
    for (const Param& p : params) decl.params[k++] = p;
    k = 0;
    for (const Output& o : outputs) decl.outputs[k++] = o;
    return decl;
}

}  // namespace quorvel::python::batch
