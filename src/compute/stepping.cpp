// The stepping of the strain history, one entry at a time. Every comparison
// is an ordered single-precision comparison: false when an operand is NaN.
#include "compute/stepping.h"

#include <xmmintrin.h>

#include <algorithm>
#include <bit>

#include "runtime/platform/memory.h"

namespace {

// Leaves the first elastic range when the strain passes +-EY(1). Returns true
// when the step is finished (the strain is still elastic).
bool StepElastic(Tables& t, StepState& s, float e, float* sig) {
  if (e > t.EYP[1]) {
    s.DIR = 1;
  } else if (e < t.EYN[1]) {
    s.DIR = -1;
  } else {
    *sig = t.ET[0] * e;
    return true;
  }
  s.VIRGIN = false;
  // With N = 0 the backbone has one segment: there is no segment 1.
  t.K = std::min<int32_t>(1, t.N);
  return false;
}

// The stress on segment k of a branch; the operations of BranchStress.
inline float StressOn(const float* et, int32_t k, float e, const float* strains,
                      const float* stresses) {
  const float d = e - strains[k];
  const float p = d * et[k];
  return p + stresses[k];
}

// Which points of a branch the strain e has passed: e > point on the
// ascending branch, e < point on the descending one; ordered comparisons,
// false for NaN. Scalar and four at a time (a bit per point).
template <bool kUp>
inline bool Passed(float e, float point) {
  return kUp ? e > point : e < point;
}
template <bool kUp>
inline int Passed4(__m128 e4, const float* points) {
  const __m128 p4 = _mm_loadu_ps(points);
  return _mm_movemask_ps(kUp ? _mm_cmpgt_ps(e4, p4) : _mm_cmplt_ps(e4, p4));
}

// The segment reached from k on the ascending (kUp) or descending branch: k
// moves up while k < n and e has passed points[k + 1]. Eight, then four
// points per comparison where they exist, and the first point not passed
// ends the search. The groups run freely below the first pending point of
// the branch (see PendingStrains); there the points of the next group are
// computed first. Points 0..k already are.
template <bool kUp>
inline int32_t Advance(const Tables& t, PendingStrains& p, int32_t k, int32_t n, float e) {
  const float* const points = kUp ? t.EYP : t.EYN;
  const __m128 e4 = _mm_set1_ps(e);
  for (;;) {
    const int32_t end = std::min(n, p.low - 1);  // points 0..end are computed
    for (; end - k >= 8; k += 8) {
      const int passed = Passed4<kUp>(e4, points + k + 1) | (Passed4<kUp>(e4, points + k + 5) << 4);
      if (passed != 0xFF) return k + std::countr_one(static_cast<unsigned>(passed));
    }
    for (; end - k >= 4; k += 4) {
      const int passed = Passed4<kUp>(e4, points + k + 1);
      if (passed != 0xF) return k + std::countr_one(static_cast<unsigned>(passed));
    }
    if (end == n) break;
    ComputePendingTo(t, p, kUp ? kBranchRising : kBranchFalling, std::min(k + 4, n));
  }
  while (k < n && Passed<kUp>(e, points[k + 1])) ++k;
  return k;
}

// One step (see StepOnce): the stress at strain e after the entry (before,
// sig_before), with the segment index kept in a register while it moves
// along the branch. With `lazy` set the reversals leave the strains of the
// new branch pending; `pending` is empty otherwise.
[[gnu::always_inline]] inline float Step(Tables& t, StepState& s, bool lazy, LazyBranches& pending,
                                         float e, float before, float sig_before) {
  float elastic;
  if (s.VIRGIN && StepElastic(t, s, e, &elastic)) return elastic;

  s.DE = e - before;
  if (s.DE < 0.0f && s.DIR == 1) {
    t.EREV = before;
    if (lazy) ReverseDownLazy(t, pending, sig_before);
    else ReverseDown(t, sig_before);
    t.K = 0;
    s.DIR = -1;
  } else if (s.DE > 0.0f && s.DIR == -1) {
    t.EREV = before;
    if (lazy) ReverseUpLazy(t, pending, sig_before);
    else ReverseUp(t, sig_before);
    t.K = 0;
    s.DIR = 1;
  }

  // The search starts at t.K, whose point was read by an earlier search or is
  // the reversal point 0: no pending point lies at or below it.
  const int32_t n = t.N;
  int32_t k = t.K;
  if (s.DIR == 1) {
    k = Advance<true>(t, pending.up, k, n, e);
    t.K = k;
    return StressOn(t.ET, k, e, t.EYP, t.SYP);
  }
  k = Advance<false>(t, pending.down, k, n, e);
  t.K = k;
  return StressOn(t.ET, k, e, t.EYN, t.SYN);
}

}  // namespace

void StepOnce(Tables& t, StepState& s, const float* DEF, float* SIG, int64_t g) {
  LazyBranches none;
  SIG[g] = Step(t, s, false, none, DEF[g], DEF[g - 1], SIG[g - 1]);
}

void StepPiece(Tables& t, StepState& s, LazyBranches& pending, bool lazy, float& before,
               float& sig_before, const float* def, float* sig, int64_t count) {
  float e_last = before;
  float sig_last = sig_before;
  for (int64_t i = 0; i < count; ++i) {
    const float e = def[i];
    sig_last = Step(t, s, lazy, pending, e, e_last, sig_last);
    sig[i] = sig_last;
    e_last = e;
  }
  before = e_last;
  sig_before = sig_last;
}

void StartPath(Tables& t, float* DEF, float* SIG, int64_t M) {
  if (M >= 0) {
    DEF[0] = 0.0f;
    SIG[0] = 0.0f;
  }
  t.K = 0;
  InitBranches(t);
  ComputeSlopes(t);
}

HistoryStepper::HistoryStepper(Tables& t, StepState& s, float before, float sig_before)
    : t_(t), s_(s), before_(before), sig_before_(sig_before) {
  // Storage for the pending ranges of both branches; without it the
  // reversals rebuild the branches in full, with the same results.
  const size_t pairs = static_cast<size_t>(PendingCapacity(t.N));
  storage_ = Sys::Allocate(2 * pairs * 2 * sizeof(int32_t));
  if (storage_ == nullptr) return;
  pending_.up.below = static_cast<int32_t*>(storage_);
  pending_.down.below = pending_.up.below + 2 * pairs;
  StartLazy(t, pending_);
}

HistoryStepper::~HistoryStepper() {
  if (storage_ == nullptr) return;
  CompleteBranches(t_, pending_);
  Sys::Release(storage_);
}

void StepHistory(Tables& t, StepState& s, const float* DEF, float* SIG, int64_t M) {
  if (M < 1) return;
  HistoryStepper stepper(t, s, DEF[0], SIG[0]);
  stepper.Step(DEF + 1, SIG + 1, M);
}
