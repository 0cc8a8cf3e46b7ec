// The job's path stepped piece by piece: the stresses ComputePath gives in
// one go, so that the loops of one piece can be counted and written while
// the next is stepped.
#pragma once
#include <cstdint>

#include "compute/stepping.h"
#include "compute/tables.h"

namespace Life {

struct PiecePath {
  Tables* tables = nullptr;
  const float* def = nullptr;
  float* sig = nullptr;
  int64_t entries = 0;  // entries 0..entries-1 (M + 1)
  int64_t stepped = 0;  // entries 0..stepped-1 have their stresses
  StepState state;
  LazyBranches pending;
  void* storage = nullptr;  // the pending ranges; without it every reversal rebuilds in full
  bool lazy = false;
  float before = 0.0f;
  float sig_before = 0.0f;
};

// Prepares the stepping of entries 0..m as ComputePath does (DEF(0) =
// SIG(0) = 0, the branches and the slopes); entry 0 is then stepped.
void StartPiecePath(PiecePath& p, Tables& t, float* def, float* sig, int64_t m);

// Steps the entries up to `end` (exclusive, at most `entries`).
void StepPathTo(PiecePath& p, int64_t end);

// Completes the pending branches, as ComputePath leaves them, and releases
// the storage.
void EndPiecePath(PiecePath& p);

}  // namespace Life
