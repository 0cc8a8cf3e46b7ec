// The rows of "loops.csv" formatted and written either on the calling
// thread or on a worker thread that takes the counted cycles in batches.
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
constexpr size_t kRowBatch = 4096;
constexpr size_t kRowSlots = 4;
// From this many batches waiting on, the counting thread formats the rows
// of its batch itself and leaves the worker only their writing.
constexpr size_t kRowBacklog = 2;

// A batch of cycles, or of their rows when `text_length` is not 0. The text
// has room for kRowBatch rows, left untouched until written.
struct RowBatch {
  std::vector<CountedCycle> cycles;
  std::unique_ptr<char[]> text;
  size_t text_length = 0;
};

struct RowWriter {
  CsvFile* csv = nullptr;
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

// True when the rows may go to a worker thread: two usable processors and
// HYSTERESIS_LIFE_ONE_THREAD not switched on.
bool RowsMayUseWorker();

// Starts writing rows to `csv` (opened); on a worker thread when `threaded`
// and one can be started, otherwise on the calling thread.
void StartRows(RowWriter& w, CsvFile& csv, bool threaded);

// Takes the next counted cycle, in the order of the table.
void AddRow(RowWriter& w, const Loop& loop, const LoopDamage& damage);

// Writes what is left and ends the worker: every row is then in the CSV
// file's buffer or written (its first failure kept in the file's error).
void FinishRows(RowWriter& w);

}  // namespace Life
