// Backbone and branch tables: initial copies, slopes and reversal rebuilds,
// every value in IEEE single precision.
#include "compute/tables.h"

#include <emmintrin.h>
#include <xmmintrin.h>

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

// The steps of points 1..k of a rebuilt branch, stored in strains[1..k]:
// (stresses[i+1] - stresses[i]) / ET[i], or across a zero slope the plateau
// step of `role`. Four lanes at a time; each lane is the same single
// precision operations as the element-by-element loop, and a zero slope
// divides nothing (its lane divides by one and is then replaced). From four
// steps on, the last group overlaps the one before it and stores the same
// values again, so no element-by-element tail is needed.
void BranchSteps(const Tables& t, const float* stresses, float* strains, BranchRole role,
                 int32_t k) {
  const float* const et = t.ET;
  const float* const ey = t.EY;
  const float sign = static_cast<float>(role);
  if (k < 4) {
    for (int32_t i = 0; i < k; ++i) {
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
  const __m128 zero = _mm_setzero_ps();
  const __m128 one = _mm_set1_ps(1.0f);
  auto group = [&](int32_t i) {
    const __m128 slope = _mm_loadu_ps(et + i);
    const __m128 flat = _mm_cmpeq_ps(slope, zero);
    const __m128 rise = _mm_sub_ps(_mm_loadu_ps(stresses + i + 1), _mm_loadu_ps(stresses + i));
    __m128 step = _mm_div_ps(rise, _mm_or_ps(_mm_andnot_ps(flat, slope), _mm_and_ps(flat, one)));
    if (_mm_movemask_ps(flat) != 0) {
      __m128 plateau = zero;
      if (role != kBranchCollapsing) {
        const __m128 width = _mm_sub_ps(_mm_loadu_ps(ey + i + 1), _mm_loadu_ps(ey + i));
        plateau = _mm_mul_ps(_mm_set1_ps(sign), _mm_mul_ps(width, _mm_set1_ps(2.0f)));
      }
      step = _mm_or_ps(_mm_andnot_ps(flat, step), _mm_and_ps(flat, plateau));
    }
    _mm_storeu_ps(strains + i + 1, step);
  };
  for (int32_t i = 0; i + 4 < k; i += 4) group(i);
  group(k - 4);
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
  if (role == kBranchCollapsing && KeptByZeroSteps(t.EREV) &&
      CollapseFlat(t, stresses, strains, k))
    return;
  BranchSteps(t, stresses, strains, role, k);
  // The points are the running sums of the steps, in order.
  float point = strains[0];
  for (int32_t i = 1; i <= k; ++i) {
    point = point + strains[i];
    strains[i] = point;
  }
}

void ReverseDown(Tables& t, float sr) {
  const int32_t count = t.K + 1;
  const __m128 sr4 = _mm_set1_ps(sr);
  const __m128 two = _mm_set1_ps(2.0f);
  if (count < 4) {
    for (int32_t j = 0; j < count; ++j) {
      t.SYP[j] = sr;
      t.SYN[j] = sr - t.SY[j] * 2.0f;
    }
  } else {
    // Groups of four points; the last one may overlap the one before.
    auto group = [&](int32_t j) {
      _mm_storeu_ps(t.SYP + j, sr4);
      _mm_storeu_ps(t.SYN + j, _mm_sub_ps(sr4, _mm_mul_ps(_mm_loadu_ps(t.SY + j), two)));
    };
    for (int32_t j = 0; j + 4 < count; j += 4) group(j);
    group(count - 4);
  }
  RebuildStrains(t, t.SYP, t.EYP, kBranchCollapsing);
  RebuildStrains(t, t.SYN, t.EYN, kBranchFalling);
}

void ReverseUp(Tables& t, float sr) {
  const int32_t count = t.K + 1;
  const __m128 sr4 = _mm_set1_ps(sr);
  const __m128 two = _mm_set1_ps(2.0f);
  if (count < 4) {
    for (int32_t j = 0; j < count; ++j) {
      t.SYN[j] = sr;
      t.SYP[j] = t.SY[j] * 2.0f + sr;
    }
  } else {
    // Groups of four points; the last one may overlap the one before.
    auto group = [&](int32_t j) {
      _mm_storeu_ps(t.SYN + j, sr4);
      _mm_storeu_ps(t.SYP + j, _mm_add_ps(_mm_mul_ps(_mm_loadu_ps(t.SY + j), two), sr4));
    };
    for (int32_t j = 0; j + 4 < count; j += 4) group(j);
    group(count - 4);
  }
  RebuildStrains(t, t.SYP, t.EYP, kBranchRising);
  RebuildStrains(t, t.SYN, t.EYN, kBranchCollapsing);
}
