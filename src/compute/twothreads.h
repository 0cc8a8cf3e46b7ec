// The history stepped on a second thread from the moment its read begins,
// and the results written on the main thread once the read has ended.
#pragma once
#include <cstdint>

#include "compute/tables.h"
#include "runtime/progress.h"

// Entries below which a second thread does not pay for itself.
constexpr int64_t kTwoThreadLeastEntries = int64_t{1} << 17;

// Starts a worker that steps the history DEF(0..M) (as ComputePath) chunk by
// chunk as the read of DEF tells `read` that the entries are stored; DEF(0)
// is set to 0 once the read has stored it. Returns false, having done
// nothing, when two threads are not to be had or would not pay: a short
// history, the environment variable HYSTERESIS_THREADS = 1, a unit whose
// line does not hold both fields (or that cannot be written), a single
// usable processor, no memory for the text, or a worker that does not
// start. Nothing is written until FinishOnTwoThreads.
bool StartTwoThreads(Tables& t, float* def, float* sig, int64_t m, int unit, Progress* read);

// After a read of the whole of DEF that succeeded (and told `read` so):
// writes the records to
// `unit` as ListWriter::write_real_pairs would (the same bytes, system
// writes, failures and console-event handling, all on the calling thread)
// while the worker steps the rest, then waits for the worker to end.
void FinishOnTwoThreads(int unit);
