// The results on two threads: the history stepped in chunks on one of them,
// the records formed on the other or on the main thread, written on the main.
#pragma once
#include <cstdint>

#include "compute/tables.h"

// Entries below which a second thread does not pay for itself.
constexpr int64_t kTwoThreadLeastEntries = int64_t{1} << 17;

// Steps the history DEF(0..M) (as ComputePath) and writes its records to
// `unit` (as ListWriter::write_real_pairs: the same bytes, system writes,
// failures and console-event handling, all on the calling thread) with a
// worker thread: when the unit holds its records for block writes the
// calling thread steps between its writes and the worker forms the records'
// text; when every record is a write of its own the worker steps and the
// calling thread forms and writes the records. Returns false, having
// done nothing, when two threads are not to be had or would not pay: a
// short history, the environment variable HYSTERESIS_THREADS = 1, a unit
// whose line does not hold both fields (or that cannot be written), a
// single usable processor, no memory for the text, or a worker that does
// not start.
bool StepAndWriteOnTwoThreads(Tables& t, float* def, float* sig, int64_t m, int unit);
