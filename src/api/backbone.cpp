// Creation and checks of the library's backbone.
#include "api/backbone.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>

#include "api/fpmode.h"
#include "compute/tables.h"
#include "runtime/platform/memory.h"

int CheckBackbonePoints(int32_t n, const float* ey, const float* sy) {
  if (ey == nullptr || sy == nullptr) return HYS_E_NULL;
  if (n < 0 || n > INT32_MAX - 2) return HYS_E_COUNT;
  const int64_t points = static_cast<int64_t>(n) + 2;
  for (int64_t i = 0; i < points; ++i)
    if (!std::isfinite(ey[i]) || !std::isfinite(sy[i])) return HYS_E_NOT_FINITE;
  if (ey[0] != 0.0f || sy[0] != 0.0f) return HYS_E_ORIGIN;
  for (int64_t i = 1; i < points; ++i)
    if (!(ey[i] > ey[i - 1])) return HYS_E_STRAIN_ORDER;
  if (!(sy[1] > 0.0f)) return HYS_E_STRESS_ORDER;
  for (int64_t i = 1; i < points; ++i)
    if (sy[i] < sy[i - 1]) return HYS_E_STRESS_ORDER;
  return HYS_OK;
}

int CheckBackboneSlopes(int32_t n, const float* et, float ey_max, float sy_max) {
  // A strain step that flushes to zero gives an infinite or NaN slope; the
  // first segment must keep a positive slope for the elastic range.
  if (!(et[0] > 0.0f)) return HYS_E_RANGE;
  for (int64_t i = 0; i <= n; ++i)
    if (!std::isfinite(et[i])) return HYS_E_RANGE;
  // A reversal doubles the backbone's steps.
  if (!std::isfinite(ey_max * 2.0f) || !std::isfinite(sy_max * 2.0f)) return HYS_E_RANGE;
  return HYS_OK;
}

void RetainBackbone(hys_backbone* b) { b->references.fetch_add(1, std::memory_order_relaxed); }

int hys_backbone_create(int32_t n, const float* ey, const float* sy, hys_backbone** out) {
  if (out == nullptr) return HYS_E_NULL;
  const int points_status = CheckBackbonePoints(n, ey, sy);
  if (points_status != HYS_OK) return points_status;
  const size_t points = static_cast<size_t>(n) + 2;
  void* block = Sys::Allocate(sizeof(hys_backbone));
  float* tables = static_cast<float*>(Sys::Allocate(3 * points * sizeof(float)));
  if (block == nullptr || tables == nullptr) {
    Sys::Release(block);
    Sys::Release(tables);
    return HYS_E_MEMORY;
  }
  hys_backbone* b = new (block) hys_backbone;
  b->n = n;
  b->ey = tables;
  b->sy = tables + points;
  b->et = tables + 2 * points;
  std::memcpy(b->ey, ey, points * sizeof(float));
  std::memcpy(b->sy, sy, points * sizeof(float));
  b->mode = SteppingModeWord();
  {
    FloatModeScope mode(b->mode);
    Tables t;
    t.N = n;
    t.EY = b->ey;
    t.SY = b->sy;
    t.ET = b->et;
    ComputeSlopes(t);
    LazyBranches lazy;
    StartLazy(t, lazy);
    b->nan_slope = lazy.nan_slope;
    b->plateaus = lazy.plateaus;
  }
  const int slopes_status = CheckBackboneSlopes(n, b->et, b->ey[n + 1], b->sy[n + 1]);
  if (slopes_status != HYS_OK) {
    hys_backbone_free(b);
    return slopes_status;
  }
  *out = b;
  return HYS_OK;
}

void hys_backbone_free(hys_backbone* b) {
  if (b == nullptr || b->references.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
  Sys::Release(b->ey);
  b->~hys_backbone();
  Sys::Release(b);
}
