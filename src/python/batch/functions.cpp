// The functions of the array companion, one kernel each: its declaration
// (name, parameters with their shapes, outputs, documentation) and its row
// body, which calls the core. Everything else is the row loop's.
#include "python/batch/functions.hpp"

#include <cmath>
#include <cstdint>
#include <optional>

#include "arm/differential_kinematics.hpp"
#include "arm/forward_kinematics.hpp"
#include "arm/inverse_candidates.hpp"
#include "arm/inverse_solvers.hpp"
#include "arm/workspace_boundary.hpp"
#include "neck/neck_kinematics.hpp"
#include "neck/neck_look_at.hpp"
#include "neck/neck_rates.hpp"
#include "python/batch/arm_data.hpp"
#include "python/batch/row_io.hpp"
#include "python/batch/row_loop.hpp"
#include "python/method_table.hpp"

namespace quorvel::python::batch {

namespace {

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
    static constexpr FunctionDecl decl = function(
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
    static constexpr FunctionDecl decl = function(
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
    static constexpr FunctionDecl decl = function(
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
    static constexpr FunctionDecl decl = function(
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
    static constexpr FunctionDecl decl = function(
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
    static constexpr FunctionDecl decl = function(
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
    static constexpr FunctionDecl decl = function(
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
        if (!is_finite(v) || length < kMinimumDirectionLength) return false;
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
    static constexpr FunctionDecl decl = function(
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
    static constexpr FunctionDecl decl = function(
        "neck_fk", {array("joints", kVectors)}, {values(3, 3)},
        "Neck forward kinematics: `joints` (..., 3) holds [yaw, pitch, roll] in radians.\n"
        "Returns the rotations (..., 3, 3), float64, of the head frame in the body frame,\n"
        "as `QuorvelNeckKinematics().fk` gives them.\n");
    static bool row(const Call&, const Row& r) {
        write_matrix(r.values(0), neck_forward_kinematics(angles_at(r.in[0])));
        return true;
    }
};

struct NeckIk {
    static constexpr FunctionDecl decl = function(
        "neck_ik", {array("r", kMatrices)}, {values(3), kMask},
        "Neck inverse kinematics: `r` (..., 3, 3), rotations of the head frame in the\n"
        "body frame, row-major. Returns `(angles, ok)`: angles (..., 3), float64,\n"
        "[yaw, pitch, roll] in radians as `QuorvelNeckKinematics().ik` gives them, and\n"
        "ok (...), bool, False with NaN angles near gimbal lock (where the per-call\n"
        "method raises ValueError) and False where an angle is NaN.\n");
    static bool row(const Call&, const Row& r) {
        const std::optional<NeckAngles> a = neck_inverse_kinematics(matrix_at(r.in[0]));
        if (a) write_angles(r.values(0), *a);
        return a.has_value();
    }
};

// ------------------------------------------------------------------- motion

bool non_negative(const double* value, const char* name) {
    if (*value >= 0.0 && *value < kInfinity) return true;
    PyErr_Format(PyExc_ValueError, "argument '%s': expected a finite number >= 0", name);
    return false;
}

void write_jacobian(double* out, const Jacobian3x2& j) {
    for (std::size_t row = 0; row < 3; ++row) {
        out[2 * row] = j[row][0];
        out[2 * row + 1] = j[row][1];
    }
}

struct DirectionJacobian {
    static constexpr FunctionDecl decl = function(
        "direction_jacobian", {kArm, array("joints", kJointPairs)}, {values(3, 2), kMask},
        "The direction Jacobian J_v at each joint pair of `joints` (..., 2), radians:\n"
        "the rate of the pointing direction v_3 is J_v @ (θ̇_A, θ̇_B). Returns\n"
        "`(jacobians, closed)`: jacobians (..., 3, 2), float64, columns perpendicular to\n"
        "v_3 and growing without bound near a parallel singularity (infinite on it);\n"
        "closed (...), bool, False with NaN rows where the loop does not close or a\n"
        "NaN enters.\n");
    static bool row(const Call& c, const Row& r) {
        const std::optional<Jacobian3x2> j = direction_jacobian(c.geometry, load(r.in[1]), load(r.in[1] + 1));
        if (j) write_jacobian(r.values(0), *j);
        return j.has_value();
    }
};

struct AngularJacobian {
    static constexpr FunctionDecl decl = function(
        "angular_jacobian", {kArm, array("joints", kJointPairs)}, {values(3, 2), kMask},
        "The angular-velocity Jacobian J_ω at each joint pair of `joints` (..., 2),\n"
        "radians: the end-effector turns at ω = J_ω @ (θ̇_A, θ̇_B) rad/s, with\n"
        "Ṙ = [ω]× R for the rotation R that `fk` gives, ω in the arm's base frame.\n"
        "Returns `(jacobians, closed)`: jacobians (..., 3, 2), float64; closed (...),\n"
        "bool, False with NaN rows where the loop does not close or a NaN enters.\n");
    static bool row(const Call& c, const Row& r) {
        const std::optional<Jacobian3x2> j = angular_jacobian(c.geometry, load(r.in[1]), load(r.in[1] + 1));
        if (j) write_jacobian(r.values(0), *j);
        return j.has_value();
    }
};

// Made at import (add_result_types), kept for the life of the process.
PyTypeObject* singularity_measures_type = nullptr;

PyStructSequence_Field singularity_fields[] = {
    {"serial_a", "det[u_A, v_2, v_3]: zero where input arm A lies in line with its coupler"},
    {"serial_b", "det[u_B, v_4, v_3]: zero where input arm B lies in line with its coupler"},
    {"parallel", "det[v_2, v_4, v_3]: zero where the couplers stretch or fold; its sign is the branch"},
    {"condition", "sigma_max / sigma_min of the tangent direction Jacobian; +inf on a singularity"},
    {"manipulability", "|serial_a * serial_b / parallel|"},
    {nullptr, nullptr},
};

PyStructSequence_Desc singularity_description = {
    "quorvel_torso_kinematics_batch.SingularityMeasures",
    "SingularityMeasures(serial_a, serial_b, parallel, condition, manipulability)\n"
    "The arrays singularity_measures() returns, one value per joint pair.",
    singularity_fields, 5,
};

struct SingularityMeasuresKernel {
    static constexpr FunctionDecl decl = function(
        "singularity_measures", {kArm, array("joints", kJointPairs)}, {values(), values(), values(), values(), values()},
        "How near each joint pair of `joints` (..., 2), radians, is to losing control.\n"
        "Returns a named tuple SingularityMeasures of (...) float64 arrays:\n"
        "serial_a = det[u_A, v_2, v_3] and serial_b = det[u_B, v_4, v_3], zero where an\n"
        "input arm lies in line with its coupler (two inverse solutions meet, at the edge\n"
        "of the reachable directions); parallel = det[v_2, v_4, v_3], zero where the\n"
        "couplers stretch or fold (the assembly branches meet and a followed path loses\n"
        "its solution), its sign the branch; condition, σ_max/σ_min of the direction\n"
        "Jacobian in the tangent plane of v_3 (1 is best, +inf on a singularity); and\n"
        "manipulability = |serial_a·serial_b/parallel|. Every field is NaN where the\n"
        "loop does not close.\n",
        &singularity_measures_type);
    static bool row(const Call& c, const Row& r) {
        const std::optional<SingularityMeasures> m = singularity_measures(c.geometry, load(r.in[1]), load(r.in[1] + 1));
        if (!m) return false;
        *r.values(0) = m->serial_a;
        *r.values(1) = m->serial_b;
        *r.values(2) = m->parallel;
        *r.values(3) = m->condition;
        *r.values(4) = m->manipulability;
        return true;
    }
};

struct JointRates {
    static constexpr FunctionDecl decl = function(
        "joint_rates",
        {kArm, array("joints", kJointPairs), {"v3_rate", ParamKind::Array, kVectors, nullptr, false, nullptr, "(..., 3)"},
         {"damping", ParamKind::Float, {}, "0.0", false, non_negative}},
        {values(2), kMask},
        "Resolved rates: the joint rates (θ̇_A, θ̇_B), rad/s, that move the pointing\n"
        "direction v_3 by the part of `v3_rate` (..., 3), base frame, perpendicular to\n"
        "v_3, at each joint pair of `joints` (..., 2); the two broadcast together.\n"
        "damping = 0: the exact inverse (θ̇_A = -(v_2·v̇)/serial_a, θ̇_B =\n"
        "-(v_4·v̇)/serial_b). damping λ > 0: the minimiser of |J_v θ̇ - v̇|² + λ²|θ̇|²,\n"
        "bounded through singularities. Returns `(rates, ok)`: rates (..., 2), float64;\n"
        "ok (...), bool, False with NaN rates where the loop does not close, where an\n"
        "undamped call meets a serial singularity, or a NaN enters. ValueError for a\n"
        "negative or non-finite damping.\n");
    static bool row(const Call& c, const Row& r) {
        const std::optional<JointPair> rates =
            joint_rates(c.geometry, load(r.in[1]), load(r.in[1] + 1), vector_at(r.in[2]), c.option[3]);
        if (rates) write_pair(r.values(0), *rates);
        return rates.has_value();
    }
};

struct WorkspaceMargin {
    static constexpr FunctionDecl decl = function(
        "workspace_margin", {kArm, array("v3", kVectors)}, {values()},
        "The signed angle, radians, from each direction of `v3` (..., 3), base frame,\n"
        "any non-zero length, to the edge of the set of directions the arm can point\n"
        "along (those some inverse candidate puts v_3 on exactly): positive inside,\n"
        "negative outside, exact to 1e-9 rad. Returns a (...) float64 array, NaN for a\n"
        "zero or non-finite direction, -inf for a geometry that reaches no direction.\n");
    static bool row(const Call& c, const Row& r) {
        *r.values(0) = workspace_margin(c.geometry, vector_at(r.in[1]));
        return true;
    }
};

struct NearestReachableDirection {
    static constexpr FunctionDecl decl = function(
        "nearest_reachable_direction", {kArm, array("v3", kVectors)}, {values(3), values()},
        "For each direction of `v3` (..., 3), base frame, any non-zero length: the\n"
        "reachable unit direction nearest to it and the angle to it, so a controller\n"
        "can keep pointing along the edge of the workspace instead of freezing.\n"
        "Returns `(directions, angle)`: directions (..., 3), float64, v3 itself\n"
        "normalised where reachable (angle 0), else the nearest edge point moved inside\n"
        "by the least of 0, 1e-10, ..., 1e-4 rad that `ik_from_direction` solves (the\n"
        "edge point itself where none does, as for a set with no inside); angle (...),\n"
        "radians, to that direction. Both NaN for a zero or non-finite\n"
        "direction, or a geometry that reaches no direction.\n");
    static bool row(const Call& c, const Row& r) {
        const std::optional<NearestReachable> n = nearest_reachable_direction(c.geometry, vector_at(r.in[1]));
        if (!n) return false;
        write_vector(r.values(0), n->direction);
        *r.values(1) = n->angle;
        return true;
    }
};

struct NeckAngularJacobian {
    static constexpr FunctionDecl decl = function(
        "neck_angular_jacobian", {array("joints", kVectors)}, {values(3, 3)},
        "The head's angular-velocity Jacobian at each [yaw, pitch, roll] of `joints`\n"
        "(..., 3), radians: the head turns at ω = J @ [ẏaw, ṗitch, ṙoll] rad/s, with\n"
        "Ṙ = [ω]× R for the rotation R that `neck_fk` gives, ω in the body (torso)\n"
        "frame, not the moving head frame. Returns (..., 3, 3), float64: columns z,\n"
        "Rz(yaw)·y and Rz(yaw)·Ry(pitch)·x.\n");
    static bool row(const Call&, const Row& r) {
        write_matrix(r.values(0), neck_angular_jacobian(angles_at(r.in[0])));
        return true;
    }
};

struct NeckJointRates {
    static constexpr FunctionDecl decl = function(
        "neck_joint_rates",
        {array("joints", kVectors), {"omega", ParamKind::Array, kVectors, nullptr, false, nullptr, "(..., 3)"}},
        {values(3), kMask},
        "The angle rates [ẏaw, ṗitch, ṙoll], rad/s, that turn the head at `omega`\n"
        "(..., 3), rad/s in the body frame, at each [yaw, pitch, roll] of `joints`\n"
        "(..., 3); the two broadcast together. Returns `(rates, ok)`: rates (..., 3),\n"
        "float64; ok (...), bool, False with NaN rates within the gimbal-lock margin\n"
        "(1 - |sin pitch| < 1e-6) or where a NaN or infinity enters.\n");
    static bool row(const Call&, const Row& r) {
        const std::optional<NeckAngles> rates = neck_joint_rates(angles_at(r.in[0]), vector_at(r.in[1]));
        if (rates) write_angles(r.values(0), *rates);
        return rates.has_value();
    }
};

struct NeckLookAt {
    static constexpr FunctionDecl decl = function(
        "neck_look_at",
        {array("directions", kVectors),
         {"previous", ParamKind::OptionalArray, kVectors, "None", false, nullptr, "(3,) or (..., 3)"}},
        {values(3), kMask},
        "Neck angles [yaw, pitch, roll], radians, that aim the head's x axis (column 0\n"
        "of the head rotation) along each of `directions` (..., 3), body frame, any\n"
        "non-zero length, with roll 0. Without `previous`, yaw is in (-π, π]. With\n"
        "`previous` [yaw, pitch, roll] ((3,) or (..., 3), broadcast), yaw is the one\n"
        "2π-equivalent to it nearest the previous yaw, and the previous yaw itself\n"
        "within the gimbal margin of straight up or down, so a tracking head never\n"
        "spins. Returns `(angles, ok)`: angles (..., 3), float64; ok (...), bool,\n"
        "False with NaN angles for a zero or non-finite direction (or a NaN previous).\n");
    static bool row(const Call&, const Row& r) {
        const std::optional<double> previous = r.in[1] != nullptr ? std::optional<double>(load(r.in[1])) : std::nullopt;
        const std::optional<NeckAngles> a = neck_look_at(vector_at(r.in[0]), previous);
        if (a) write_angles(r.values(0), *a);
        return a.has_value();
    }
};

template <class K>
PyMethodDef method() {
    return {K::decl.name, as_cfunction(entry<K>), kFastKeywords, binding<K>().doc.c_str()};
}

}  // namespace

bool add_result_types(PyObject* module) {
    if (singularity_measures_type == nullptr) {
        singularity_measures_type = PyStructSequence_NewType(&singularity_description);
        if (singularity_measures_type == nullptr) return false;
    }
    return PyModule_AddObjectRef(module, "SingularityMeasures",
                                 reinterpret_cast<PyObject*>(singularity_measures_type)) == 0;
}

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
        method<DirectionJacobian>(),
        method<AngularJacobian>(),
        method<SingularityMeasuresKernel>(),
        method<JointRates>(),
        method<WorkspaceMargin>(),
        method<NearestReachableDirection>(),
        method<NeckAngularJacobian>(),
        method<NeckJointRates>(),
        method<NeckLookAt>(),
        geometry_method,
        to_json_method,
        {nullptr, nullptr, 0, nullptr},
    };
    return table;
}

}  // namespace quorvel::python::batch
