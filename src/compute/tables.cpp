// Backbone and branch tables: initial copies, slopes and reversal rebuilds,
// every value in IEEE single precision.
#include "compute/tables.h"

#include <emmintrin.h>
#include <xmmintrin.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

void InitBranches(Tables& t) {
  const int64_t count = static_cast<int64_t>(t.N) + 2;
  // The negation is the subtraction 0 - x so that a zero point stays +0.
  for (int64_t j = 0; j < count; ++j) {
    t.EYP[j] = t.EY[j];
    t.EYN[j] = 0.0f - t.EY[j];
  }
  for (int64_t j = 0; j < count; ++j) {
    t.SYP[j] = t.SY[j];
    t.SYN[j] = 0.0f - t.SY[j];
  }
}

namespace {

// Four slopes from the reciprocal estimate r of the strain steps, refined by
// one Newton-Raphson step r' = 2r - (d * r) * r; each operation is a single
// precision operation of its own.
inline __m128 RefinedQuotient4(__m128 num, __m128 den) {
  __m128 r = _mm_rcp_ps(den);
  __m128 two_r = _mm_add_ps(r, r);
  __m128 refined = _mm_sub_ps(two_r, _mm_mul_ps(_mm_mul_ps(den, r), r));
  return _mm_mul_ps(num, refined);
}

}  // namespace

void ComputeSlopes(Tables& t) {
  if (t.N < 0) return;
  const int64_t count = static_cast<int64_t>(t.N) + 1;
  const int64_t vector_end = count - count % 8;
  int64_t i = 0;
  for (; i < vector_end; i += 8) {
    for (int64_t h = i; h < i + 8; h += 4) {
      __m128 sy0 = _mm_loadu_ps(t.SY + h);
      __m128 sy1 = _mm_loadu_ps(t.SY + h + 1);
      __m128 ey0 = _mm_loadu_ps(t.EY + h);
      __m128 ey1 = _mm_loadu_ps(t.EY + h + 1);
      _mm_storeu_ps(t.ET + h, RefinedQuotient4(_mm_sub_ps(sy1, sy0), _mm_sub_ps(ey1, ey0)));
    }
  }
  for (; i < count; ++i) t.ET[i] = (t.SY[i + 1] - t.SY[i]) / (t.EY[i + 1] - t.EY[i]);
}

float BranchStress(const Tables& t, float e, const float* strains, const float* stresses) {
  const float d = e - strains[t.K];
  const float p = d * t.ET[t.K];
  return p + stresses[t.K];
}

