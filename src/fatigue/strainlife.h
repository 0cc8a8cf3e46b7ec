// The strain-life curve of a material and the damage of one loop: damage
// parameters, cycles to failure and the Palmgren-Miner damage.
#pragma once
#include "fatigue/loops.h"

// Material constants of the strain-life curve
//   eps_a = SF / E * (2N)^B + EF * (2N)^C.
struct LifeMaterial {
  double E = 0.0;   // Young's modulus
  double SF = 0.0;  // fatigue strength coefficient
  double B = 0.0;   // fatigue strength exponent
  double EF = 0.0;  // fatigue ductility coefficient
  double C = 0.0;   // fatigue ductility exponent
};

enum class DamageParameterKind {
  kSwt,     // Smith-Watson-Topper, P = sqrt(sigma_max * eps_a * E)
  kMorrow,  // mean-stress correction of the elastic term
  kStrain,  // strain amplitude, no mean-stress correction
};

// What one loop does to the material.
struct LoopDamage {
  double strain_amplitude = 0.0;  // (eps_max - eps_min) / 2
  double stress_amplitude = 0.0;  // (sigma_max - sigma_min) / 2
  double mean_stress = 0.0;       // (sigma_max + sigma_min) / 2
  double max_stress = 0.0;        // sigma_max
  double parameter = 0.0;         // the damage parameter's value
  double cycles = 0.0;            // cycles to failure N; +inf when no damage
  double damage = 0.0;            // count / N
};

// The name of the first constant ("E", "SF", "B", "EF", "C") that no real
// curve has, or nullptr when all are usable: E, SF and EF finite and
// positive, B and C finite and negative.
const char* LifeMaterialFault(const LifeMaterial& m);

// Cycles to failure for a loop with these amplitudes, solved to a relative
// 1e-10; +inf when the parameter gives no damage. Never NaN, never hangs.
//   no damage (+inf): a strain amplitude that is not positive (a zero loop),
//     sigma_max <= 0 for kSwt, a material that LifeMaterialFault rejects, and
//     a loop so small that 2N would exceed the largest double;
//   0.5 (one reversal): a loop at or beyond the curve's end at 2N = 1;
//   kMorrow with mean_stress >= SF: the elastic term vanishes and the
//     plastic term alone gives N. A negative mean stress lengthens the life.
// Only strain_amplitude is read by kStrain, mean_stress only by kMorrow,
// max_stress only by kSwt.
double CyclesToFailure(const LifeMaterial& m, DamageParameterKind kind, double strain_amplitude,
                       double max_stress, double mean_stress);

// Amplitudes, parameter, cycles to failure and damage of one counted cycle.
// sigma_max and sigma_min are the larger and the smaller stress of B and C;
// the SWT parameter is 0 where sigma_max <= 0.
LoopDamage AssessLoop(const LifeMaterial& m, DamageParameterKind kind, const Loop& loop);

// A material's curve for one damage parameter, prepared once for the many
// loops of a path: the logarithms of its constants and the curve's values at
// its ends. The same results as the functions above, with less work a loop.
struct LifeCurve {
  LifeMaterial material;
  DamageParameterKind kind = DamageParameterKind::kSwt;
  bool usable = false;  // LifeMaterialFault found nothing
  double log_e = 0.0, log_sf = 0.0, log_ef = 0.0;
  double la1 = 0.0, k1 = 0.0, la2 = 0.0, k2 = 0.0;  // the two terms (not for kMorrow)
  double at_first = 0.0, at_last = 0.0;             // log of the curve at 2N = 1 and 2N = DBL_MAX
};

LifeCurve PrepareLifeCurve(const LifeMaterial& m, DamageParameterKind kind);
double CyclesToFailure(const LifeCurve& curve, double strain_amplitude, double max_stress,
                       double mean_stress);
LoopDamage AssessLoop(const LifeCurve& curve, const Loop& loop);
