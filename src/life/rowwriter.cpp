// The rows of "loops.csv" on a worker thread: the counting thread fills a
// batch of cycles and hands it over through a ring of slots; the worker
// formats and writes the batches in the order they were handed over.
#include "life/rowwriter.h"

#include "runtime/floatctl.h"
#include "runtime/platform/env.h"

namespace Life {

namespace {

void WriteBatch(CsvFile& csv, const std::vector<CountedCycle>& batch) {
  for (const CountedCycle& c : batch) WriteCsvRow(csv, c.loop, c.damage);
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
    std::vector<CountedCycle>& batch = w.slots[w.written % kRowSlots];
    hold.unlock();
    WriteBatch(*w.csv, batch);
    batch.clear();
    hold.lock();
    ++w.written;
    w.space.notify_one();
  }
}

// Hands the filled batch to the worker, once a slot is free.
void HandOver(RowWriter& w) {
  {
    std::unique_lock<std::mutex> hold(w.lock);
    w.space.wait(hold, [&] { return w.handed - w.written < kRowSlots; });
    w.slots[w.handed % kRowSlots].swap(w.filling);
    ++w.handed;
  }
  w.work.notify_one();
  w.filling.clear();
}

}  // namespace

bool RowsMayUseWorker() {
  return Sys::UsableProcessors() >= 2 && !Sys::EnvSwitch("HYSTERESIS_LIFE_ONE_THREAD");
}

void StartRows(RowWriter& w, CsvFile& csv, bool threaded) {
  w.csv = &csv;
  w.threaded = false;
  if (!threaded) return;
  w.filling.reserve(kRowBatch);
  for (std::vector<CountedCycle>& slot : w.slots) slot.reserve(kRowBatch);
  w.threaded = Sys::StartThread(WorkerBody, &w, &w.worker) == 0;
}

void AddRow(RowWriter& w, const Loop& loop, const LoopDamage& damage) {
  if (!w.threaded) {
    WriteCsvRow(*w.csv, loop, damage);
    return;
  }
  w.filling.push_back(CountedCycle{loop, damage});
  if (w.filling.size() == kRowBatch) HandOver(w);
}

void FinishRows(RowWriter& w) {
  if (!w.threaded) return;
  if (!w.filling.empty()) HandOver(w);
  {
    std::lock_guard<std::mutex> hold(w.lock);
    w.ending = true;
  }
  w.work.notify_one();
  Sys::JoinThread(w.worker);
  w.threaded = false;
}

}  // namespace Life