namespace {

// The steps of segments i..i+3 of a rebuilt branch from their stress steps
// `rise`: rise / ET, or across a zero slope the plateau step of `role`. Each
// lane is the same single precision operations as the element-by-element
// rule of BranchSteps, and a zero slope divides nothing (its lane divides by
// one and is then replaced).
inline __m128 StepGroup(const Tables& t, int32_t i, __m128 rise, BranchRole role) {
  const __m128 zero = _mm_setzero_ps();
  const __m128 slope = _mm_loadu_ps(t.ET + i);
  const __m128 flat = _mm_cmpeq_ps(slope, zero);
  const __m128 divisor = _mm_or_ps(_mm_andnot_ps(flat, slope), _mm_and_ps(flat, _mm_set1_ps(1.0f)));
  const __m128 step = _mm_div_ps(rise, divisor);
  if (_mm_movemask_ps(flat) == 0) return step;
  __m128 plateau = zero;
  if (role != kBranchCollapsing) {
    const __m128 width = _mm_sub_ps(_mm_loadu_ps(t.EY + i + 1), _mm_loadu_ps(t.EY + i));
    plateau =
        _mm_mul_ps(_mm_set1_ps(static_cast<float>(role)), _mm_mul_ps(width, _mm_set1_ps(2.0f)));
  }
  return _mm_or_ps(_mm_andnot_ps(flat, step), _mm_and_ps(flat, plateau));
}

// The steps of points from+1..to of a rebuilt branch, stored in
// strains[from+1..to]: (stresses[i+1] - stresses[i]) / ET[i], or across a
// zero slope the plateau step of `role`. Four lanes at a time (StepGroup).
// From four steps on, the last group overlaps the one before it and stores
// the same values again, so no element-by-element tail is needed.
void BranchSteps(const Tables& t, const float* stresses, float* strains, BranchRole role,
                 int32_t from, int32_t to) {
  const float* const et = t.ET;
  const float* const ey = t.EY;
  const float sign = static_cast<float>(role);
  if (to - from < 4) {
    for (int32_t i = from; i < to; ++i) {
      float step;
      if (et[i] == 0.0f) {
        // A yield plateau: the stress steps are zero on both branches, so the
        // step follows the backbone's strain step, doubled on the new branch.
        const float width = ey[i + 1] - ey[i];
        step = role == kBranchCollapsing ? 0.0f : sign * (width * 2.0f);
      } else {
        step = (stresses[i + 1] - stresses[i]) / et[i];
      }
      strains[i + 1] = step;
    }
    return;
  }
  auto group = [&](int32_t i) {
    const __m128 rise = _mm_sub_ps(_mm_loadu_ps(stresses + i + 1), _mm_loadu_ps(stresses + i));
    _mm_storeu_ps(strains + i + 1, StepGroup(t, i, rise, role));
  };
  for (int32_t i = from; i + 4 < to; i += 4) group(i);
  group(to - 4);
}

// Points first..to of a rebuilt branch from the steps they hold: the running
// sums strains[i] = strains[i - 1] + strains[i], strictly in order.
void SumSteps(float* strains, int32_t first, int32_t to) {
  float point = strains[first - 1];
  for (int32_t i = first; i <= to; ++i) {
    point = point + strains[i];
    strains[i] = point;
  }
}

// True when x + 0 and x + (-0) both give x exactly in every floating-point
// mode of the program: +0, a normal number or an infinity (not -0, whose sum
// with +0 is +0; not a subnormal, which denormals-are-zero would read as 0;
// not a NaN, whose bits an addition may change).
bool KeptByZeroSteps(float x) {
  const uint32_t bits = std::bit_cast<uint32_t>(x);
  const uint32_t magnitude = bits & 0x7FFFFFFFu;
  return bits == 0 || (magnitude >= 0x00800000u && magnitude <= 0x7F800000u);
}

// A collapsing branch whose stresses are all equal has steps of +0 or -0
// only: a zero stress step over a slope that is not NaN (a zero slope gives
// the plateau step 0). When that holds for every segment below k and the
// reversal strain is kept by such steps, every point is the reversal strain.
// Returns false (nothing written) when it does not hold.
bool CollapseFlat(const Tables& t, const float* stresses, float* strains, int32_t k) {
  const float* const et = t.ET;
  if (k < 4) {
    for (int32_t i = 0; i < k; ++i) {
      const float rise = stresses[i + 1] - stresses[i];
      if ((std::bit_cast<uint32_t>(rise) & 0x7FFFFFFFu) != 0 || std::isnan(et[i])) return false;
    }
    for (int32_t i = 1; i <= k; ++i) strains[i] = strains[0];
    return true;
  }
  // Groups of four segments; the last one may overlap the one before.
  const __m128i magnitude = _mm_set1_epi32(0x7FFFFFFF);
  __m128i any = _mm_setzero_si128();
  auto group = [&](int32_t i) {
    const __m128 slope = _mm_loadu_ps(et + i);
    const __m128 rise = _mm_sub_ps(_mm_loadu_ps(stresses + i + 1), _mm_loadu_ps(stresses + i));
    any = _mm_or_si128(any, _mm_and_si128(_mm_castps_si128(rise), magnitude));
    any = _mm_or_si128(any, _mm_castps_si128(_mm_cmpunord_ps(slope, slope)));
  };
  for (int32_t i = 0; i + 4 < k; i += 4) group(i);
  group(k - 4);
  if (_mm_movemask_epi8(_mm_cmpeq_epi32(any, _mm_setzero_si128())) != 0xFFFF) return false;
  const __m128 point = _mm_set1_ps(strains[0]);
  for (int32_t i = 1; i + 4 < k + 1; i += 4) _mm_storeu_ps(strains + i, point);
  _mm_storeu_ps(strains + k - 3, point);
  return true;
}

}  // namespace

