// Two threads for the results; the history is stepped in chunks of entries
// on one of them. With buffered records the main thread steps and a worker
// forms the records of every stepped chunk into a slot of a ring, which the
// main thread writes between its chunks of stepping. With one system write
// per record the worker steps, the main thread forms and writes every
// record as soon as its chunk is stepped, and the worker is gone long before
// the writes end: the system takes a write of a process of one thread faster.
// Every unit operation, system write and diagnostic stays on the main
// thread, in file order, so the first failure is the one a single thread
// meets; console events reach the main thread only (the worker blocks them).
#include "compute/twothreads.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "compute/stepping.h"
#include "runtime/floatctl.h"
#include "runtime/platform/env.h"
#include "runtime/platform/memory.h"
#include "runtime/platform/thread.h"
#include "textout/listwriter.h"
#include "textout/pairtext.h"

namespace {

constexpr int64_t kChunk = int64_t{1} << 14;  // entries per chunk
constexpr int64_t kSlots = 8;                 // chunks of text the ring holds

// What the two threads share. Chunk k holds entries k * kChunk up to the
// next chunk or the end. The counters only grow; each is written by one
// thread and read by the other (release and acquire).
struct Pipeline {
  Tables* tables = nullptr;
  float* def = nullptr;
  float* sig = nullptr;
  int64_t entries = 0;
  bool worker_steps = false;  // and the main thread forms; else the reverse
  int64_t chunks = 0;
  char term[2] = {};
  int term_length = 0;
  size_t stride = 0;                // bytes of a record
  char* ring = nullptr;             // kSlots chunks of records (none when the worker steps)
  std::atomic<int64_t> stepped{0};  // chunks whose stresses are final
  std::atomic<int64_t> formed{0};   // chunks whose text is in the ring (worker)
  std::atomic<int64_t> written{0};  // chunks written, their slots free (main)
  bool failed = false;              // a write failed: no more are made (main)
};

int64_t ChunkStart(int64_t k) { return k * kChunk; }

int64_t ChunkEntries(const Pipeline& p, int64_t k) {
  return std::min(kChunk, p.entries - ChunkStart(k));
}

char* Slot(const Pipeline& p, int64_t k) {
  return p.ring + static_cast<size_t>(k % kSlots) * static_cast<size_t>(kChunk) * p.stride;
}

// Waits until `counter` has reached `value`.
void WaitFor(const std::atomic<int64_t>& counter, int64_t value) {
  for (int64_t seen = counter.load(std::memory_order_acquire); seen < value;
       seen = counter.load(std::memory_order_acquire))
    counter.wait(seen, std::memory_order_acquire);
}

void Advance(std::atomic<int64_t>& counter, int64_t value) {
  counter.store(value, std::memory_order_release);
  counter.notify_one();
}

// Steps the entries of chunk k (entry 0 is the starting point).
void StepChunk(Pipeline& p, HistoryStepper& stepper, int64_t k) {
  const int64_t from = std::max<int64_t>(1, ChunkStart(k));
  const int64_t to = ChunkStart(k) + ChunkEntries(p, k);
  stepper.Step(p.def + from, p.sig + from, to - from);
  Advance(p.stepped, k + 1);
}

// Forms chunk k once it is stepped and its slot is free.
void FormChunk(Pipeline& p, int64_t k) {
  WaitFor(p.stepped, k + 1);
  WaitFor(p.written, k + 1 - kSlots);
  const int64_t at = ChunkStart(k);
  PairText::form(p.def + at, p.sig + at, ChunkEntries(p, k), p.term, p.term_length, Slot(p, k));
  Advance(p.formed, k + 1);
}

// The worker, in the program's floating-point mode like the main thread:
// forms every chunk once it is stepped, or steps every chunk.
void Worker(void* arg) {
  Pipeline& p = *static_cast<Pipeline*>(arg);
  EnterComputationMode();
  if (!p.worker_steps) {
    for (int64_t k = 0; k < p.chunks; ++k) FormChunk(p, k);
    return;
  }
  StartPath(*p.tables, p.def, p.sig, p.entries - 1);
  StepState s;
  HistoryStepper stepper(*p.tables, s, p.def[0], p.sig[0]);
  for (int64_t k = 0; k < p.chunks; ++k) StepChunk(p, stepper, k);
}

// A statement that failed without ending the run ends the writing, as it
// ends write_real_pairs on one thread: no later record is written. Every
// slot is given free, so that the worker runs to its end.
void StopWriting(Pipeline& p) {
  p.failed = true;
  Advance(p.written, p.chunks);
}

// Writes the formed chunks that wait, every one up to `through` (waiting for
// the worker) and then any other already formed.
void WriteFormed(Pipeline& p, int unit, int64_t through) {
  for (int64_t k = p.written.load(std::memory_order_relaxed); k < p.chunks && !p.failed; ++k) {
    if (k < through) WaitFor(p.formed, k + 1);
    else if (p.formed.load(std::memory_order_acquire) <= k) return;
    const int64_t at = ChunkStart(k);
    if (ListWriter::write_formed_pairs(unit, 0, p.def + at, p.sig + at, Slot(p, k), p.term_length,
                                       ChunkEntries(p, k)) != 0) {
      StopWriting(p);
      return;
    }
    Advance(p.written, k + 1);
  }
}

// Writes the records of every chunk as soon as the worker has stepped it.
void WriteStepped(Pipeline& p, int unit) {
  for (int64_t k = 0; k < p.chunks; ++k) {
    WaitFor(p.stepped, k + 1);
    const int64_t at = ChunkStart(k);
    if (ListWriter::write_real_pairs(unit, 0, p.def + at, p.sig + at, ChunkEntries(p, k)) != 0) {
      StopWriting(p);
      return;
    }
  }
}

// Steps the chunks, handing each to the worker, and writes what is formed.
void StepAndWrite(Pipeline& p, int unit) {
  StartPath(*p.tables, p.def, p.sig, p.entries - 1);
  StepState s;
  {
    HistoryStepper stepper(*p.tables, s, p.def[0], p.sig[0]);
    for (int64_t k = 0; k < p.chunks; ++k) {
      StepChunk(p, stepper, k);
      WriteFormed(p, unit, 0);
    }
  }
  WriteFormed(p, unit, p.chunks);
}

bool OneThreadAsked() {
  const char* v = Sys::GetEnv("HYSTERESIS_THREADS");
  return v != nullptr && std::strcmp(v, "1") == 0;
}

// Sets up the run of the two threads on `unit`: false, with nothing kept,
// when the unit, the processors or the memory for the slots are lacking.
bool SetUp(Pipeline& p, Tables& t, float* def, float* sig, int64_t m, int unit) {
  bool buffered = false;
  p.term_length = ListWriter::formed_pair_terminator(unit, p.term, &buffered);
  if (p.term_length < 0 || Sys::UsableProcessors() < 2) return false;
  p.worker_steps = !buffered;
  p.stride = PairText::kFieldsWidth + static_cast<size_t>(p.term_length);
  p.ring = nullptr;
  if (!p.worker_steps) {
    p.ring = static_cast<char*>(Sys::Allocate(static_cast<size_t>(kSlots * kChunk) * p.stride));
    if (p.ring == nullptr) return false;
  }
  p.tables = &t;
  p.def = def;
  p.sig = sig;
  p.entries = m + 1;
  p.chunks = (p.entries + kChunk - 1) / kChunk;
  p.stepped.store(0);
  p.formed.store(0);
  p.written.store(0);
  p.failed = false;
  return true;
}

void ReleaseRing(Pipeline& p) {
  if (p.ring != nullptr) Sys::Release(p.ring);
  p.ring = nullptr;
}

}  // namespace

bool StepAndWriteOnTwoThreads(Tables& t, float* def, float* sig, int64_t m, int unit) {
  if (m + 1 < kTwoThreadLeastEntries || OneThreadAsked()) return false;
  static Pipeline p;  // outlives a run that ends while the worker is busy
  if (!SetUp(p, t, def, sig, m, unit)) return false;
  Sys::ThreadHandle worker = 0;
  if (Sys::StartThread(Worker, &p, &worker) != 0) {
    ReleaseRing(p);
    return false;
  }
  if (p.worker_steps) WriteStepped(p, unit);
  else StepAndWrite(p, unit);
  Sys::JoinThread(worker);
  ReleaseRing(p);
  return true;
}
