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
  // The larger term factored out: one exponential of the smaller's ratio.
  const bool first_larger = l1 >= l2;
  const double top = first_larger ? l1 : l2;
  const double w = std::exp(first_larger ? l2 - l1 : l1 - l2);
  const double k_top = first_larger ? c.k1 : c.k2;
  const double k_other = first_larger ? c.k2 : c.k1;
  *value = top + std::log1p(w);
  *slope = (k_top + k_other * w) / (1 + w);
}

// The curve's log at the first reversal (x = 0) and where 2N = DBL_MAX.
void CurveEnds(const Curve& c, double* first, double* last) {
  double slope;
  LogCurve(c, 0.0, first, &slope);
  LogCurve(c, std::log(DBL_MAX), last, &slope);
}

// Cycles N where the curve equals exp(lt), given the curve's log at its ends.
// The curve decreases in x, so the root is bracketed in [0, log(DBL_MAX)]:
// N = 0.5 at or beyond the curve's first reversal, +inf where 2N would not
// fit a double. Each term alone reaches exp(lt) before the sum does, so the
// root lies right of both single-term roots; log of a sum of exponentials is
// convex, so Newton's steps from there stay left of the root and take a few
// steps. The bracket and a bisection guard against rounding all the same.
double SolveCycles(const Curve& c, double lt, double at_first, double at_last) {
  if (!(lt < at_first)) return 0.5;
  const double x_max = std::log(DBL_MAX);
  if (lt < at_last) return kInf;
  double lo = 0.0, hi = x_max;
  double x = std::max((lt - c.la1) / c.k1, (lt - c.la2) / c.k2);
  if (!(x > lo && x < hi)) x = 0.0;
  double g, slope;
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

double SolveCycles(const Curve& c, double lt) {
  double first, last;
  CurveEnds(c, &first, &last);
  return SolveCycles(c, lt, first, last);
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

LifeCurve PrepareLifeCurve(const LifeMaterial& m, DamageParameterKind kind) {
  LifeCurve c;
  c.material = m;
  c.kind = kind;
  c.usable = LifeMaterialFault(m) == nullptr;
  if (!c.usable) return c;
  c.log_e = std::log(m.E);
  c.log_sf = std::log(m.SF);
  c.log_ef = std::log(m.EF);
  Curve terms{c.log_sf - c.log_e, m.B, c.log_ef, m.C};  // strain
  if (kind == DamageParameterKind::kSwt) {
    terms = Curve{2 * c.log_sf - c.log_e, 2 * m.B, c.log_sf + c.log_ef, m.B + m.C};
  }
  c.la1 = terms.la1;
  c.k1 = terms.k1;
  c.la2 = terms.la2;
  c.k2 = terms.k2;
  CurveEnds(terms, &c.at_first, &c.at_last);
  return c;
}

double CyclesToFailure(const LifeCurve& curve, double strain_amplitude, double max_stress,
                       double mean_stress) {
  if (!curve.usable || !(strain_amplitude > 0)) return kInf;
  const Curve terms{curve.la1, curve.k1, curve.la2, curve.k2};
  switch (curve.kind) {
    case DamageParameterKind::kSwt: {
      if (!(max_stress > 0)) return kInf;
      // One logarithm of the product where it is a normal number.
      const double product = max_stress * strain_amplitude;
      const double lt = std::isnormal(product) && std::isfinite(product)
                            ? std::log(product)
                            : std::log(max_stress) + std::log(strain_amplitude);
      return SolveCycles(terms, lt, curve.at_first, curve.at_last);
    }
    case DamageParameterKind::kMorrow: {
      // A mean stress at or above SF leaves no elastic term: the plastic
      // term alone carries the loop (a NaN mean stress counts the same).
      const LifeMaterial& m = curve.material;
      const double elastic = mean_stress < m.SF ? m.SF - mean_stress : 0.0;
      const Curve c{std::log(elastic) - curve.log_e, m.B, curve.log_ef, m.C};
      return SolveCycles(c, std::log(strain_amplitude));
    }
    case DamageParameterKind::kStrain: break;
  }
  return SolveCycles(terms, std::log(strain_amplitude), curve.at_first, curve.at_last);
}

double CyclesToFailure(const LifeMaterial& m, DamageParameterKind kind, double strain_amplitude,
                       double max_stress, double mean_stress) {
  return CyclesToFailure(PrepareLifeCurve(m, kind), strain_amplitude, max_stress, mean_stress);
}

LoopDamage AssessLoop(const LifeMaterial& m, DamageParameterKind kind, const Loop& loop) {
  return AssessLoop(PrepareLifeCurve(m, kind), loop);
}

LoopDamage AssessLoop(const LifeCurve& curve, const Loop& loop) {
  const LifeMaterial& m = curve.material;
  const DamageParameterKind kind = curve.kind;
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
  d.cycles = CyclesToFailure(curve, d.strain_amplitude, d.max_stress, d.mean_stress);
  d.damage = loop.count / d.cycles;
  return d;
}