void RebuildStrains(Tables& t, const float* stresses, float* strains, BranchRole role) {
  const int32_t k = t.K;
  strains[0] = t.EREV;
  if (k <= 0) return;
  if (role == kBranchCollapsing && KeptByZeroSteps(t.EREV) && CollapseFlat(t, stresses, strains, k))
    return;
  BranchSteps(t, stresses, strains, role, 0, k);
  SumSteps(strains, 1, k);
}

namespace {

// The stresses of a reversal over points 0..K: the branch that the strain
// leaves (the ascending one for a reversal down, kDown) collapses onto sr,
// the other one is the doubled backbone from sr, sr - 2 SY down and
// 2 SY + sr up. With `flat` set (a flat collapse, see CollapseFlat) the
// strains of the collapsing branch are all EREV and are written in the same
// pass.
template <bool kDown>
void FillReversal(Tables& t, float sr, bool flat) {
  const int32_t count = t.K + 1;
  const float erev = t.EREV;
  float* const still_stresses = kDown ? t.SYP : t.SYN;
  float* const still_strains = kDown ? t.EYP : t.EYN;
  float* const fresh_stresses = kDown ? t.SYN : t.SYP;
  if (count < 4) {
    for (int32_t j = 0; j < count; ++j) {
      still_stresses[j] = sr;
      fresh_stresses[j] = kDown ? sr - t.SY[j] * 2.0f : t.SY[j] * 2.0f + sr;
      if (flat) still_strains[j] = erev;
    }
    return;
  }
  const __m128 sr4 = _mm_set1_ps(sr);
  const __m128 two = _mm_set1_ps(2.0f);
  const __m128 erev4 = _mm_set1_ps(erev);
  // Groups of four points; the last one may overlap the one before.
  auto group = [&](int32_t j) {
    const __m128 doubled = _mm_mul_ps(_mm_loadu_ps(t.SY + j), two);
    _mm_storeu_ps(still_stresses + j, sr4);
    _mm_storeu_ps(fresh_stresses + j, kDown ? _mm_sub_ps(sr4, doubled) : _mm_add_ps(doubled, sr4));
    if (flat) _mm_storeu_ps(still_strains + j, erev4);
  };
  for (int32_t j = 0; j + 4 < count; j += 4) group(j);
  group(count - 4);
}

// The rebuild of a lazy reversal at stress sr over points 0..K (kDown for a
// reversal down), in one pass of four points: the stresses of both branches,
// the strains of the collapsing branch when kFlat (all EREV), and the steps
// of points 1..K of the new branch, left in its strains for the pending
// running sums. The new stresses of a step are computed again from SY rather
// than read back: the same operations, the same bits. Without kPlateaus no
// slope of the backbone is zero and the steps are plain divisions. Group j
// writes the points j..j+3 and the steps of segments j..j+3; the last point
// group is K-3 and the last step group K-4, each overlapping the one before
// (K >= 4).
template <bool kDown, bool kFlat, bool kPlateaus>
void FillLazyGroups(Tables& t, float sr) {
  const int32_t k = t.K;
  float* const fresh_stresses = kDown ? t.SYN : t.SYP;
  float* const fresh_strains = kDown ? t.EYN : t.EYP;
  float* const still_stresses = kDown ? t.SYP : t.SYN;
  float* const still_strains = kDown ? t.EYP : t.EYN;
  const float* const sy = t.SY;
  const float* const et = t.ET;
  const __m128 sr4 = _mm_set1_ps(sr);
  const __m128 two = _mm_set1_ps(2.0f);
  const __m128 erev4 = _mm_set1_ps(t.EREV);
  auto fresh = [&](int32_t j) {
    const __m128 doubled = _mm_mul_ps(_mm_loadu_ps(sy + j), two);
    return kDown ? _mm_sub_ps(sr4, doubled) : _mm_add_ps(doubled, sr4);
  };
  auto points = [&](int32_t j, __m128 stresses) {
    _mm_storeu_ps(still_stresses + j, sr4);
    _mm_storeu_ps(fresh_stresses + j, stresses);
    if (kFlat) _mm_storeu_ps(still_strains + j, erev4);
  };
  auto steps = [&](int32_t i, __m128 stresses) {
    const __m128 rise = _mm_sub_ps(fresh(i + 1), stresses);
    const __m128 step = kPlateaus ? StepGroup(t, i, rise, kDown ? kBranchFalling : kBranchRising)
                                  : _mm_div_ps(rise, _mm_loadu_ps(et + i));
    _mm_storeu_ps(fresh_strains + i + 1, step);
  };
  for (int32_t j = 0; j + 4 < k + 1; j += 4) {
    const __m128 stresses = fresh(j);
    points(j, stresses);
    steps(j, stresses);
  }
  points(k - 3, fresh(k - 3));
  steps(k - 4, fresh(k - 4));
}

// FillLazyGroups for any K, `down`, `flat` and `plateaus`.
void FillLazy(Tables& t, float sr, bool down, bool flat, bool plateaus) {
  if (t.K < 4) {
    if (down) FillReversal<true>(t, sr, flat);
    else FillReversal<false>(t, sr, flat);
    if (down) BranchSteps(t, t.SYN, t.EYN, kBranchFalling, 0, t.K);
    else BranchSteps(t, t.SYP, t.EYP, kBranchRising, 0, t.K);
    return;
  }
  using Fill = void (*)(Tables&, float);
  static constexpr Fill kFills[8] = {
      FillLazyGroups<false, false, false>, FillLazyGroups<false, false, true>,
      FillLazyGroups<false, true, false>,  FillLazyGroups<false, true, true>,
      FillLazyGroups<true, false, false>,  FillLazyGroups<true, false, true>,
      FillLazyGroups<true, true, false>,   FillLazyGroups<true, true, true>};
  kFills[(down ? 4 : 0) + (flat ? 2 : 0) + (plateaus ? 1 : 0)](t, sr);
}

// True when the collapsing branch of a reversal at stress sr over 0..K is
// flat (CollapseFlat would hold): its stresses are all sr, so every stress
// step is sr - sr, zero unless sr is infinite or NaN; no slope below K is NaN
// (segment `nan_slope` is the first NaN one); and EREV is kept by zero steps.
bool FlatCollapse(const Tables& t, float sr, int32_t nan_slope) {
  const float rise = sr - sr;
  return (std::bit_cast<uint32_t>(rise) & 0x7FFFFFFFu) == 0 && t.K <= nan_slope &&
         KeptByZeroSteps(t.EREV);
}

}  // namespace

