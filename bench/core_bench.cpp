// Time per call of the pure C++ core, on the inputs the Python-level benchmarks
// pass to the module (bench/cases.py): the default left arm at (0.3, -0.2), its
// rotation and pointing direction and that direction reversed (outside the
// reachable ones), the neck at (0.3, -0.7, 1.1), the rates and look direction
// of cases.py, the typical geometry document; and of the document reader on
// large documents. Run by bench/run_bench.py with --benchmark_format=json; the
// benchmark names are the keys of cases.CORE.
// Extra arguments (after Google Benchmark's own):
//   --doc-dir=DIR     directory holding 1kb.json, 1mb.json and 10mb.json (written
//                     by run_bench.py); without it those are not registered.
//   --iterations=N    run exactly N iterations instead of for at least 0.2 s.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>

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

struct Inputs {
    SphericalLinkGeometry geometry = default_left_geometry();
    double theta_a = 0.3;
    double theta_b = -0.2;
    Matrix3 rotation{};
    Vector3 direction{};
    std::optional<JointPair> near = JointPair{0.3, -0.2};
    NeckAngles neck_angles{0.3, -0.7, 1.1};
    Matrix3 neck_rotation = neck_forward_kinematics(neck_angles);
    std::string document = R"({"arm_arc": 0.7, "coupler_arc": 0.5, "branch": "positive", "mirror": false})";
    Vector3 v3_rate{0.1, -0.2, 0.3};
    double undamped = 0.0;
    double damping = 0.05;
    Vector3 omega{0.2, -0.1, 0.3};
    Vector3 look{0.6, 0.3, -0.5};
    Vector3 outside{};
};

// Every run lasts at least 0.2 s, like a Python-level repeat: run_bench.py asks
// for single runs and interleaves them with the Python-level repeats of the
// same method. --iterations=N (the count an earlier run picked) spares a
// repeated single run the iteration-count search.
benchmark::IterationCount fixed_iterations = 0;

benchmark::internal::Benchmark* configure(benchmark::internal::Benchmark* b) {
    b->Unit(benchmark::kNanosecond);
    return fixed_iterations > 0 ? b->Iterations(fixed_iterations) : b->MinTime(0.2);
}

// One timed loop for every operation: call(keep) passes each input through
// keep, which hides it from the optimiser on every iteration, and the result
// is kept too, so the call can be neither hoisted nor folded away.
template <class Call>
void add(const char* name, Call call) {
    configure(benchmark::RegisterBenchmark(name, [call](benchmark::State& state) {
        auto keep = [](auto& value) -> auto& {
            benchmark::DoNotOptimize(value);
            return value;
        };
        for (auto _ : state) {
            auto result = call(keep);
            benchmark::DoNotOptimize(result);
        }
    }));
}

