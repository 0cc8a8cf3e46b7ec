// The strain-life curve of a material and the damage of one loop: every
// curve is a sum of two powers of 2N, solved for N in log(2N).
#include "fatigue/strainlife.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// The right-hand side of a curve, exp(la1 + k1 x) + exp(la2 + k2 x) in
// x = log(2N), held by the logarithms of its coefficients (-inf for a zero
// coefficient) so that no coefficient or power overflows.
struct Curve {
  double la1, k1, la2, k2;
};

// log of the curve at x, and its slope d/dx there.
void LogCurve(const Curve& c, double x, double* value, double* slope) {
  const double l1 = c.la1 + c.k1 * x;
  const double l2 = c.la2 + c.k2 * x;
  const double top = std::max(l1, l2);
  const double w1 = std::exp(l1 - top);
  const double w2 = std::exp(l2 - top);
  *value = top + std::log(w1 + w2);
  *slope = (c.k1 * w1 + c.k2 * w2) / (w1 + w2);
}

// Cycles N where the curve equals exp(lt). The curve decreases in x, so the
// root is bracketed in [0, log(DBL_MAX)]: N = 0.5 at or beyond the curve's
// first reversal, +inf where 2N would not fit a double. log of a sum of
// exponentials is convex, so Newton's steps from the left stay left of the
// root; the bracket and a bisection guard against rounding all the same.
double SolveCycles(const Curve& c, double lt) {
  double g, slope;
  LogCurve(c, 0.0, &g, &slope);
  if (!(lt < g)) return 0.5;
  const double x_max = std::log(DBL_MAX);
  LogCurve(c, x_max, &g, &slope);
  if (lt < g) return kInf;
  double lo = 0.0, hi = x_max, x = 0.0;
  for (int i = 0; i < 200 && hi - lo > 1e-13; ++i) {
    LogCurve(c, x, &g, &slope);
    g -= lt;
    if (g > 0) {
      lo = x;
    } else if (g < 0) {
      hi = x;
    } else {
      break;
    }
    double next = slope < 0 ? x - g / slope : 0.5 * (lo + hi);
    if (!(next > lo && next < hi)) next = 0.5 * (lo + hi);
    const bool done = std::fabs(next - x) <= 1e-13 * std::max(1.0, x);
    x = next;
    if (done) break;
  }
  return 0.5 * std::exp(x);
}

bool Finite(double v) { return std::isfinite(v); }

}  // namespace

const char* LifeMaterialFault(const LifeMaterial& m) {
  if (!(Finite(m.E) && m.E > 0)) return "E";
  if (!(Finite(m.SF) && m.SF > 0)) return "SF";
  if (!(Finite(m.B) && m.B < 0)) return "B";
  if (!(Finite(m.EF) && m.EF > 0)) return "EF";
  if (!(Finite(m.C) && m.C < 0)) return "C";
  return nullptr;
}

double CyclesToFailure(const LifeMaterial& m, DamageParameterKind kind, double strain_amplitude,
                       double max_stress, double mean_stress) {
  if (LifeMaterialFault(m) != nullptr || !(strain_amplitude > 0)) return kInf;
  const double log_e = std::log(m.E), log_sf = std::log(m.SF), log_ef = std::log(m.EF);
  switch (kind) {
    case DamageParameterKind::kSwt: {
      if (!(max_stress > 0)) return kInf;
      const Curve c{2 * log_sf - log_e, 2 * m.B, log_sf + log_ef, m.B + m.C};
      return SolveCycles(c, std::log(max_stress) + std::log(strain_amplitude));
    }
    case DamageParameterKind::kMorrow: {
      // A mean stress at or above SF leaves no elastic term: the plastic
      // term alone carries the loop (a NaN mean stress counts the same).
      const double elastic = mean_stress < m.SF ? m.SF - mean_stress : 0.0;
      const Curve c{std::log(elastic) - log_e, m.B, log_ef, m.C};
      return SolveCycles(c, std::log(strain_amplitude));
    }
    case DamageParameterKind::kStrain:
      break;
  }
  const Curve c{log_sf - log_e, m.B, log_ef, m.C};
  return SolveCycles(c, std::log(strain_amplitude));
}

LoopDamage AssessLoop(const LifeMaterial& m, DamageParameterKind kind, const Loop& loop) {
  LoopDamage d;
  const double eps_max = std::max(loop.b.strain, loop.c.strain);
  const double eps_min = std::min(loop.b.strain, loop.c.strain);
  const double sig_max = std::max(loop.b.stress, loop.c.stress);
  const double sig_min = std::min(loop.b.stress, loop.c.stress);
  d.strain_amplitude = (eps_max - eps_min) / 2;
  d.stress_amplitude = (sig_max - sig_min) / 2;
  d.mean_stress = (sig_max + sig_min) / 2;
  d.max_stress = sig_max;
  if (kind == DamageParameterKind::kSwt) {
    const double product = sig_max * d.strain_amplitude * m.E;
    d.parameter = product > 0 ? std::sqrt(product) : 0.0;
  } else {
    d.parameter = d.strain_amplitude;
  }
  d.cycles = CyclesToFailure(m, kind, d.strain_amplitude, d.max_stress, d.mean_stress);
  d.damage = loop.count / d.cycles;
  return d;
}