void ReverseDown(Tables& t, float sr) {
  FillReversal<true>(t, sr, false);
  RebuildStrains(t, t.SYP, t.EYP, kBranchCollapsing);
  RebuildStrains(t, t.SYN, t.EYN, kBranchFalling);
}

void ReverseUp(Tables& t, float sr) {
  FillReversal<false>(t, sr, false);
  RebuildStrains(t, t.SYP, t.EYP, kBranchRising);
  RebuildStrains(t, t.SYN, t.EYN, kBranchCollapsing);
}

namespace {

// Pending points are computed at least this many at a time, and so many
// points of a new branch right at its reversal: a search reads four points
// per group, and calls that compute a few points each cost more than the
// sums they save.
constexpr int32_t kMinPendingRun = 24;

// The strains of the branch whose new-branch role is `role`.
float* StrainsOf(const Tables& t, BranchRole role) { return role == kBranchRising ? t.EYP : t.EYN; }

// Makes the next range of the stack the top range (none when it is empty).
void PopRange(PendingStrains& p) {
  if (p.count == 0) {
    p.low = INT32_MAX;
    return;
  }
  --p.count;
  p.low = p.below[2 * p.count];
  p.high = p.below[2 * p.count + 1];
}

// Makes first..last, below every other range, the top range.
void PushRange(PendingStrains& p, int32_t first, int32_t last) {
  if (p.low != INT32_MAX) {
    p.below[2 * p.count] = p.low;
    p.below[2 * p.count + 1] = p.high;
    ++p.count;
  }
  p.low = first;
  p.high = last;
}

// Computes the pending points first..to of the top range (to at most its
// last point) from the steps they hold and takes them off the range.
void ComputeTopTo(const Tables& t, PendingStrains& p, BranchRole role, int32_t to) {
  SumSteps(StrainsOf(t, role), p.low, to);
  if (to == p.high) {
    PopRange(p);
  } else {
    p.low = to + 1;
  }
}

// Before a rebuild over 0..k: computes the range holding point k + 1 up to
// it, from the steps it holds, and drops the ranges within 1..k.
void SettleBeforeRebuild(const Tables& t, PendingStrains& p, BranchRole role, int32_t k) {
  while (p.low <= k + 1) {
    if (p.high > k) {
      ComputeTopTo(t, p, role, k + 1);
      return;
    }
    PopRange(p);
  }
}

// The new branch of a reversal over 0..k holds the steps of points 1..k: a
// search nearly always reads the first points, so the first kMinPendingRun
// are computed now and the rest is left pending.
void LeavePending(float* strains, PendingStrains& p, int32_t k) {
  if (k <= kMinPendingRun) {
    SumSteps(strains, 1, k);
    return;
  }
  SumSteps(strains, 1, kMinPendingRun);
  PushRange(p, kMinPendingRun + 1, k);
}

}  // namespace

