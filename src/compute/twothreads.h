// The results on two threads: the history stepped in chunks, a worker that
// forms the text of stepped chunks, the main thread that writes the records.
#pragma once
#include <cstdint>

#include "compute/tables.h"

// Entries below which a second thread does not pay for itself.
constexpr int64_t kTwoThreadLeastEntries = int64_t{1} << 17;

// Steps the history DEF(0..M) (as ComputePath) and writes its records to
// `unit` (as ListWriter::write_real_pairs: the same bytes, system writes,
// failures and console-event handling, all on the calling thread) with a
// worker thread that forms the records' text. The calling thread steps
// between its writes when the unit holds its records for block writes; when
// it writes every record itself, the worker steps too. Returns false, having
// done nothing, when two threads are not to be had or would not pay: a
// short history, the environment variable HYSTERESIS_THREADS = 1, a unit
// whose line does not hold both fields (or that cannot be written), a
// single usable processor, no memory for the text, or a worker that does
// not start.
bool StepAndWriteOnTwoThreads(Tables& t, float* def, float* sig, int64_t m, int unit);
