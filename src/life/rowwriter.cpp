// The cycles on a worker thread: the counting thread fills a batch and hands
// it over through a ring of slots; the worker assesses, tallies, formats and
// writes the batches in the order they were handed over. When the worker
// falls behind, the counting thread assesses and formats a batch itself; the
// tally stays with the worker, so the damage is summed in the table's order.
#include "life/rowwriter.h"

#include <cstring>
#include <utility>

#include "runtime/floatctl.h"
#include "runtime/platform/env.h"

namespace Life {

namespace {

void AssessBatch(const LifeCurve& curve, RowBatch& batch) {
  for (CountedCycle& c : batch.cycles) c.damage = AssessLoop(curve, c.loop);
  batch.assessed = true;
}

// The rows of the batch's cycles into its text.
void FormatBatch(RowBatch& batch) {
  if (!batch.text) batch.text = std::make_unique_for_overwrite<char[]>(kRowBatch * kCsvRowMax);
  size_t used = 0;
  for (const CountedCycle& c : batch.cycles) {
    used += FormatCsvRow(c.loop, c.damage, batch.text.get() + used);
  }
  batch.text_length = used;
}

// Whatever the counting thread left of the batch, then its tally and rows,
// written from the batch's text.
void CompleteBatch(RowWriter& w, RowBatch& batch) {
  if (!batch.assessed) AssessBatch(*w.curve, batch);
  for (const CountedCycle& c : batch.cycles) CountCycle(*w.tally, c.loop, c.damage);
  if (batch.text_length == 0) FormatBatch(batch);
  WriteCsvText(*w.csv, batch.text.get(), batch.text_length);
  batch.cycles.clear();
  batch.assessed = false;
  batch.text_length = 0;
}

// The worker: waits for a batch, completes it outside the lock, frees its
// slot.
void WorkerBody(void* arg) {
  RowWriter& w = *static_cast<RowWriter*>(arg);
  // The floating-point mode of the counting thread: the damage and the text
  // of a row come out the same on either thread.
  EnterComputationMode();
  std::unique_lock<std::mutex> hold(w.lock);
  for (;;) {
    w.work.wait(hold, [&] { return w.written < w.handed || w.ending; });
    if (w.written == w.handed) return;
    RowBatch& batch = w.slots[w.written % kRowSlots];
    hold.unlock();
    CompleteBatch(w, batch);
    hold.lock();
    ++w.written;
    w.space.notify_one();
  }
}

size_t Backlog(RowWriter& w) {
  std::lock_guard<std::mutex> hold(w.lock);
  return w.handed - w.written;
}

// Hands the filled batch to the worker, once a slot is free; assesses and
// formats it first when the worker is behind, rather than wait for it.
void HandOver(RowWriter& w) {
  if (Backlog(w) >= kRowBacklog) {
    AssessBatch(*w.curve, w.filling);
    FormatBatch(w.filling);
  }
  {
    std::unique_lock<std::mutex> hold(w.lock);
    w.space.wait(hold, [&] { return w.handed - w.written < kRowSlots; });
    std::swap(w.slots[w.handed % kRowSlots], w.filling);
    ++w.handed;
  }
  w.work.notify_one();
}

}  // namespace

bool RowsMayUseWorker() {
  const char* threads = Sys::GetEnv("HYSTERESIS_THREADS");
  const bool one = threads != nullptr && std::strcmp(threads, "1") == 0;
  return !one && Sys::UsableProcessors() >= 2;
}

void StartRows(RowWriter& w, CsvFile& csv, const LifeCurve& curve, Tally& tally, bool threaded) {
  w.csv = &csv;
  w.curve = &curve;
  w.tally = &tally;
  w.threaded = false;
  if (!threaded) return;
  // Everything a batch needs is allocated here, on the calling thread: the
  // worker formats every batch it is handed and never allocates.
  w.filling.cycles.reserve(kRowBatch);
  w.filling.text = std::make_unique_for_overwrite<char[]>(kRowBatch * kCsvRowMax);
  for (RowBatch& slot : w.slots) {
    slot.cycles.reserve(kRowBatch);
    slot.text = std::make_unique_for_overwrite<char[]>(kRowBatch * kCsvRowMax);
  }
  w.threaded = Sys::StartThread(WorkerBody, &w, &w.worker) == 0;
}

void AddRow(RowWriter& w, const Loop& loop) {
  if (!w.threaded) {
    const LoopDamage d = AssessLoop(*w.curve, loop);
    WriteCsvRow(*w.csv, loop, d);
    CountCycle(*w.tally, loop, d);
    return;
  }
  w.filling.cycles.push_back(CountedCycle{loop, LoopDamage{}});
  if (w.filling.cycles.size() == kRowBatch) HandOver(w);
}

void FinishRows(RowWriter& w) {
  if (!w.threaded) return;
  if (!w.filling.cycles.empty()) HandOver(w);
  {
    std::lock_guard<std::mutex> hold(w.lock);
    w.ending = true;
  }
  w.work.notify_one();
  Sys::JoinThread(w.worker);
  w.threaded = false;
}

}  // namespace Life
