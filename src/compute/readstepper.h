// A strain history stepped while it is read: chunk after chunk, as soon as
// the read has stored it, on the calling thread or on a worker of its own.
#pragma once
#include <cstdint>

#include "compute/tables.h"
#include "runtime/platform/thread.h"
#include "runtime/progress.h"

// Entries stepped at a time.
constexpr int64_t kReadStepChunk = int64_t{1} << 14;

// Steps DEF(0..entries-1) as ComputePath does, on the calling thread: the
// start of the path (which sets DEF(0) to 0) once `read` has entry 0, then
// every chunk once `read` has all of it; `stepped` counts the entries whose
// stresses are final. The branches are complete when it returns.
void StepAsRead(Tables& t, float* def, float* sig, int64_t entries, const Progress& read,
                Progress& stepped);

// StepAsRead on a worker thread (which blocks every signal, in the
// computation's floating-point mode).
class ReadStepper {
 public:
  // Starts the worker; false, with nothing started, when it cannot start.
  bool Start(Tables& t, float* def, float* sig, int64_t entries, const Progress* read);

  // Waits until the first `count` entries are stepped.
  void WaitFor(int64_t count) const { stepped_.WaitFor(count); }

  // Waits for the worker to end, if one was started.
  void Join();

 private:
  static void Body(void* self);

  Tables* t_ = nullptr;
  float* def_ = nullptr;
  float* sig_ = nullptr;
  int64_t entries_ = 0;
  const Progress* read_ = nullptr;
  Progress stepped_;
  Sys::ThreadHandle handle_ = 0;
  bool started_ = false;
};
