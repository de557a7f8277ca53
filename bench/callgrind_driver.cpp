// Calls one core operation N times, for instruction counting under callgrind:
//   quorvel_callgrind_driver OPERATION N [FILE]
// OPERATION is one of fk, is_reachable_joints, ik, is_reachable_orientation,
// ik_from_direction, ik_from_direction_near, is_reachable_direction,
// direction_candidate_slots, nearest_pointing, neck_fk, neck_ik, direction_jacobian,
// angular_jacobian, singularity_measures, joint_rates, joint_rates_damped,
// neck_angular_jacobian, neck_joint_rates, neck_look_at, workspace_margin_inside,
// workspace_margin_outside, nearest_reachable_direction_inside,
// nearest_reachable_direction_outside (outside: the direction reversed), parse_typical
// and parse_file (which reads the document in FILE, the third argument). The per-call count
// is the difference of two runs with different N divided by the difference in N.
// Inputs are the ones of the other benchmarks (default left arm at
// (0.3, -0.2); neck at (0.3, -0.7, 1.1); the rates and look direction of
// core_bench.cpp). Each operation's own inputs live in its branch, so adding
// one leaves the others' code alone.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "arm/differential_kinematics.hpp"
#include "arm/forward_kinematics.hpp"
#include "arm/inverse_candidates.hpp"
#include "arm/inverse_solvers.hpp"
#include "arm/workspace_boundary.hpp"
#include "geometry_doc/geometry_document.hpp"
#include "neck/neck_kinematics.hpp"
#include "neck/neck_look_at.hpp"
#include "neck/neck_rates.hpp"

namespace {

using namespace quorvel;

// The typical document of the Python-level benchmarks.
constexpr const char* kTypicalDocument =
    R"({"arm_arc": 0.7, "coupler_arc": 0.5, "branch": "positive", "mirror": false})";

// Keeps the compiler from hoisting the inputs out of the loop or dropping the
// results: both go through memory the optimiser cannot see through.
template <class T>
void keep(T& value) {
    asm volatile("" : : "r"(&value) : "memory");
}

template <class Call>
void repeat(long n, Call call) {
    for (long i = 0; i < n; ++i) call();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fputs("usage: quorvel_callgrind_driver OPERATION N [FILE]\n", stderr);
        return 2;
    }
    const char* operation = argv[1];
    const long n = std::strtol(argv[2], nullptr, 10);

    const SphericalLinkGeometry geometry = default_left_geometry();
    double theta_a = 0.3;
    double theta_b = -0.2;
    const std::optional<ArmPose> pose = forward_kinematics(geometry, theta_a, theta_b);
    if (!pose) return 3;
    Vector3 direction = pose->v_3;
    Matrix3 rotation = pose->rotation;
    std::optional<JointPair> near = JointPair{theta_a, theta_b};
    NeckAngles neck_angles{0.3, -0.7, 1.1};
    Matrix3 neck_rotation = neck_forward_kinematics(neck_angles);

