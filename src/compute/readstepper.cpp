// The stepping of a history that is still being read, chunk after chunk
// behind the reader.
#include "compute/readstepper.h"

#include <algorithm>

#include "compute/stepping.h"
#include "runtime/floatctl.h"

void StepAsRead(Tables& t, float* def, float* sig, int64_t entries, const Progress& read,
                Progress& stepped) {
  if (entries < 1) return;
  // The start of the path overwrites entry 0, so the read must be past it.
  read.WaitFor(1);
  StartPath(t, def, sig, entries - 1);
  StepState s;
  HistoryStepper stepper(t, s, def[0], sig[0]);
  for (int64_t from = 1; from < entries;) {
    const int64_t to = std::min(entries, (from / kReadStepChunk + 1) * kReadStepChunk);
    read.WaitFor(to);
    stepper.Step(def + from, sig + from, to - from);
    stepped.Publish(to);
    from = to;
  }
  stepped.Publish(entries);
}

void ReadStepper::Body(void* self) {
  ReadStepper& r = *static_cast<ReadStepper*>(self);
  EnterComputationMode();
  StepAsRead(*r.t_, r.def_, r.sig_, r.entries_, *r.read_, r.stepped_);
}

bool ReadStepper::Start(Tables& t, float* def, float* sig, int64_t entries, const Progress* read) {
  t_ = &t;
  def_ = def;
  sig_ = sig;
  entries_ = entries;
  read_ = read;
  stepped_.done.store(0);
  started_ = Sys::StartThread(Body, this, &handle_) == 0;
  return started_;
}

void ReadStepper::Join() {
  if (started_) Sys::JoinThread(handle_);
  started_ = false;
}
