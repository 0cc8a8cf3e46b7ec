// Tests of the strain-life solver: the published case, the solution put
// back into the curve, the limits, and the order of lives along a sweep.
#include "fatigue/strainlife.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// The published steel: sigma'f 475.4 MPa, b -0.078, eps'f 0.612, c -0.62.
const LifeMaterial kSteel{162000.0, 475.4, -0.078, 0.612, -0.62};

// A closed loop from strain -0.0135 at -280 MPa to 0.0135 at 300 MPa:
// eps_a 0.0135, sigma_a 290, sigma_m 10, sigma_max 300.
Loop PublishedLoop(double count) {
  return Loop{PathPoint{7, -0.0135, -280.0}, PathPoint{9, 0.0135, 300.0}, 12, count};
}

TEST(StrainLife, PublishedCaseCountsCycles) {
  const LoopDamage swt = AssessLoop(kSteel, DamageParameterKind::kSwt, PublishedLoop(1.0));
  EXPECT_DOUBLE_EQ(swt.strain_amplitude, 0.0135);
  EXPECT_DOUBLE_EQ(swt.stress_amplitude, 290.0);
  EXPECT_DOUBLE_EQ(swt.mean_stress, 10.0);
  EXPECT_DOUBLE_EQ(swt.max_stress, 300.0);
  EXPECT_NEAR(swt.parameter, 810.0, 1e-9);
  EXPECT_NEAR(swt.cycles, 278.0, 0.05);
  EXPECT_DOUBLE_EQ(swt.damage, 1.0 / swt.cycles);

  const LoopDamage morrow = AssessLoop(kSteel, DamageParameterKind::kMorrow, PublishedLoop(0.5));
  EXPECT_DOUBLE_EQ(morrow.parameter, 0.0135);
  EXPECT_NEAR(morrow.cycles, 293.6, 0.05);
  EXPECT_DOUBLE_EQ(morrow.damage, 0.5 / morrow.cycles);
}

// The curve's right-hand side at N minus its left-hand side, relative.
double Residual(DamageParameterKind kind, double eps_a, double sigma_max, double sigma_m,
                double n) {
  const LifeMaterial& m = kSteel;
  const double r = 2 * n;
  switch (kind) {
    case DamageParameterKind::kSwt:
      return (m.SF * m.SF / m.E * std::pow(r, 2 * m.B) + m.SF * m.EF * std::pow(r, m.B + m.C)) /
                 (sigma_max * eps_a) -
             1;
    case DamageParameterKind::kMorrow:
      return ((m.SF - sigma_m) / m.E * std::pow(r, m.B) + m.EF * std::pow(r, m.C)) / eps_a - 1;
    case DamageParameterKind::kStrain: break;
  }
  return (m.SF / m.E * std::pow(r, m.B) + m.EF * std::pow(r, m.C)) / eps_a - 1;
}

TEST(StrainLife, SolutionsSatisfyTheCurveAndShortenWithTheAmplitude) {
  const DamageParameterKind kinds[] = {DamageParameterKind::kSwt, DamageParameterKind::kMorrow,
                                       DamageParameterKind::kStrain};
  for (DamageParameterKind kind : kinds) {
    SCOPED_TRACE(static_cast<int>(kind));
    double previous = kInf;
    for (double eps_a = 1e-5; eps_a < 3.0; eps_a *= 1.01) {
      const double sigma_m = -50.0;
      const double sigma_max = sigma_m + 162000.0 * std::min(eps_a, 0.002);
      const double n = CyclesToFailure(kSteel, kind, eps_a, sigma_max, sigma_m);
      ASSERT_FALSE(std::isnan(n)) << eps_a;
      ASSERT_LE(n, previous) << eps_a;
      previous = n;
      // The curve has a slope of at most |C| in log-log, so a relative
      // 1e-10 in N keeps the residual below 1e-10 too.
      if (n > 0.5 && std::isfinite(n)) {
        EXPECT_LT(std::fabs(Residual(kind, eps_a, sigma_max, sigma_m, n)), 1e-10) << eps_a;
      }
    }
    EXPECT_EQ(previous, 0.5);
  }
}

