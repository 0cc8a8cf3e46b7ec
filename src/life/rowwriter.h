// What becomes of each counted cycle: its damage, its place in the tally and
// its row of "loops.csv", done on the calling thread or on a worker thread
// that takes the cycles in batches, in the order they were counted.
#pragma once
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

#include "fatigue/loops.h"
#include "fatigue/strainlife.h"
#include "life/report.h"
#include "runtime/platform/thread.h"

namespace Life {

struct CountedCycle {
  Loop loop;
  LoopDamage damage;
};

// Cycles a batch holds, and batches handed over but not yet written: the
// cycles in flight stay within a few megabytes, however long the path.
constexpr size_t kRowBatch = 1024;
constexpr size_t kRowSlots = 8;
// From this many batches waiting on, the counting thread assesses and
// formats its batch itself and leaves the worker the tally and the writing.
constexpr size_t kRowBacklog = kRowSlots;

// A batch of cycles; `assessed` once their damage is known, and their rows
// in `text` when `text_length` is not 0. The text has room for kRowBatch
// rows, left untouched until written.
struct RowBatch {
  std::vector<CountedCycle> cycles;
  bool assessed = false;
  std::unique_ptr<char[]> text;
  size_t text_length = 0;
};

struct RowWriter {
  CsvFile* csv = nullptr;
  const LifeCurve* curve = nullptr;
  Tally* tally = nullptr;
  bool threaded = false;
  Sys::ThreadHandle worker = 0;
  RowBatch filling;  // the batch being filled
  RowBatch slots[kRowSlots];
  size_t handed = 0;   // batches handed to the worker
  size_t written = 0;  // batches the worker has written
  bool ending = false;
  std::mutex lock;
  std::condition_variable work;   // a batch was handed over, or the end
  std::condition_variable space;  // a slot was written and is free again
};

// True when the cycles may go to a worker thread: two usable processors and
// HYSTERESIS_THREADS not 1 (the variable the program reads too).
bool RowsMayUseWorker();

// Starts taking cycles: each is assessed on `curve`, counted in `tally` and
// written to `csv` (opened); on a worker thread when `threaded` and one can
// be started, otherwise on the calling thread. `tally` belongs to the
// writer until FinishRows.
void StartRows(RowWriter& w, CsvFile& csv, const LifeCurve& curve, Tally& tally, bool threaded);

// Takes the next counted cycle, in the order of the table.
void AddRow(RowWriter& w, const Loop& loop);

// Finishes every cycle taken and ends the worker: the tally is complete and
// every row in the CSV file's buffer or written (its first failure kept in
// the file's error).
void FinishRows(RowWriter& w);

}  // namespace Life
