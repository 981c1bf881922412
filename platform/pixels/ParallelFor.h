#pragma once

#include <cstddef>
#include <functional>

namespace pravix
{

// Threads this layer spreads work over: the machine's cores (at least one), or fewer once limited.
unsigned workerCount();
// Limits the threads of every later piece of work (0: the machine's cores again), for callers that must
// run on one thread, such as a fuzzer.
void limitWorkers(unsigned count);
// The limit limitWorkers set (0: none).
unsigned workerLimit();

// Runs body(begin, end) over [0, count) split into contiguous chunks of at least minChunk, on up to
// workerCount() threads, the calling thread among them; returns when all are done. The first
// exception a chunk throws is rethrown here once the others have finished.
void parallelFor(size_t count, size_t minChunk, const std::function<void(size_t begin, size_t end)>& body);

}  // namespace pravix