struct LimitCase {
  const char* name;
  DamageParameterKind kind;
  double eps_a, sigma_max, sigma_m;
  double cycles;  // expected; NaN: finite and above 0.5
};

TEST(StrainLife, LimitsGiveNoDamageOrOneReversal) {
  const double kFinite = std::numeric_limits<double>::quiet_NaN();
  const LimitCase cases[] = {
      {"zero loop", DamageParameterKind::kStrain, 0.0, 300, 10, kInf},
      {"negative amplitude", DamageParameterKind::kMorrow, -0.01, 300, 10, kInf},
      {"tiny loop", DamageParameterKind::kSwt, 1e-300, 300, 10, kInf},
      {"smallest loop", DamageParameterKind::kStrain, 4.9e-324, 300, 10, kInf},
      {"not a number", DamageParameterKind::kStrain, std::nan(""), 300, 10, kInf},
      {"huge loop", DamageParameterKind::kSwt, 10.0, 300, 10, 0.5},
      {"infinite loop", DamageParameterKind::kStrain, kInf, 300, 10, 0.5},
      {"compressive SWT", DamageParameterKind::kSwt, 0.0135, -5, -300, kInf},
      {"zero SWT", DamageParameterKind::kSwt, 0.0135, 0, -290, kInf},
      {"Morrow mean above SF", DamageParameterKind::kMorrow, 0.0135, 800, 600, kFinite},
      {"Morrow mean at SF", DamageParameterKind::kMorrow, 0.0135, 800, 475.4, kFinite},
      {"Morrow compressive mean beyond any life", DamageParameterKind::kMorrow, 0.0135, 0, -1e300,
       kInf},
  };
  for (const LimitCase& k : cases) {
    SCOPED_TRACE(k.name);
    const double n = CyclesToFailure(kSteel, k.kind, k.eps_a, k.sigma_max, k.sigma_m);
    if (std::isnan(k.cycles)) {
      EXPECT_TRUE(std::isfinite(n) && n > 0.5) << n;
    } else {
      EXPECT_EQ(n, k.cycles);
    }
  }
}

TEST(StrainLife, MorrowMeanStressOrdersLives) {
  // The plastic term alone at a mean stress at or above SF, and a negative
  // mean stress lengthens the life.
  const double tensile = CyclesToFailure(kSteel, DamageParameterKind::kMorrow, 0.0135, 0, 600);
  const double at_sf = CyclesToFailure(kSteel, DamageParameterKind::kMorrow, 0.0135, 0, 475.4);
  const double zero = CyclesToFailure(kSteel, DamageParameterKind::kMorrow, 0.0135, 0, 0);
  const double compressive = CyclesToFailure(kSteel, DamageParameterKind::kMorrow, 0.0135, 0, -200);
  EXPECT_EQ(tensile, at_sf);
  EXPECT_NEAR(0.612 * std::pow(2 * at_sf, -0.62), 0.0135, 1e-14);
  EXPECT_LT(at_sf, zero);
  EXPECT_LT(zero, compressive);
  EXPECT_EQ(zero, CyclesToFailure(kSteel, DamageParameterKind::kStrain, 0.0135, 0, 0));
}

TEST(StrainLife, MaterialFaultsNameTheConstant) {
  struct {
    LifeMaterial m;
    const char* fault;
  } cases[] = {
      {kSteel, nullptr},
      {{0, 475.4, -0.078, 0.612, -0.62}, "E"},
      {{162000, -1, -0.078, 0.612, -0.62}, "SF"},
      {{162000, 475.4, 0, 0.612, -0.62}, "B"},
      {{162000, 475.4, -0.078, std::nan(""), -0.62}, "EF"},
      {{162000, 475.4, -0.078, 0.612, 0.1}, "C"},
  };
  for (const auto& k : cases) {
    const char* fault = LifeMaterialFault(k.m);
    EXPECT_STREQ(fault, k.fault);
    // A curve that no material has gives no damage rather than a NaN.
    if (fault != nullptr) {
      EXPECT_EQ(CyclesToFailure(k.m, DamageParameterKind::kSwt, 0.01, 300, 0), kInf);
    }
  }
}

}  // namespace
