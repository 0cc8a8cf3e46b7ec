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

// Cycles to failure for a loop with these amplitudes, solved to a relative
// 1e-10; +inf when the parameter gives no damage. Never NaN, never hangs.
double CyclesToFailure(const LifeMaterial& m, DamageParameterKind kind, double strain_amplitude,
                       double max_stress, double mean_stress);

// Amplitudes, parameter, cycles to failure and damage of one counted cycle.
LoopDamage AssessLoop(const LifeMaterial& m, DamageParameterKind kind, const Loop& loop);