int32_t PendingCapacity(int32_t n) { return n / 2 + 2; }

void StartLazy(const Tables& t, LazyBranches& lazy) {
  int32_t i = 0;
  while (i <= t.N && !std::isnan(t.ET[i])) ++i;
  lazy.nan_slope = i;
  lazy.plateaus = false;
  for (int32_t j = 0; j <= t.N; ++j) lazy.plateaus = lazy.plateaus || t.ET[j] == 0.0f;
}

namespace {

// A lazy reversal down (`down`) or up: both branches settled below K + 1,
// the stresses, the collapse and the steps filled, the first points of the
// new branch summed and the rest left pending.
void ReverseLazy(Tables& t, LazyBranches& lazy, float sr, bool down) {
  const int32_t k = t.K;
  SettleBeforeRebuild(t, lazy.up, kBranchRising, k);
  SettleBeforeRebuild(t, lazy.down, kBranchFalling, k);
  const bool flat = FlatCollapse(t, sr, lazy.nan_slope);
  FillLazy(t, sr, down, flat, lazy.plateaus);
  float* const fresh = down ? t.EYN : t.EYP;
  if (!flat) {
    if (down) RebuildStrains(t, t.SYP, t.EYP, kBranchCollapsing);
    else RebuildStrains(t, t.SYN, t.EYN, kBranchCollapsing);
  }
  fresh[0] = t.EREV;
  LeavePending(fresh, down ? lazy.down : lazy.up, k);
}

}  // namespace

void ReverseDownLazy(Tables& t, LazyBranches& lazy, float sr) { ReverseLazy(t, lazy, sr, true); }

void ReverseUpLazy(Tables& t, LazyBranches& lazy, float sr) { ReverseLazy(t, lazy, sr, false); }

void ComputePendingTo(const Tables& t, PendingStrains& p, BranchRole role, int32_t j) {
  while (p.low <= j) {
    const int32_t want = std::max(j, p.low + kMinPendingRun - 1);
    ComputeTopTo(t, p, role, std::min(want, p.high));
  }
}

void CompleteBranches(const Tables& t, LazyBranches& lazy) {
  while (lazy.up.low != INT32_MAX) ComputeTopTo(t, lazy.up, kBranchRising, lazy.up.high);
  while (lazy.down.low != INT32_MAX) ComputeTopTo(t, lazy.down, kBranchFalling, lazy.down.high);
}
