// Time per call of the pure C++ core, on the same inputs that the Python-level
// benchmarks pass to the module. Run with --benchmark_format=json; the names
// below are read by bench/run_bench.py.
//
// Extra arguments (after Google Benchmark's own flags are removed):
//   --doc-dir=DIR     directory holding typical.json, 1kb.json, 1mb.json and
//                     10mb.json (written by bench/run_bench.py); without it the
//                     document benchmarks are not registered.
//   --iterations=N    run exactly N iterations instead of for at least 0.2 s.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <utility>
#include <string>
#include <string_view>
#include <vector>

#include "arm/forward_kinematics.hpp"
#include "arm/inverse_candidates.hpp"
#include "arm/inverse_solvers.hpp"
#include "arm/joint_pair.hpp"
#include "arm/spherical_link_geometry.hpp"
#include "geometry_doc/geometry_document.hpp"
#include "neck/neck_kinematics.hpp"

namespace {

using namespace quorvel;

// The inputs of the Python-level benchmarks: the default left arm at (0.3, -0.2),
// its rotation and pointing direction, and the neck at (0.3, -0.7, 1.1).
constexpr double kThetaA = 0.3;
constexpr double kThetaB = -0.2;
constexpr NeckAngles kNeckAngles{0.3, -0.7, 1.1};

const SphericalLinkGeometry& arm() {
    static const SphericalLinkGeometry geometry = default_left_geometry();
    return geometry;
}

const ArmPose& pose() {
    static const ArmPose p = [] {
        const std::optional<ArmPose> result = forward_kinematics(arm(), kThetaA, kThetaB);
        if (!result) {
            std::fputs("core_bench: the benchmark pose does not close\n", stderr);
            std::abort();
        }
        return *result;
    }();
    return p;
}

// Every run lasts at least 0.2 s, like a Python-level repeat: run_bench.py
// asks for single runs and interleaves them with the Python-level repeats of
// the same method. With --iterations=N every benchmark runs exactly N
// iterations instead (the count an earlier run picked), which spares a
// repeated single run the iteration-count search.
benchmark::IterationCount fixed_iterations = 0;

benchmark::internal::Benchmark* configure(benchmark::internal::Benchmark* b) {
    b->Unit(benchmark::kNanosecond);
    return fixed_iterations > 0 ? b->Iterations(fixed_iterations) : b->MinTime(0.2);
}

// One timed loop for every operation: the input is hidden from the optimiser
// on each iteration and the result kept, so the call cannot be folded away.
template <class Input, class Call>
void time_calls(benchmark::State& state, Input input, Call call) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(input);
        auto result = call(input);
        benchmark::DoNotOptimize(result);
    }
}

void register_core_benchmarks() {
    const SphericalLinkGeometry& g = arm();
    const JointPair pair{kThetaA, kThetaB};
    const Matrix3 rotation = pose().rotation;
    const Vector3 v = pose().v_3;
    auto add = [](const char* name, auto body) { configure(benchmark::RegisterBenchmark(name, body)); };
    add("BM_forward_kinematics", [&g, pair](benchmark::State& s) {
        time_calls(s, pair, [&g](const JointPair& p) { return forward_kinematics(g, p.theta_a, p.theta_b); });
    });
    add("BM_is_reachable_joints", [&g, pair](benchmark::State& s) {
        time_calls(s, pair, [&g](const JointPair& p) { return is_reachable_joints(g, p.theta_a, p.theta_b); });
    });
    add("BM_ik", [&g, rotation](benchmark::State& s) {
        time_calls(s, rotation, [&g](const Matrix3& r) { return ik(g, r); });
    });
    add("BM_is_reachable_orientation", [&g, rotation](benchmark::State& s) {
        time_calls(s, rotation, [&g](const Matrix3& r) { return is_reachable_orientation(g, r); });
    });
    add("BM_ik_from_direction", [&g, v](benchmark::State& s) {
        time_calls(s, v, [&g](const Vector3& d) { return ik_from_direction(g, d, std::nullopt); });
    });
    add("BM_ik_from_direction_near", [&g, v, pair](benchmark::State& s) {
        time_calls(s, std::pair{v, std::optional<JointPair>(pair)},
                   [&g](const auto& in) { return ik_from_direction(g, in.first, in.second); });
    });
    add("BM_is_reachable_direction", [&g, v](benchmark::State& s) {
        time_calls(s, v, [&g](const Vector3& d) { return is_reachable_direction(g, d); });
    });
    add("BM_neck_forward_kinematics", [](benchmark::State& s) {
        time_calls(s, kNeckAngles, [](const NeckAngles& a) { return neck_forward_kinematics(a); });
    });
    add("BM_neck_inverse_kinematics", [](benchmark::State& s) {
        time_calls(s, neck_forward_kinematics(kNeckAngles), [](const Matrix3& r) { return neck_inverse_kinematics(r); });
    });
}

std::optional<std::string> read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// One benchmark per document; bytes_per_second is reported for each.
void register_document_benchmarks(const std::string& doc_dir) {
    static std::vector<std::string> texts;  // outlive the benchmarks
    const char* names[] = {"typical", "1kb", "1mb", "10mb"};
    texts.reserve(std::size(names));
    for (const char* name : names) {
        const std::optional<std::string> text = read_file(doc_dir + "/" + name + ".json");
        if (!text) {
            std::fprintf(stderr, "core_bench: cannot read %s/%s.json\n", doc_dir.c_str(), name);
            std::exit(2);
        }
        texts.push_back(*text);
        const std::string* document = &texts.back();
        configure(benchmark::RegisterBenchmark(
            (std::string("BM_parse_geometry_document/") + name).c_str(), [document, name](benchmark::State& state) {
                // A rejected document would time the error path instead.
                if (!parse_geometry_document(*document).geometry.has_value()) {
                    std::fprintf(stderr, "core_bench: %s.json is rejected by the reader\n", name);
                    std::exit(2);
                }
                for (auto _ : state) {
                    auto result = parse_geometry_document(*document);
                    benchmark::DoNotOptimize(result);
                }
                state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                                        static_cast<int64_t>(document->size()));
                state.counters["bytes"] = static_cast<double>(document->size());
            }));
    }
}

// The core operations behind the array companion's functions that no
// per-call method shares, on the same inputs.
void register_companion_benchmarks() {
    const SphericalLinkGeometry& g = arm();
    const Matrix3 rotation = pose().rotation;
    const Vector3 v = pose().v_3;
    configure(benchmark::RegisterBenchmark("BM_direction_candidate_slots", [&g, v](benchmark::State& s) {
        time_calls(s, v, [&g](const Vector3& d) { return direction_candidate_slots(g, d); });
    }));
    configure(benchmark::RegisterBenchmark("BM_nearest_pointing", [&g, rotation](benchmark::State& s) {
        time_calls(s, rotation, [&g](const Matrix3& r) { return nearest_pointing(g, r); });
    }));
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

    register_core_benchmarks();
    register_companion_benchmarks();
    if (!doc_dir.empty()) register_document_benchmarks(doc_dir);

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