void register_core_benchmarks(Inputs& in) {
    add("BM_forward_kinematics",
        [&in](auto keep) { return forward_kinematics(in.geometry, keep(in.theta_a), keep(in.theta_b)); });
    add("BM_is_reachable_joints",
        [&in](auto keep) { return is_reachable_joints(in.geometry, keep(in.theta_a), keep(in.theta_b)); });
    add("BM_ik", [&in](auto keep) { return ik(in.geometry, keep(in.rotation)); });
    add("BM_is_reachable_orientation",
        [&in](auto keep) { return is_reachable_orientation(in.geometry, keep(in.rotation)); });
    add("BM_ik_from_direction",
        [&in](auto keep) { return ik_from_direction(in.geometry, keep(in.direction), std::nullopt); });
    add("BM_ik_from_direction_near",
        [&in](auto keep) { return ik_from_direction(in.geometry, keep(in.direction), keep(in.near)); });
    add("BM_is_reachable_direction",
        [&in](auto keep) { return is_reachable_direction(in.geometry, keep(in.direction)); });
    add("BM_direction_candidate_slots",
        [&in](auto keep) { return direction_candidate_slots(in.geometry, keep(in.direction)); });
    add("BM_nearest_pointing", [&in](auto keep) { return nearest_pointing(in.geometry, keep(in.rotation)); });
    add("BM_neck_forward_kinematics", [&in](auto keep) { return neck_forward_kinematics(keep(in.neck_angles)); });
    add("BM_neck_inverse_kinematics", [&in](auto keep) { return neck_inverse_kinematics(keep(in.neck_rotation)); });
    add("BM_direction_jacobian",
        [&in](auto keep) { return direction_jacobian(in.geometry, keep(in.theta_a), keep(in.theta_b)); });
    add("BM_angular_jacobian",
        [&in](auto keep) { return angular_jacobian(in.geometry, keep(in.theta_a), keep(in.theta_b)); });
    add("BM_singularity_measures",
        [&in](auto keep) { return singularity_measures(in.geometry, keep(in.theta_a), keep(in.theta_b)); });
    add("BM_joint_rates", [&in](auto keep) {
        return joint_rates(in.geometry, keep(in.theta_a), keep(in.theta_b), keep(in.v3_rate), keep(in.undamped));
    });
    add("BM_joint_rates_damped", [&in](auto keep) {
        return joint_rates(in.geometry, keep(in.theta_a), keep(in.theta_b), keep(in.v3_rate), keep(in.damping));
    });
    add("BM_neck_angular_jacobian", [&in](auto keep) { return neck_angular_jacobian(keep(in.neck_angles)); });
    add("BM_neck_joint_rates", [&in](auto keep) { return neck_joint_rates(keep(in.neck_angles), keep(in.omega)); });
    add("BM_neck_look_at", [&in](auto keep) { return neck_look_at(keep(in.look), std::nullopt); });
    add("BM_workspace_margin_inside", [&in](auto keep) { return workspace_margin(in.geometry, keep(in.direction)); });
    add("BM_workspace_margin_outside", [&in](auto keep) { return workspace_margin(in.geometry, keep(in.outside)); });
    add("BM_nearest_reachable_direction_inside",
        [&in](auto keep) { return nearest_reachable_direction(in.geometry, keep(in.direction)); });
    add("BM_nearest_reachable_direction_outside",
        [&in](auto keep) { return nearest_reachable_direction(in.geometry, keep(in.outside)); });
    add("BM_parse_geometry_document/typical", [&in](auto keep) { return parse_geometry_document(keep(in.document)); });
}

void time_document(benchmark::State& state, const std::string& name, const std::string& document) {
    // A rejected document would time the error path instead.
    if (!parse_geometry_document(document).geometry.has_value()) {
        std::fprintf(stderr, "core_bench: %s.json is rejected by the reader\n", name.c_str());
        std::exit(2);
    }
    for (auto _ : state) {
        auto result = parse_geometry_document(document);
        benchmark::DoNotOptimize(result);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(document.size()));
    state.counters["bytes"] = static_cast<double>(document.size());
}

// One benchmark per document; bytes_per_second is reported for each.
void register_document_benchmarks(const std::string& doc_dir) {
    for (const char* name : {"1kb", "1mb", "10mb"}) {
        std::ifstream in(doc_dir + "/" + name + ".json", std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        if (!in) {
            std::fprintf(stderr, "core_bench: cannot read %s/%s.json\n", doc_dir.c_str(), name);
            std::exit(2);
        }
        const std::string benchmark_name = std::string("BM_parse_geometry_document/") + name;
        configure(benchmark::RegisterBenchmark(benchmark_name.c_str(), time_document, std::string(name), text.str()));
    }
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    std::string doc_dir;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg.starts_with("--doc-dir=")) {
            doc_dir = std::string(arg.substr(10));
        } else if (arg.starts_with("--iterations=")) {
            fixed_iterations = std::strtoll(argv[i] + 13, nullptr, 10);
        } else {
            std::fprintf(stderr, "core_bench: unknown argument %s\n", argv[i]);
            return 2;
        }
    }
    Inputs in;
    const std::optional<ArmPose> pose = forward_kinematics(in.geometry, in.theta_a, in.theta_b);
    if (!pose) {
        std::fputs("core_bench: the benchmark pose does not close\n", stderr);
        return 3;
    }
    in.rotation = pose->rotation;
    in.direction = pose->v_3;
    in.outside = -1.0 * pose->v_3;
    register_core_benchmarks(in);
    if (!doc_dir.empty()) register_document_benchmarks(doc_dir);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
