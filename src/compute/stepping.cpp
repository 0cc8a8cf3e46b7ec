// The stepping of the strain history, one entry at a time. Every comparison
// is an ordered single-precision comparison: false when an operand is NaN.
#include "compute/stepping.h"

#include <algorithm>

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

}  // namespace

void StepOnce(Tables& t, StepState& s, const float* DEF, float* SIG, int64_t g) {
  const float e = DEF[g];
  if (s.VIRGIN && StepElastic(t, s, e, &SIG[g])) return;

  s.DE = e - DEF[g - 1];
  if (s.DE < 0.0f && s.DIR == 1) {
    t.EREV = DEF[g - 1];
    ReverseDown(t, SIG[g - 1]);
    t.K = 0;
    s.DIR = -1;
  } else if (s.DE > 0.0f && s.DIR == -1) {
    t.EREV = DEF[g - 1];
    ReverseUp(t, SIG[g - 1]);
    t.K = 0;
    s.DIR = 1;
  }

  if (s.DIR == 1) {
    while (t.K < t.N && e > t.EYP[t.K + 1]) ++t.K;
    SIG[g] = BranchStress(t, e, t.EYP, t.SYP);
  } else {
    while (t.K < t.N && e < t.EYN[t.K + 1]) ++t.K;
    SIG[g] = BranchStress(t, e, t.EYN, t.SYN);
  }
}

void StepHistory(Tables& t, StepState& s, const float* DEF, float* SIG, int64_t M) {
  for (int64_t g = 1; g <= M; ++g) StepOnce(t, s, DEF, SIG, g);
}
