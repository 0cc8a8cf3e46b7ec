// Backbone and branch tables: initial copies, slopes and reversal rebuilds,
// every value in IEEE single precision.
#include "compute/tables.h"

#include <xmmintrin.h>

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

void RebuildStrains(Tables& t, const float* stresses, float* strains, BranchRole role) {
  strains[0] = t.EREV;
  for (int32_t i = 0; i < t.K; ++i) {
    float step;
    if (t.ET[i] == 0.0f) {
      // A yield plateau: the stress steps are zero on both branches, so the
      // step follows the backbone's strain step, doubled on the new branch.
      const float width = t.EY[i + 1] - t.EY[i];
      step = role == kBranchCollapsing ? 0.0f : static_cast<float>(role) * (width * 2.0f);
    } else {
      step = (stresses[i + 1] - stresses[i]) / t.ET[i];
    }
    strains[i + 1] = strains[i] + step;
  }
}

void ReverseDown(Tables& t, float sr) {
  for (int32_t j = 0; j <= t.K; ++j) {
    t.SYP[j] = sr;
    t.SYN[j] = sr - t.SY[j] * 2.0f;
  }
  RebuildStrains(t, t.SYP, t.EYP, kBranchCollapsing);
  RebuildStrains(t, t.SYN, t.EYN, kBranchFalling);
}

void ReverseUp(Tables& t, float sr) {
  for (int32_t j = 0; j <= t.K; ++j) {
    t.SYN[j] = sr;
    t.SYP[j] = t.SY[j] * 2.0f + sr;
  }
  RebuildStrains(t, t.SYP, t.EYP, kBranchRising);
  RebuildStrains(t, t.SYN, t.EYN, kBranchCollapsing);
}
