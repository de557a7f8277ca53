#pragma once

#include "python/batch/numpy_api.hpp"

namespace quorvel::python::batch {

// The workers a call asked for: `workers` (1 or more, or -1 for every core
// this process may run on).
int resolve_workers(int workers);

// Runs rows [0, rows) as contiguous chunks, one per worker, the first on the
// calling thread; returns when all are done. Each chunk runs `rows_from(context,
// begin, end)`. A row's result never depends on the chunk it falls in, so any
// number of workers gives the same bits. If a thread cannot be started, its
// chunk runs on the calling thread.
using ChunkFunction = void (*)(void* context, npy_intp begin, npy_intp end);
void run_chunks(npy_intp rows, int workers, ChunkFunction rows_from, void* context);

}  // namespace quorvel::python::batch
