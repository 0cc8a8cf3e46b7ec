// The library's stepper: one path on a shared backbone, its branch tables,
// the pending strains of its lazy reversals and the entry before the next
// piece.
#pragma once
#include <cstdint>

#include "compute/stepping.h"
#include "compute/tables.h"
#include "hysteresis/hysteresis.h"

struct hys_stepper {
  hys_backbone* backbone = nullptr;
  Tables t;  // EY, SY, ET of the backbone; the branches are the stepper's
  StepState s;
  LazyBranches pending;
  int32_t* pairs = nullptr;  // storage of the pending ranges of both branches
  float before = 0.0f;       // strain and stress of the last entry stepped
  float sig_before = 0.0f;
  int64_t entries = 0;
};
