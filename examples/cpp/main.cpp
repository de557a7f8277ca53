// Forward and inverse kinematics of both preset arms and of the neck, and the
// geometry document reader, through the installed C++ package. Prints what it
// computes; exits 1 if any round trip strays beyond its tolerance.
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>

#include <quorvel/arm/forward_kinematics.hpp>
#include <quorvel/arm/inverse_solvers.hpp>
#include <quorvel/geometry_doc/geometry_document.hpp>
#include <quorvel/neck/neck_kinematics.hpp>

namespace q = quorvel;

namespace {

constexpr double kTolerance = 1e-9;
int g_failures = 0;

void check(bool ok, const char* what) {
    if (!ok) {
        ++g_failures;
        std::printf("  FAILED: %s\n", what);
    }
}

double frobenius_distance(const q::Matrix3& a, const q::Matrix3& b) {
    double sum = 0.0;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) sum += (a[i][j] - b[i][j]) * (a[i][j] - b[i][j]);
    return std::sqrt(sum);
}

void print_matrix(const q::Matrix3& r) {
    for (const auto& row : r) std::printf("    [% .6f % .6f % .6f]\n", row[0], row[1], row[2]);
}

// Joint pair -> rotation -> joint pair, and joint pair -> v_3 -> joint pair.
// Off the rest pose, theta_b = -theta_a is avoided: there two pairs can give
// one rotation.
void arm_round_trips(const char* name, const q::SphericalLinkGeometry& g) {
    std::printf("%s arm (arm_arc %.3f, coupler_arc %.3f, mirror %s)\n", name, g.arm_arc, g.coupler_arc,
                g.mirror ? "true" : "false");
    const q::JointPair pairs[] = {{0.0, 0.0}, {0.3, -0.2}, {0.5, 0.25}, {-0.4, 0.1}};
    for (const q::JointPair& p : pairs) {
        const auto pose = q::forward_kinematics(g, p.theta_a, p.theta_b);
        std::printf("  theta = (% .3f, % .3f)", p.theta_a, p.theta_b);
        if (!pose) {
            std::printf(": loop does not close\n");
            check(false, "forward kinematics of a closing pair");
            continue;
        }
        std::printf(": v_3 = (% .6f, % .6f, % .6f)\n", pose->v_3.x, pose->v_3.y, pose->v_3.z);

        const auto from_rotation = q::ik(g, pose->rotation);
        const auto from_direction = q::ik_from_direction(g, pose->v_3, p);
        if (!from_rotation || !from_direction) {
            check(false, "inverse kinematics of a reached pose");
            continue;
        }
        std::printf("    ik                -> (% .9f, % .9f)\n", from_rotation->theta_a, from_rotation->theta_b);
        std::printf("    ik_from_direction -> (% .9f, % .9f)\n", from_direction->theta_a, from_direction->theta_b);
        check(std::fabs(from_rotation->theta_a - p.theta_a) < kTolerance &&
                  std::fabs(from_rotation->theta_b - p.theta_b) < kTolerance,
              "ik gives the pair back");
        check(std::fabs(from_direction->theta_a - p.theta_a) < kTolerance &&
                  std::fabs(from_direction->theta_b - p.theta_b) < kTolerance,
              "ik_from_direction gives the pair back");
        check(q::is_reachable_orientation(g, pose->rotation) && q::is_reachable_direction(g, pose->v_3),
              "a reached pose counts as reachable");
    }
    check(!q::forward_kinematics(g, 0.0, 3.14159).has_value(), "joints too far apart do not close the loop");
}

void neck_round_trips() {
    std::printf("neck\n");
    const q::NeckAngles cases[] = {{0.0, 0.0, 0.0}, {0.5, -0.3, 1.2}, {-2.0, 1.0, -0.7}, {3.0, -1.4, 2.5}};
    for (const q::NeckAngles& a : cases) {
        const q::Matrix3 r = q::neck_forward_kinematics(a);
        const auto back = q::neck_inverse_kinematics(r);
        std::printf("  (yaw, pitch, roll) = (% .3f, % .3f, % .3f)", a.yaw, a.pitch, a.roll);
        if (!back) {
            std::printf(": gimbal lock\n");
            check(false, "neck inverse away from gimbal lock");
            continue;
        }
        std::printf(" -> (% .9f, % .9f, % .9f)\n", back->yaw, back->pitch, back->roll);
        check(std::fabs(back->yaw - a.yaw) < kTolerance && std::fabs(back->pitch - a.pitch) < kTolerance &&
                  std::fabs(back->roll - a.roll) < kTolerance,
              "neck inverse gives the angles back");
        check(frobenius_distance(q::neck_forward_kinematics(*back), r) < kTolerance, "neck forward of the inverse");
    }
    const q::Matrix3 locked = q::neck_forward_kinematics({0.4, 1.5707963267948966, 0.2});
    std::printf("  pitch = pi/2:\n");
    print_matrix(locked);
    const bool refused = !q::neck_inverse_kinematics(locked).has_value();
    std::printf("  inverse: %s\n", refused ? "refused (gimbal lock)" : "answered");
    check(refused, "the neck inverse refuses gimbal lock");
}

void geometry_documents() {
    std::printf("geometry documents\n");
    const std::string valid = R"({"arm_arc": 0.6, "coupler_arc": 0.45, "branch": "negative", "mirror": true})";
    const q::GeometryDocumentResult ok = q::parse_geometry_document(valid);
    std::printf("  %s\n", valid.c_str());
    if (ok.geometry) {
        const q::SphericalLinkGeometry& g = *ok.geometry;
        std::printf("    -> arm_arc %.2f, coupler_arc %.2f, branch %s, mirror %s\n", g.arm_arc, g.coupler_arc,
                    g.branch == q::LoopBranch::Negative ? "negative" : "positive", g.mirror ? "true" : "false");
        check(g.arm_arc == 0.6 && g.coupler_arc == 0.45 && g.branch == q::LoopBranch::Negative && g.mirror,
              "the document's record as written");
        check(ok.error.empty(), "no error text on success");
        arm_round_trips("document", g);
    } else {
        std::printf("    -> rejected: %s\n", ok.error.c_str());
        check(false, "a valid document is accepted");
    }

    const std::string invalid = R"({"arm_arc": 0.7})";
    const q::GeometryDocumentResult bad = q::parse_geometry_document(invalid);
    std::printf("  %s\n    -> %s\n", invalid.c_str(), bad.geometry ? "accepted" : ("rejected: " + bad.error).c_str());
    check(!bad.geometry && bad.error == "missing field `coupler_arc` at line 1 column 16",
          "a record without coupler_arc is rejected with its position");
}

}  // namespace

int main() {
    arm_round_trips("left", q::default_left_geometry());
    arm_round_trips("right", q::default_right_geometry());
    neck_round_trips();
    geometry_documents();
    if (g_failures != 0) {
        std::printf("%d check(s) failed\n", g_failures);
        return 1;
    }
    std::printf("all round trips agree within %g\n", kTolerance);
    return 0;
}
