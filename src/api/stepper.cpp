// Steppers: a path on a backbone fed in pieces of any size, with the
// stresses of the program's stepping to the bit.
#include "api/stepper.h"

#include <cstddef>
#include <cstdint>
#include <new>

#include "api/backbone.h"
#include "api/fpmode.h"
#include "runtime/platform/memory.h"

namespace {

// The branches and pending ranges as they are before the first entry.
void StartPath(hys_stepper* st) {
  st->t.K = 0;
  st->t.EREV = 0.0f;
  {
    FloatModeScope mode(st->backbone->mode);
    InitBranches(st->t);
  }
  st->s = StepState{};
  const int32_t pairs = PendingCapacity(st->t.N);
  st->pending = LazyBranches{};
  st->pending.up.below = st->pairs;
  st->pending.down.below = st->pairs + 2 * pairs;
  st->pending.nan_slope = st->backbone->nan_slope;
  st->pending.plateaus = st->backbone->plateaus;
  st->before = 0.0f;
  st->sig_before = 0.0f;
  st->entries = 0;
}

}  // namespace

int hys_stepper_create(hys_backbone* backbone, hys_stepper** out) {
  if (backbone == nullptr || out == nullptr) return HYS_E_NULL;
  const size_t points = static_cast<size_t>(backbone->n) + 2;
  const size_t pairs = static_cast<size_t>(PendingCapacity(backbone->n));
  void* block = Sys::Allocate(sizeof(hys_stepper));
  float* branches = static_cast<float*>(Sys::Allocate(4 * points * sizeof(float)));
  void* ranges = Sys::Allocate(2 * pairs * 2 * sizeof(int32_t));
  if (block == nullptr || branches == nullptr || ranges == nullptr) {
    Sys::Release(block);
    Sys::Release(branches);
    Sys::Release(ranges);
    return HYS_E_MEMORY;
  }
  hys_stepper* st = new (block) hys_stepper;
  RetainBackbone(backbone);
  st->backbone = backbone;
  st->t.N = backbone->n;
  st->t.EY = backbone->ey;
  st->t.SY = backbone->sy;
  st->t.ET = backbone->et;
  st->t.EYP = branches;
  st->t.SYP = branches + points;
  st->t.EYN = branches + 2 * points;
  st->t.SYN = branches + 3 * points;
  st->pairs = static_cast<int32_t*>(ranges);
  StartPath(st);
  *out = st;
  return HYS_OK;
}

int hys_stepper_feed(hys_stepper* st, const float* strain, float* stress, size_t count) {
  if (count == 0) return st == nullptr ? HYS_E_NULL : HYS_OK;
  if (st == nullptr || strain == nullptr || stress == nullptr) return HYS_E_NULL;
  FloatModeScope mode(st->backbone->mode);
  size_t from = 0;
  if (st->entries == 0) {
    // The path starts at the origin: the first strain counts as 0.
    stress[0] = 0.0f;
    st->before = 0.0f;
    st->sig_before = 0.0f;
    from = 1;
  }
  StepPiece(st->t, st->s, st->pending, true, st->before, st->sig_before, strain + from,
            stress + from, static_cast<int64_t>(count - from));
  st->entries += static_cast<int64_t>(count);
  return HYS_OK;
}

int64_t hys_stepper_entries(const hys_stepper* st) { return st == nullptr ? 0 : st->entries; }

void hys_stepper_reset(hys_stepper* st) {
  if (st != nullptr) StartPath(st);
}

void hys_stepper_free(hys_stepper* st) {
  if (st == nullptr) return;
  hys_backbone* backbone = st->backbone;
  Sys::Release(st->t.EYP);
  Sys::Release(st->pairs);
  st->~hys_stepper();
  Sys::Release(st);
  hys_backbone_free(backbone);
}

int hys_stress(int32_t n, const float* ey, const float* sy, const float* strain, float* stress,
               size_t count) {
  hys_backbone* backbone = nullptr;
  const int created = hys_backbone_create(n, ey, sy, &backbone);
  if (created != HYS_OK) return created;
  hys_stepper* st = nullptr;
  int status = hys_stepper_create(backbone, &st);
  hys_backbone_free(backbone);
  if (status == HYS_OK) status = hys_stepper_feed(st, strain, stress, count);
  hys_stepper_free(st);
  return status;
}
