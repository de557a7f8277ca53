#include "python/batch/worker_threads.hpp"

#include <sched.h>

#include <thread>
#include <vector>

namespace quorvel::python::batch {

namespace {

// Below this many rows per worker, starting a thread costs more than it saves.
constexpr npy_intp kMinRowsPerWorker = 2048;

int usable_cores() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) return CPU_COUNT(&set);
    const unsigned hardware = std::thread::hardware_concurrency();
    return hardware > 0 ? static_cast<int>(hardware) : 1;
}

}  // namespace

int resolve_workers(int workers) { return workers == -1 ? usable_cores() : workers; }

void run_chunks(npy_intp rows, int workers, ChunkFunction rows_from, void* context) {
    npy_intp chunks = rows / kMinRowsPerWorker;
    if (chunks > workers) chunks = workers;
    if (chunks <= 1) {
        rows_from(context, 0, rows);
        return;
    }
    const auto bound = [rows, chunks](npy_intp c) { return rows / chunks * c + (c < rows % chunks ? c : rows % chunks); };
    std::vector<std::thread> threads;
    threads.reserve(static_cast<std::size_t>(chunks - 1));
    for (npy_intp c = 1; c < chunks; ++c) {
        try {
            threads.emplace_back(rows_from, context, bound(c), bound(c + 1));
        } catch (...) {
            rows_from(context, bound(c), bound(c + 1));
        }
    }
    rows_from(context, 0, bound(1));
    for (std::thread& thread : threads) thread.join();
}

}  // namespace quorvel::python::batch