    if (std::strcmp(operation, "fk") == 0) {
        repeat(n, [&] {
            keep(theta_a);
            keep(theta_b);
            std::optional<ArmPose> result = forward_kinematics(geometry, theta_a, theta_b);
            keep(result);
        });
    } else if (std::strcmp(operation, "ik") == 0) {
        repeat(n, [&] {
            keep(rotation);
            std::optional<JointPair> result = ik(geometry, rotation);
            keep(result);
        });
    } else if (std::strcmp(operation, "ik_from_direction") == 0) {
        repeat(n, [&] {
            keep(direction);
            std::optional<JointPair> result = ik_from_direction(geometry, direction, std::nullopt);
            keep(result);
        });
    } else if (std::strcmp(operation, "ik_from_direction_near") == 0) {
        repeat(n, [&] {
            keep(direction);
            keep(near);
            std::optional<JointPair> result = ik_from_direction(geometry, direction, near);
            keep(result);
        });
    } else if (std::strcmp(operation, "is_reachable_joints") == 0) {
        repeat(n, [&] {
            keep(theta_a);
            keep(theta_b);
            bool result = is_reachable_joints(geometry, theta_a, theta_b);
            keep(result);
        });
    } else if (std::strcmp(operation, "is_reachable_orientation") == 0) {
        repeat(n, [&] {
            keep(rotation);
            bool result = is_reachable_orientation(geometry, rotation);
            keep(result);
        });
    } else if (std::strcmp(operation, "is_reachable_direction") == 0) {
        repeat(n, [&] {
            keep(direction);
            bool result = is_reachable_direction(geometry, direction);
            keep(result);
        });
    } else if (std::strcmp(operation, "direction_candidate_slots") == 0) {
        repeat(n, [&] {
            keep(direction);
            CandidateSlots result = direction_candidate_slots(geometry, direction);
            keep(result);
        });
    } else if (std::strcmp(operation, "nearest_pointing") == 0) {
        repeat(n, [&] {
            keep(rotation);
            std::optional<PointingSolution> result = nearest_pointing(geometry, rotation);
            keep(result);
        });
    } else if (std::strcmp(operation, "parse_typical") == 0 || std::strcmp(operation, "parse_file") == 0) {
        std::string text(kTypicalDocument);
        if (std::strcmp(operation, "parse_file") == 0) {
            // The file is read whatever N is, so its reading cancels out.
            std::ifstream in(argc == 4 ? argv[3] : "", std::ios::binary);
            if (!in) {
                std::fputs("quorvel_callgrind_driver: parse_file needs a readable FILE\n", stderr);
                return 2;
            }
            std::ostringstream content;
            content << in.rdbuf();
            text = content.str();
        }
        repeat(n, [&] {
            keep(text);
            auto result = parse_geometry_document(text);
            keep(result);
        });
    } else if (std::strcmp(operation, "neck_fk") == 0) {
        repeat(n, [&] {
            keep(neck_angles);
            Matrix3 result = neck_forward_kinematics(neck_angles);
            keep(result);
        });
    } else if (std::strcmp(operation, "neck_ik") == 0) {
        repeat(n, [&] {
            keep(neck_rotation);
            std::optional<NeckAngles> result = neck_inverse_kinematics(neck_rotation);
            keep(result);
        });
    } else if (std::strcmp(operation, "direction_jacobian") == 0) {
        repeat(n, [&] {
            keep(theta_a);
            keep(theta_b);
            std::optional<Jacobian3x2> result = direction_jacobian(geometry, theta_a, theta_b);
            keep(result);
        });
    } else if (std::strcmp(operation, "angular_jacobian") == 0) {
        repeat(n, [&] {
            keep(theta_a);
            keep(theta_b);
            std::optional<Jacobian3x2> result = angular_jacobian(geometry, theta_a, theta_b);
            keep(result);
        });
    } else if (std::strcmp(operation, "singularity_measures") == 0) {
        repeat(n, [&] {
            keep(theta_a);
            keep(theta_b);
            std::optional<SingularityMeasures> result = singularity_measures(geometry, theta_a, theta_b);
            keep(result);
        });
    } else if (std::strcmp(operation, "joint_rates") == 0 || std::strcmp(operation, "joint_rates_damped") == 0) {
        Vector3 v3_rate{0.1, -0.2, 0.3};
        double damping = std::strcmp(operation, "joint_rates") == 0 ? 0.0 : 0.05;
        repeat(n, [&] {
            keep(theta_a);
            keep(theta_b);
            keep(v3_rate);
            keep(damping);
            std::optional<JointPair> result = joint_rates(geometry, theta_a, theta_b, v3_rate, damping);
            keep(result);
        });
    } else if (std::strcmp(operation, "neck_angular_jacobian") == 0) {
        repeat(n, [&] {
            keep(neck_angles);
            Matrix3 result = neck_angular_jacobian(neck_angles);
            keep(result);
        });
    } else if (std::strcmp(operation, "neck_joint_rates") == 0) {
        Vector3 omega{0.2, -0.1, 0.3};
        repeat(n, [&] {
            keep(neck_angles);
            keep(omega);
            std::optional<NeckAngles> result = neck_joint_rates(neck_angles, omega);
            keep(result);
        });
    } else if (std::strcmp(operation, "neck_look_at") == 0) {
        Vector3 look{0.6, 0.3, -0.5};
        repeat(n, [&] {
            keep(look);
            std::optional<NeckAngles> result = neck_look_at(look, std::nullopt);
            keep(result);
        });
    } else if (std::strncmp(operation, "workspace_margin_", 17) == 0) {
        Vector3 v = std::strcmp(operation + 17, "inside") == 0 ? direction : -1.0 * direction;
        repeat(n, [&] {
            keep(v);
            double result = workspace_margin(geometry, v);
            keep(result);
        });
    } else if (std::strncmp(operation, "nearest_reachable_direction_", 28) == 0) {
        Vector3 v = std::strcmp(operation + 28, "inside") == 0 ? direction : -1.0 * direction;
        repeat(n, [&] {
            keep(v);
            std::optional<NearestReachable> result = nearest_reachable_direction(geometry, v);
            keep(result);
        });
    } else {
        std::fprintf(stderr, "quorvel_callgrind_driver: unknown operation %s\n", operation);
        return 2;
    }
    return 0;
}
