// Two threads for the results. The worker steps the history in chunks of
// entries, each as soon as the read has stored it, so that the stepping
// overlaps the read. Once the read has ended the main thread writes: with
// one system write per record it forms and writes every record as soon as
// its chunk is stepped; with buffered records the chunks' text is formed in
// a ring of slots, by the worker once it has stepped everything and by the
// main thread whenever the chunk it must write next is not claimed yet.
// Every unit operation, system write and diagnostic stays on the main
// thread, in file order, so the first failure is the one a single thread
// meets; console events reach the main thread only (the worker blocks them).
#include "compute/twothreads.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "compute/readstepper.h"
#include "runtime/floatctl.h"
#include "runtime/platform/env.h"
#include "runtime/platform/memory.h"
#include "runtime/platform/thread.h"
#include "textout/listwriter.h"
#include "textout/pairtext.h"

namespace {

constexpr int64_t kChunk = kReadStepChunk;  // entries per chunk, stepped and formed
constexpr int64_t kSlots = 8;               // chunks of text the ring holds

// What the two threads share. Chunk k holds entries k * kChunk up to the
// next chunk or the end. The counters only grow; `claimed` is taken by
// either thread, every other counter is written by one thread and read by
// the other (release and acquire).
struct Pipeline {
  Tables* tables = nullptr;
  float* def = nullptr;
  float* sig = nullptr;
  Progress* read = nullptr;
  int64_t entries = 0;
  bool buffered = false;  // the ring holds formed text; else the main thread forms
  int64_t chunks = 0;
  char term[2] = {};
  int term_length = 0;
  size_t stride = 0;                    // bytes of a record
  char* ring = nullptr;                 // kSlots chunks of records (buffered only)
  Progress stepped;                     // entries whose stresses are final (worker)
  std::atomic<int64_t> claimed{0};      // chunks taken for forming (either thread)
  std::atomic<int64_t> formed[kSlots];  // per slot: 1 + the chunk formed in it
  Progress written;                     // chunks written, their slots free (main)
};

Pipeline g_pipeline;  // outlives a run that ends while the worker is busy
Sys::ThreadHandle g_worker = 0;

int64_t ChunkStart(int64_t k) { return k * kChunk; }

int64_t ChunkEntries(const Pipeline& p, int64_t k) {
  return std::min(kChunk, p.entries - ChunkStart(k));
}

char* Slot(const Pipeline& p, int64_t k) {
  return p.ring + static_cast<size_t>(k % kSlots) * static_cast<size_t>(kChunk) * p.stride;
}

std::atomic<int64_t>& FormedMark(Pipeline& p, int64_t k) { return p.formed[k % kSlots]; }

int64_t ChunkEnd(const Pipeline& p, int64_t k) { return ChunkStart(k) + ChunkEntries(p, k); }

// Forms the text of chunk k, which the calling thread has claimed, into its
// slot.
void FormChunk(Pipeline& p, int64_t k) {
  const int64_t at = ChunkStart(k);
  PairText::form(p.def + at, p.sig + at, ChunkEntries(p, k), p.term, p.term_length, Slot(p, k));
  std::atomic<int64_t>& mark = FormedMark(p, k);
  mark.store(k + 1, std::memory_order_release);
  mark.notify_one();
}

// Claims chunk k for forming; false when the other thread has it already.
bool Claim(Pipeline& p, int64_t k) {
  int64_t expected = k;
  return p.claimed.compare_exchange_strong(expected, k + 1, std::memory_order_acq_rel);
}

// The worker's forming once everything is stepped: the next unclaimed chunk
// whenever its slot is free, until none is left.
void FormAhead(Pipeline& p) {
  for (int64_t k = p.claimed.load(std::memory_order_acquire); k < p.chunks;
       k = p.claimed.load(std::memory_order_acquire)) {
    p.written.WaitFor(k + 1 - kSlots);
    if (p.written.Get() >= p.chunks) return;  // the writing stopped
    if (Claim(p, k)) FormChunk(p, k);
  }
}

// The worker, in the program's floating-point mode like the main thread.
void Worker(void* arg) {
  Pipeline& p = *static_cast<Pipeline*>(arg);
  EnterComputationMode();
  StepAsRead(*p.tables, p.def, p.sig, p.entries, *p.read, p.stepped);
  if (p.buffered) FormAhead(p);
}

// A statement that failed without ending the run ends the writing, as it
// ends write_real_pairs on one thread: no later record is written. Every
// slot is given free, so that the worker runs to its end.
void StopWriting(Pipeline& p) { p.written.Publish(p.chunks); }

// Waits until chunk k, the next to be written, is formed; forms it on this
// thread when the worker has not claimed it.
void ObtainFormed(Pipeline& p, int64_t k) {
  std::atomic<int64_t>& mark = FormedMark(p, k);
  for (;;) {
    const int64_t seen = mark.load(std::memory_order_acquire);
    if (seen == k + 1) return;
    if (p.claimed.load(std::memory_order_acquire) > k) {
      mark.wait(seen, std::memory_order_acquire);
      continue;
    }
    p.stepped.WaitFor(ChunkEnd(p, k));
    if (Claim(p, k)) {
      FormChunk(p, k);
      return;
    }
  }
}

// Writes the formed chunks in order.
void WriteFormed(Pipeline& p, int unit) {
  for (int64_t k = 0; k < p.chunks; ++k) {
    ObtainFormed(p, k);
    const int64_t at = ChunkStart(k);
    if (ListWriter::write_formed_pairs(unit, 0, p.def + at, p.sig + at, Slot(p, k), p.term_length,
                                       ChunkEntries(p, k)) != 0) {
      StopWriting(p);
      return;
    }
    p.written.Publish(k + 1);
  }
}

// Forms and writes the records of every chunk as soon as the worker has
// stepped it.
void WriteStepped(Pipeline& p, int unit) {
  for (int64_t k = 0; k < p.chunks; ++k) {
    p.stepped.WaitFor(ChunkEnd(p, k));
    const int64_t at = ChunkStart(k);
    if (ListWriter::write_real_pairs(unit, 0, p.def + at, p.sig + at, ChunkEntries(p, k)) != 0) {
      StopWriting(p);
      return;
    }
  }
}

bool OneThreadAsked() {
  const char* v = Sys::GetEnv("HYSTERESIS_THREADS");
  return v != nullptr && std::strcmp(v, "1") == 0;
}

// Sets up the run of the two threads on `unit`: false, with nothing kept,
// when the unit, the processors or the memory for the slots are lacking.
bool SetUp(Pipeline& p, Tables& t, float* def, float* sig, int64_t m, int unit) {
  p.term_length = ListWriter::formed_pair_terminator(unit, p.term, &p.buffered);
  if (p.term_length < 0 || Sys::UsableProcessors() < 2) return false;
  p.stride = PairText::kFieldsWidth + static_cast<size_t>(p.term_length);
  p.ring = nullptr;
  if (p.buffered) {
    p.ring = static_cast<char*>(Sys::Allocate(static_cast<size_t>(kSlots * kChunk) * p.stride));
    if (p.ring == nullptr) return false;
  }
  p.tables = &t;
  p.def = def;
  p.sig = sig;
  p.entries = m + 1;
  p.chunks = (p.entries + kChunk - 1) / kChunk;
  p.stepped.done.store(0);
  p.claimed.store(0);
  for (std::atomic<int64_t>& mark : p.formed) mark.store(0);
  p.written.done.store(0);
  return true;
}

void ReleaseRing(Pipeline& p) {
  if (p.ring != nullptr) Sys::Release(p.ring);
  p.ring = nullptr;
}

}  // namespace

bool StartTwoThreads(Tables& t, float* def, float* sig, int64_t m, int unit, Progress* read) {
  if (m + 1 < kTwoThreadLeastEntries || OneThreadAsked()) return false;
  Pipeline& p = g_pipeline;
  if (!SetUp(p, t, def, sig, m, unit)) return false;
  p.read = read;
  if (Sys::StartThread(Worker, &p, &g_worker) != 0) {
    ReleaseRing(p);
    return false;
  }
  return true;
}

void FinishOnTwoThreads(int unit) {
  Pipeline& p = g_pipeline;
  if (p.buffered) WriteFormed(p, unit);
  else WriteStepped(p, unit);
  Sys::JoinThread(g_worker);
  ReleaseRing(p);
}
