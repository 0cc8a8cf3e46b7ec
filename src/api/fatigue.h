// The library's loop counter: the count of a path fed in pieces and where
// its loops go.
#pragma once
#include "fatigue/loops.h"
#include "hysteresis/hysteresis.h"

struct hys_counter {
  LoopCounter count;
  hys_loop_callback callback = nullptr;
  void* context = nullptr;
};
