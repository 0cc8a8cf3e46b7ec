// The stepping of the strain history, one entry at a time. Every comparison
// is an ordered single-precision comparison: false when an operand is NaN.
#include "compute/stepping.h"

#include <xmmintrin.h>

#include <algorithm>
#include <bit>

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

// The segment reached from k on the ascending branch: k moves up while
// k < n and e > points[k + 1]. Four points per comparison where they exist;
// the comparisons are the ordered ones of the scalar loop (false for NaN).
inline int32_t AdvanceUp(const float* points, int32_t k, int32_t n, float e) {
  const __m128 e4 = _mm_set1_ps(e);
  for (; n - k >= 4; k += 4) {
    const int passed = _mm_movemask_ps(_mm_cmpgt_ps(e4, _mm_loadu_ps(points + k + 1)));
    if (passed != 0xF) return k + std::countr_one(static_cast<unsigned>(passed));
  }
  while (k < n && e > points[k + 1]) ++k;
  return k;
}

// The same on the descending branch: k moves up while e < points[k + 1].
inline int32_t AdvanceDown(const float* points, int32_t k, int32_t n, float e) {
  const __m128 e4 = _mm_set1_ps(e);
  for (; n - k >= 4; k += 4) {
    const int passed = _mm_movemask_ps(_mm_cmplt_ps(e4, _mm_loadu_ps(points + k + 1)));
    if (passed != 0xF) return k + std::countr_one(static_cast<unsigned>(passed));
  }
  while (k < n && e < points[k + 1]) ++k;
  return k;
}

// One step (see StepOnce), with the segment index kept in a register while
// it moves along the branch.
inline void Step(Tables& t, StepState& s, const float* DEF, float* SIG, int64_t g) {
  const float e = DEF[g];
  if (s.VIRGIN && StepElastic(t, s, e, &SIG[g])) return;

  const float before = DEF[g - 1];
  s.DE = e - before;
  if (s.DE < 0.0f && s.DIR == 1) {
    t.EREV = before;
    ReverseDown(t, SIG[g - 1]);
    t.K = 0;
    s.DIR = -1;
  } else if (s.DE > 0.0f && s.DIR == -1) {
    t.EREV = before;
    ReverseUp(t, SIG[g - 1]);
    t.K = 0;
    s.DIR = 1;
  }

  const int32_t n = t.N;
  int32_t k = t.K;
  if (s.DIR == 1) {
    const float* const eyp = t.EYP;
    k = AdvanceUp(eyp, k, n, e);
    t.K = k;
    SIG[g] = StressOn(t.ET, k, e, eyp, t.SYP);
  } else {
    const float* const eyn = t.EYN;
    k = AdvanceDown(eyn, k, n, e);
    t.K = k;
    SIG[g] = StressOn(t.ET, k, e, eyn, t.SYN);
  }
}

}  // namespace

void StepOnce(Tables& t, StepState& s, const float* DEF, float* SIG, int64_t g) {
  Step(t, s, DEF, SIG, g);
}

void StepHistory(Tables& t, StepState& s, const float* DEF, float* SIG, int64_t M) {
  for (int64_t g = 1; g <= M; ++g) Step(t, s, DEF, SIG, g);
}
