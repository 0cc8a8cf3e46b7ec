// Stepping the strain history: the first elastic range, reversals and the
// segment search along the active branch.
#pragma once
#include <cstdint>

#include "compute/tables.h"

// The state of the stepping besides K and EREV (kept in Tables).
struct StepState {
  int32_t DIR = 1;     // +1 ascending branch, -1 descending branch
  bool VIRGIN = true;  // no strain has left the first elastic range yet
  float DE = 0.0f;     // strain increment of the current step
};

// One step: computes SIG[g] from DEF[g] and the entry before it (g >= 1).
void StepOnce(Tables& t, StepState& s, const float* DEF, float* SIG, int64_t g);

// sig[0..count-1] for the strains def[0..count-1] that follow the entry
// (before, sig_before), which then becomes the last entry stepped: a history
// stepped in pieces gives the same stresses as in one. `pending` holds the pending ranges of the
// lazy reversals (StartLazy done, storage for PendingCapacity(N) pairs per branch) when `lazy` is
// set, and is carried from piece to piece. def and sig may be the same array.
void StepPiece(Tables& t, StepState& s, LazyBranches& pending, bool lazy, float& before,
               float& sig_before, const float* def, float* sig, int64_t count);

// The start of a path: DEF[0] = SIG[0] = 0 (when M >= 0), K = 0, the
// branches copied from the backbone and the slopes computed.
void StartPath(Tables& t, float* DEF, float* SIG, int64_t M);

// A history stepped in consecutive pieces by one thread, with the storage of
// the lazy reversals for the whole of it: the same stresses as StepHistory.
// The destructor completes the branches and gives the storage back.
class HistoryStepper {
 public:
  // Begins after the entry (before, sig_before).
  HistoryStepper(Tables& t, StepState& s, float before, float sig_before);
  ~HistoryStepper();
  HistoryStepper(const HistoryStepper&) = delete;
  HistoryStepper& operator=(const HistoryStepper&) = delete;

  // sig[0..count-1] for the strains def[0..count-1] that follow the entries
  // stepped so far.
  void Step(const float* def, float* sig, int64_t count) {
    StepPiece(t_, s_, pending_, storage_ != nullptr, before_, sig_before_, def, sig, count);
  }

 private:
  Tables& t_;
  StepState& s_;
  LazyBranches pending_;
  void* storage_ = nullptr;
  float before_;
  float sig_before_;
};

// SIG[1..M] from DEF[0..M]; nothing when M < 1. DEF[0] and SIG[0] are the
// starting point and are not stepped.
void StepHistory(Tables& t, StepState& s, const float* DEF, float* SIG, int64_t M);
