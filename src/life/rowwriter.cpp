// The rows of "loops.csv" on a worker thread: the counting thread fills a
// batch of cycles and hands it over through a ring of slots; the worker
// formats and writes the batches in the order they were handed over. When
// the worker falls behind, the counting thread formats a batch itself.
#include "life/rowwriter.h"

#include <utility>

#include "runtime/floatctl.h"
#include "runtime/platform/env.h"

namespace Life {

namespace {

void WriteBatch(CsvFile& csv, const RowBatch& batch) {
  if (batch.text_length != 0) {
    WriteCsvText(csv, batch.text.get(), batch.text_length);
    return;
  }
  for (const CountedCycle& c : batch.cycles) WriteCsvRow(csv, c.loop, c.damage);
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

// The worker: waits for a batch, writes it outside the lock, frees its slot.
void WorkerBody(void* arg) {
  RowWriter& w = *static_cast<RowWriter*>(arg);
  // The mode of the thread that counts, so that a row reads the same on
  // either thread (a float's text depends on the flushing of subnormals).
  EnterComputationMode();
  std::unique_lock<std::mutex> hold(w.lock);
  for (;;) {
    w.work.wait(hold, [&] { return w.written < w.handed || w.ending; });
    if (w.written == w.handed) return;
    RowBatch& batch = w.slots[w.written % kRowSlots];
    hold.unlock();
    WriteBatch(*w.csv, batch);
    batch.cycles.clear();
    batch.text_length = 0;
    hold.lock();
    ++w.written;
    w.space.notify_one();
  }
}

size_t Backlog(RowWriter& w) {
  std::lock_guard<std::mutex> hold(w.lock);
  return w.handed - w.written;
}

// Hands the filled batch to the worker, once a slot is free; formats it
// first when the worker is behind, rather than wait for it.
void HandOver(RowWriter& w) {
  if (Backlog(w) >= kRowBacklog) FormatBatch(w.filling);
  {
    std::unique_lock<std::mutex> hold(w.lock);
    w.space.wait(hold, [&] { return w.handed - w.written < kRowSlots; });
    RowBatch& slot = w.slots[w.handed % kRowSlots];
    slot.cycles.swap(w.filling.cycles);
    slot.text.swap(w.filling.text);
    std::swap(slot.text_length, w.filling.text_length);
    ++w.handed;
  }
  w.work.notify_one();
  w.filling.cycles.clear();
  w.filling.text_length = 0;
}

}  // namespace

bool RowsMayUseWorker() {
  return Sys::UsableProcessors() >= 2 && !Sys::EnvSwitch("HYSTERESIS_LIFE_ONE_THREAD");
}

void StartRows(RowWriter& w, CsvFile& csv, bool threaded) {
  w.csv = &csv;
  w.threaded = false;
  if (!threaded) return;
  w.filling.cycles.reserve(kRowBatch);
  for (RowBatch& slot : w.slots) slot.cycles.reserve(kRowBatch);
  w.threaded = Sys::StartThread(WorkerBody, &w, &w.worker) == 0;
}

void AddRow(RowWriter& w, const Loop& loop, const LoopDamage& damage) {
  if (!w.threaded) {
    WriteCsvRow(*w.csv, loop, damage);
    return;
  }
  w.filling.cycles.push_back(CountedCycle{loop, damage});
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
