// The functions of the array companion, one kernel each: its declaration
// (name, parameters with their shapes, outputs, documentation) and its row
// body, which calls the core. Everything else is the row loop's.
#include "python/batch/functions.hpp"

#include <cmath>
#include <cstdint>
#include <optional>

#include "arm/forward_kinematics.hpp"
#include "arm/inverse_candidates.hpp"
#include "arm/inverse_solvers.hpp"
#include "neck/neck_kinematics.hpp"
#include "python/batch/arm_data.hpp"
#include "python/batch/row_io.hpp"
#include "python/batch/row_loop.hpp"
#include "python/method_table.hpp"

namespace quorvel::python::batch {

namespace {

bool finite(const Vector3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

bool finite_pair(const double* pair, const char* name) {
    if (std::isfinite(pair[0]) && std::isfinite(pair[1])) return true;
    PyErr_Format(PyExc_ValueError, "argument '%s': expected a finite joint pair", name);
    return false;
}

// [[lo_A, hi_A], [lo_B, hi_B]]: the layout of JointLimits.
bool ordered_limits(const double* limits, const char* name) {
    if (limits[0] <= limits[1] && limits[2] <= limits[3]) return true;
    PyErr_Format(PyExc_ValueError,
                 "argument '%s': expected [[lo_A, hi_A], [lo_B, hi_B]] in radians with lo <= hi and no NaN", name);
    return false;
}

bool positive(const double* value, const char* name) {
    if (*value > 0.0) return true;
    PyErr_Format(PyExc_ValueError, "argument '%s': expected a number > 0, or None", name);
    return false;
}

constexpr ArrayShape kLimitsShape = {"(2, 2)", Lead::None, 2, {2, 2}};
constexpr Param kNear = {"near", ParamKind::OptionalArray, kJointPairs, "None", false, nullptr, "(2,) or (..., 2)"};
constexpr Param kJointLimits = {"joint_limits", ParamKind::OptionalArray, kLimitsShape, "None", true, ordered_limits};
constexpr Param kMaxStep = {"max_step", ParamKind::Float, {}, "None", true, positive, nullptr, kInfinity};

const JointLimits* limits_at(const double* p, JointLimits& storage) {
    if (p == nullptr) return nullptr;
    storage = {load(p), load(p + 1), load(p + 2), load(p + 3)};
    return &storage;
}

// ------------------------------------------------------------------ forward

struct Fk {
    static constexpr FunctionSpec spec = function(
        "fk", {kArm, array("joints", kJointPairs)}, {values(3, 3), kMask},
        "Forward kinematics of many joint pairs: `joints` (..., 2) holds (θ_A, θ_B) in\n"
        "radians. Returns `(rotations, closed)`: rotations (..., 3, 3), float64, each the\n"
        "end-effector rotation in the arm's base frame as `arm.fk` gives it (columns e1,\n"
        "e2, v_3), and closed (...), bool. Rows whose loop does not close are NaN with\n"
        "closed False (where `arm.fk` raises RuntimeError); closed is also False where a\n"
        "NaN angle gives NaN entries.\n");
    static bool row(const Call& c, const Row& r) {
        const std::optional<ArmPose> pose = forward_kinematics(c.geometry, load(r.in[1]), load(r.in[1] + 1));
        if (pose) write_matrix(r.values(0), pose->rotation);
        return pose.has_value();
    }
};

struct Direction {
    static constexpr FunctionSpec spec = function(
        "direction", {kArm, array("joints", kJointPairs)}, {values(3), kMask},
        "Pointing directions v_3 of many joint pairs: `joints` (..., 2) in radians.\n"
        "Returns `(directions, closed)`: directions (..., 3), float64, unit vectors in the\n"
        "base frame as `arm.direction` gives them, and closed (...), bool; rows whose\n"
        "loop does not close, or that hold a NaN, have closed False.\n");
    static bool row(const Call& c, const Row& r) {
        const std::optional<ArmPose> pose = forward_kinematics(c.geometry, load(r.in[1]), load(r.in[1] + 1));
        if (pose) write_vector(r.values(0), pose->v_3);
        return pose.has_value();
    }
};

struct IsReachableJoints {
    static constexpr FunctionSpec spec = function(
        "is_reachable_joints", {kArm, array("joints", kJointPairs)}, {flags(0)},
        "Whether each joint pair of `joints` (..., 2), radians, closes the loop: a bool\n"
        "array of shape (...), equal to `arm.is_reachable_joints` row by row.\n");
    static bool row(const Call& c, const Row& r) {
        *r.flags(0) = is_reachable_joints(c.geometry, load(r.in[1]), load(r.in[1] + 1));
        return true;
    }
};

// ------------------------------------------------------------------ inverse

struct Ik {
    static constexpr FunctionSpec spec = function(
        "ik", {kArm, array("r_target", kMatrices)}, {values(2), kMask},
        "Inverse kinematics of many end-effector rotations: `r_target` (..., 3, 3), each\n"
        "row-major in the base frame. Returns `(joints, found)`: joints (..., 2), float64\n"
        "(θ_A, θ_B) in radians as `arm.ik` gives them, and found (...), bool; rows with\n"
        "no pair within 1e-6 (Frobenius) are NaN with found False.\n");
    static bool row(const Call& c, const Row& r) {
        const std::optional<JointPair> pair = ik(c.geometry, matrix_at(r.in[1]));
        if (pair) write_pair(r.values(0), *pair);
        return pair.has_value();
    }
};

struct IkFromDirection {
    static constexpr FunctionSpec spec = function(
        "ik_from_direction", {kArm, array("v3", kVectors), kNear, kJointLimits}, {values(2), kMask},
        "Joint pairs pointing the arm along many directions: `v3` (..., 3) in the base\n"
        "frame, any non-zero length. `near`, radians, is None (the smallest-norm pair\n"
        "wins), one pair (2,) for every row, or (..., 2) broadcast against the leading\n"
        "shape of `v3` (NumPy's rules). Returns `(joints, found)`: joints of the\n"
        "broadcast shape + (2,), float64, as `arm.ik_from_direction` gives them, and\n"
        "found, bool; rows without a solution are NaN with found False.\n"
        "`joint_limits` [[lo_A, hi_A], [lo_B, hi_B]] (radians, inclusive) leaves out\n"
        "the candidates outside it, so a row whose every candidate lies outside is not\n"
        "found. A `near` whose leading shape does not broadcast, or limits with\n"
        "lo > hi or a NaN, raise ValueError.\n");
    static bool row(const Call& c, const Row& r) {
        JointLimits limits;
        const std::optional<DirectionChoice> choice = choose_direction_pair(
            c.geometry, vector_at(r.in[1]), optional_pair_at(r.in[2]), limits_at(r.in[3], limits));
        if (choice) write_pair(r.values(0), choice->joints);
        return choice.has_value();
    }
};

struct FollowPath {
    static constexpr FunctionSpec spec = function(
        "follow_path",
        {kArm, array("directions", kPath), {"start", ParamKind::Array, kOnePair, nullptr, false, finite_pair},
         kMaxStep, kJointLimits},
        {values(2), kMask, kSlot},
        "Joints along a trajectory of pointing directions: `directions` (N, 3) in the\n"
        "base frame, `start` (2,) the joint pair in radians the arm starts from. Row i is\n"
        "`arm.ik_from_direction(directions[i], near=reference)`, the reference being\n"
        "`start` for the first row and the last pair found after that, so the path stays\n"
        "on its branch wherever the geometry allows. Returns `(joints, found, slot)`:\n"
        "joints (N, 2), float64, radians; found (N,), bool; slot (N,), int8, the slot of\n"
        "`direction_candidates` the pair came from, -1 where not found. Rows without a\n"
        "solution are NaN, not found, and leave the reference where it was.\n"
        "`max_step` (radians, > 0): a row whose pair lies farther than this from the\n"
        "reference (Euclidean, in joint space) is not found either, so the path never\n"
        "jumps silently. `joint_limits` [[lo_A, hi_A], [lo_B, hi_B]] (inclusive) leaves\n"
        "out the candidates outside it. A non-finite `start`, a `max_step` <= 0, and\n"
        "limits of another shape, with lo > hi or a NaN raise ValueError. The rows run\n"
        "in order on one thread.\n");
    // The pair the next row is solved nearest to: the last one found.
    struct State {
        State(const Call&, const double* const* bases) : reference(pair_at(bases[2])) {}
        std::optional<JointPair> reference;
    };
    static bool row(const Call& c, const Row& r, State& s) {
        JointLimits limits;
        const std::optional<DirectionChoice> choice =
            choose_direction_pair(c.geometry, vector_at(r.in[1]), s.reference, limits_at(r.in[4], limits));
        // metric: the squared distance to the reference.
        if (!choice || !(std::sqrt(choice->metric) <= c.option[3])) return false;
        write_pair(r.values(0), choice->joints);
        *r.slot(2) = static_cast<std::int8_t>(choice->slot);
        s.reference = choice->joints;
        return true;
    }
};

struct DirectionCandidates {
    static constexpr FunctionSpec spec = function(
        "direction_candidates", {kArm, array("v3", kVectors)}, {values(4, 2), flags(4), flags(4)},
        "Every joint pair whose elbows suit each direction of `v3` (..., 3), base frame,\n"
        "normalised as `ik_from_direction` does. Returns `(joints, exists, reaches)`:\n"
        "joints (..., 4, 2), float64, radians, one slot per side of the two elbow\n"
        "closures, (+,+), (+,-), (-,+), (-,-), in the solver's enumeration order and\n"
        "each in [-π, π]; exists (..., 4), bool, False (and NaN joints) where a slot's\n"
        "closure or loop fails, and in every slot of a zero or non-finite direction;\n"
        "reaches (..., 4), bool, True where the pair puts v_3 within 1e-6 of the\n"
        "direction, the pairs `ik_from_direction` chooses among.\n"
        "Two reaching slots drawing together show a branch fold coming.\n");
    static bool row(const Call& c, const Row& r) {
        const Vector3 v = vector_at(r.in[1]);
        const double length = norm(v);
        if (!finite(v) || length < kMinimumDirectionLength) return false;
        const Vector3 u = v / length;
        const CandidateSlots slots = direction_candidate_slots(c.geometry, u);
        for (std::size_t k = 0; k < slots.size(); ++k) {
            const std::optional<IkCandidate>& candidate = slots[k];
            r.values(0)[2 * k] = candidate ? candidate->theta_a : kNaN;
            r.values(0)[2 * k + 1] = candidate ? candidate->theta_b : kNaN;
            r.flags(1)[k] = candidate.has_value();
            // The direction solver's own test: `reaches` marks exactly the pairs it chooses among.
            r.flags(2)[k] = candidate.has_value() && points_along(*candidate, u);
        }
        return true;
    }
};

struct NearestPointing {
    static constexpr FunctionSpec spec = function(
        "nearest_pointing", {kArm, array("r_target", kMatrices)}, {values(2), values(), kMask},
        "For target rotations `r_target` (..., 3, 3), row-major in the base frame, that\n"
        "may lie slightly off the reachable set: the joint pair pointing the arm along\n"
        "each target's third column (normalised) whose rotation is nearest the target.\n"
        "Returns `(joints, residual, found)`: joints (..., 2), float64, radians;\n"
        "residual (...), the Frobenius distance between the rotation reached and the\n"
        "target; found (...), bool. Where the direction itself cannot be reached, or the\n"
        "target holds a NaN, joints or residual are NaN and found False.\n");
    static bool row(const Call& c, const Row& r) {
        const std::optional<PointingSolution> s = nearest_pointing(c.geometry, matrix_at(r.in[1]));
        if (!s) return false;
        write_pair(r.values(0), s->joints);
        *r.values(1) = s->residual;
        return true;
    }
};

// --------------------------------------------------------------------- neck

struct NeckFk {
    static constexpr FunctionSpec spec = function(
        "neck_fk", {array("joints", kVectors)}, {values(3, 3)},
        "Neck forward kinematics: `joints` (..., 3) holds [yaw, pitch, roll] in radians.\n"
        "Returns the rotations (..., 3, 3), float64, of the head frame in the body frame,\n"
        "as `QuorvelNeckKinematics().fk` gives them.\n");
    static bool row(const Call&, const Row& r) {
        const Vector3 a = vector_at(r.in[0]);
        write_matrix(r.values(0), neck_forward_kinematics(NeckAngles{a.x, a.y, a.z}));
        return true;
    }
};

struct NeckIk {
    static constexpr FunctionSpec spec = function(
        "neck_ik", {array("r", kMatrices)}, {values(3), kMask},
        "Neck inverse kinematics: `r` (..., 3, 3), rotations of the head frame in the\n"
        "body frame, row-major. Returns `(angles, ok)`: angles (..., 3), float64,\n"
        "[yaw, pitch, roll] in radians as `QuorvelNeckKinematics().ik` gives them, and\n"
        "ok (...), bool, False with NaN angles near gimbal lock (where the per-call\n"
        "method raises ValueError) and False where an angle is NaN.\n");
    static bool row(const Call&, const Row& r) {
        const std::optional<NeckAngles> a = neck_inverse_kinematics(matrix_at(r.in[0]));
        if (a) write_vector(r.values(0), {a->yaw, a->pitch, a->roll});
        return a.has_value();
    }
};

template <class K>
PyMethodDef method() {
    return {K::spec.name, as_cfunction(entry<K>), kFastKeywords, binding<K>().doc.c_str()};
}

}  // namespace

PyMethodDef* method_table() {
    static PyMethodDef table[] = {
        method<Fk>(),
        method<Direction>(),
        method<IsReachableJoints>(),
        method<Ik>(),
        method<IkFromDirection>(),
        method<FollowPath>(),
        method<DirectionCandidates>(),
        method<NearestPointing>(),
        method<NeckFk>(),
        method<NeckIk>(),
        geometry_method,
        to_json_method,
        {nullptr, nullptr, 0, nullptr},
    };
    return table;
}

}  // namespace quorvel::python::batch
