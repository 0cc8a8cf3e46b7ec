// The library's backbone: the checked points, their slopes and what the lazy
// reversals need to know of them, shared by reference between steppers.
#pragma once
#include <atomic>
#include <cstdint>

#include "hysteresis/hysteresis.h"

struct hys_backbone {
  std::atomic<int32_t> references{1};
  int32_t n = 0;
  float* ey = nullptr;    // points 0..n+1
  float* sy = nullptr;    // points 0..n+1
  float* et = nullptr;    // slopes 0..n
  int32_t nan_slope = 0;  // as StartLazy finds them
  bool plateaus = false;
  uint32_t mode = 0;  // SteppingModeWord()
};

// The status of a backbone from n, ey[0..n+1] and sy[0..n+1] before its
// slopes are known (HYS_OK when they may be computed).
int CheckBackbonePoints(int32_t n, const float* ey, const float* sy);

// The status of the slopes et[0..n] of a backbone with largest values
// ey_max and sy_max, computed in the stepping mode.
int CheckBackboneSlopes(int32_t n, const float* et, float ey_max, float sy_max);

// One more reference for a stepper.
void RetainBackbone(hys_backbone* b);
