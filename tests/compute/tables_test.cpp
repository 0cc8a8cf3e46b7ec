// Tests of the backbone and branch tables: initial copies, slopes, rebuilds.
#include "compute/tables.h"

#include <gtest/gtest.h>
#include <xmmintrin.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "support/backbone.h"

namespace {

uint32_t Bits(float f) {
  uint32_t b;
  std::memcpy(&b, &f, 4);
  return b;
}

// Owns the storage of a Tables record for a backbone of N + 2 points.
using Backbone = testsupport::BackboneTables;

TEST(InitBranches, NegatesBySubtractionSoZeroStaysPositive) {
  Backbone b({0, 1, 3, 6}, {0, 100, 150, 180});
  EXPECT_EQ(Bits(b.eyn[0]), 0u);
  EXPECT_EQ(Bits(b.syn[0]), 0u);
  EXPECT_EQ(b.eyn[3], -6.0f);
  EXPECT_EQ(b.syp[2], 150.0f);
  EXPECT_EQ(b.syn[1], -100.0f);
}

TEST(ComputeSlopes, WorkedExampleBackbone) {
  Backbone b({0, 1, 3, 6}, {0, 100, 150, 180});
  EXPECT_EQ(b.et, (std::vector<float>{100, 25, 10}));
}

// The reference for the eight-at-a-time stretch: the same estimate-and-refine
// formula evaluated one element at a time with the scalar instruction.
float RefinedScalar(float num, float den) {
  float r = _mm_cvtss_f32(_mm_rcp_ss(_mm_set_ss(den)));
  float two_r = r + r;
  float t = den * r;
  t = t * r;
  return num * (two_r - t);
}

TEST(ComputeSlopes, EightAtATimeStretchUsesRefinedEstimateRestDivides) {
  // 19 segments: slopes 0..15 in the stretch, 16..18 by division. The strain
  // steps are chosen so that the estimate and the division differ.
  std::vector<float> ey{0}, sy{0};
  for (int i = 1; i <= 20; ++i) {
    ey.push_back(ey.back() + 0.0013f * static_cast<float>(i) + 0.00071f);
    sy.push_back(sy.back() + 37.3f / static_cast<float>(i));
  }
  Backbone b(ey, sy);
  int differs = 0;
  for (int i = 0; i < 19; ++i) {
    SCOPED_TRACE(i);
    const float dsy = sy[i + 1] - sy[i];
    const float dey = ey[i + 1] - ey[i];
    if (i < 16) {
      EXPECT_EQ(Bits(b.et[i]), Bits(RefinedScalar(dsy, dey)));
      if (b.et[i] != dsy / dey) ++differs;
      EXPECT_NEAR(b.et[i], dsy / dey, std::fabs(dsy / dey) * 1e-6f);
    } else {
      EXPECT_EQ(Bits(b.et[i]), Bits(dsy / dey));
    }
  }
  EXPECT_GT(differs, 0) << "the stretch should not be plain division";
}

TEST(ComputeSlopes, FewerThanEightSlopesAreAllDivisions) {
  Backbone b({0, 0.3f, 0.7f, 1.9f}, {0, 10, 17, 21});
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(Bits(b.et[i]), Bits((b.sy[i + 1] - b.sy[i]) / (b.ey[i + 1] - b.ey[i])));
}

TEST(Reverse, AtSegmentZeroRewritesOnlyPointZero) {
  Backbone b({0, 1, 3, 6}, {0, 100, 150, 180});
  b.t.K = 0;
  b.t.EREV = 0.5f;
  ReverseDown(b.t, 50.0f);
  EXPECT_EQ(b.eyp, (std::vector<float>{0.5f, 1, 3, 6}));
  EXPECT_EQ(b.syp, (std::vector<float>{50, 100, 150, 180}));
  EXPECT_EQ(b.eyn, (std::vector<float>{0.5f, -1, -3, -6}));
  EXPECT_EQ(b.syn, (std::vector<float>{50, -100, -150, -180}));
}

TEST(Reverse, DownThenUpBuildDoubledBranches) {
  Backbone b({0, 1, 3, 6}, {0, 100, 150, 180});
  b.t.K = 2;
  b.t.EREV = 4.0f;
  ReverseDown(b.t, 160.0f);
  EXPECT_EQ(b.syn, (std::vector<float>{160, -40, -140, -180}));
  EXPECT_EQ(b.eyn, (std::vector<float>{4, 2, -2, -6}));
  EXPECT_EQ(b.eyp, (std::vector<float>{4, 4, 4, 6}));
  EXPECT_EQ(b.syp, (std::vector<float>{160, 160, 160, 180}));
  b.t.EREV = -4.0f;
  ReverseUp(b.t, -160.0f);
  EXPECT_EQ(b.syp, (std::vector<float>{-160, 40, 140, 180}));
  EXPECT_EQ(b.eyp, (std::vector<float>{-4, -2, 2, 6}));
  EXPECT_EQ(b.eyn, (std::vector<float>{-4, -4, -4, -6}));
}

TEST(Reverse, YieldPlateauGivesFiniteDoubledSteps) {
  // Segment 1 is a plateau (SY(1) = SY(2)): zero slope.
  Backbone b({0, 1, 3, 6}, {0, 100, 100, 130});
  ASSERT_EQ(b.et[1], 0.0f);
  b.t.K = 3;
  b.t.EREV = 7.0f;
  ReverseDown(b.t, 140.0f);
  // New descending branch: 2 * (1 - 0) / 1, then the plateau 2 * (3 - 1), then
  // 2 * 30 / 10.
  EXPECT_EQ(b.eyn, (std::vector<float>{7, 5, 1, -5}));
  EXPECT_EQ(b.syn, (std::vector<float>{140, -60, -60, -120}));
  // The collapsing branch sits on the reversal point, no NaN.
  EXPECT_EQ(b.eyp, (std::vector<float>{7, 7, 7, 7}));
  b.t.K = 3;
  b.t.EREV = -5.0f;
  ReverseUp(b.t, -120.0f);
  EXPECT_EQ(b.eyp, (std::vector<float>{-5, -3, 1, 7}));
  EXPECT_EQ(b.eyn, (std::vector<float>{-5, -5, -5, -5}));
}

// One reversal rebuilt point by point: the fill, then strains[i + 1] =
// strains[i] + step for i < K, with the plateau rule.
void ReferenceReverse(Tables& t, float sr, bool down) {
  for (int32_t j = 0; j <= t.K; ++j) {
    if (down) {
      t.SYP[j] = sr;
      t.SYN[j] = sr - t.SY[j] * 2.0f;
    } else {
      t.SYN[j] = sr;
      t.SYP[j] = t.SY[j] * 2.0f + sr;
    }
  }
  auto rebuild = [&](const float* stresses, float* strains, float sign, bool collapsing) {
    strains[0] = t.EREV;
    for (int32_t i = 0; i < t.K; ++i) {
      float step;
      if (t.ET[i] == 0.0f) {
        const float width = t.EY[i + 1] - t.EY[i];
        step = collapsing ? 0.0f : sign * (width * 2.0f);
      } else {
        step = (stresses[i + 1] - stresses[i]) / t.ET[i];
      }
      strains[i + 1] = strains[i] + step;
    }
  };
  rebuild(t.SYP, t.EYP, 1.0f, down);
  rebuild(t.SYN, t.EYN, -1.0f, !down);
}

TEST(Reverse, MatchesPointByPointRebuildBitForBit) {
  // Backbones with plateaus, vertical steps (infinite or NaN slopes) and
  // every K, reversal strains of either zero, subnormal and infinite: the
  // four-at-a-time steps and the shortcut of a flat collapsing branch must
  // give exactly the bits of the point-by-point rebuild.
  const float kStrains[] = {0.0f, -0.0f, 1e-40f, -1e-40f, 0.0375f, -2.5f, INFINITY, NAN};
  const float kStresses[] = {0.0f, 150.0f, -310.5f, 1e-40f, INFINITY};
  uint32_t seed = 12345;
  auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
  for (int shape = 0; shape < 12; ++shape) {
    const int points = 2 + shape * 3;
    std::vector<float> ey{0.0f}, sy{0.0f};
    for (int i = 1; i < points; ++i) {
      const uint32_t r = next() >> 24;
      ey.push_back(ey.back() + (r < 20 ? 0.0f : static_cast<float>(next() % 1000) * 1e-5f));
      sy.push_back(sy.back() + (r >= 20 && r < 60 ? 0.0f : static_cast<float>(next() % 500)));
    }
    for (int32_t k = 0; k < points - 1; ++k) {
      for (float erev : kStrains) {
        for (float sr : kStresses) {
          for (bool down : {true, false}) {
            SCOPED_TRACE(testing::Message() << "points " << points << " K " << k << " EREV " << erev
                                            << " sr " << sr << " down " << down);
            Backbone got(ey, sy), want(ey, sy);
            for (Backbone* b : {&got, &want}) {
              b->t.K = k;
              b->t.EREV = erev;
            }
            if (down) ReverseDown(got.t, sr);
            else ReverseUp(got.t, sr);
            ReferenceReverse(want.t, sr, down);
            // Any NaN prints as NaN: its payload is not compared.
            auto same = [](float a, float b) {
              return (std::isnan(a) && std::isnan(b)) || Bits(a) == Bits(b);
            };
            for (size_t j = 0; j < ey.size(); ++j) {
              ASSERT_TRUE(same(got.eyp[j], want.eyp[j])) << j;
              ASSERT_TRUE(same(got.eyn[j], want.eyn[j])) << j;
              ASSERT_TRUE(same(got.syp[j], want.syp[j])) << j;
              ASSERT_TRUE(same(got.syn[j], want.syn[j])) << j;
            }
          }
        }
      }
    }
  }
}

TEST(BranchStress, RoundsEachOperation) {
  Backbone b({0, 1, 3, 6}, {0, 100, 150, 180});
  b.t.K = 2;
  const float e = 4.1f;
  const float d = e - 3.0f;
  const float p = d * 10.0f;
  EXPECT_EQ(Bits(BranchStress(b.t, e, b.t.EYP, b.t.SYP)), Bits(p + 150.0f));
}

// Puts the floating-point control back as it was when the scope ends.
struct CsrGuard {
  const unsigned saved = _mm_getcsr();
  ~CsrGuard() { _mm_setcsr(saved); }
};

// The pending ranges of both branches with their storage.
struct Lazy {
  std::vector<int32_t> up, down;
  LazyBranches b;
  explicit Lazy(const Tables& t)
      : up(2 * static_cast<size_t>(PendingCapacity(t.N))), down(up.size()) {
    b.up.below = up.data();
    b.down.below = down.data();
    StartLazy(t, b);
  }
};

TEST(ReverseLazy, AnySequenceOfReversalsAndReadsMatchesFullRebuilds) {
  // Reversals at any K (not only where a search would stop) leave pending
  // ranges that later reversals cut through; reads in between compute parts
  // of them. The points that have been read, and every point once all are
  // completed, must be those of the full rebuilds.
  uint32_t seed = 777;
  auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
  auto same = [](float a, float b) { return Bits(a) == Bits(b); };
  const float kStrains[] = {0.0f, -0.0f, 1e-40f, 0.0375f, -2.5f, 7.0f, INFINITY, NAN};
  const float kStresses[] = {0.0f, 150.0f, -310.5f, 1e-40f, INFINITY, NAN};
  const CsrGuard guard;
  for (int shape = 0; shape < 32; ++shape) {
    // Half of the shapes with flush-to-zero and denormals-are-zero, as the
    // program runs.
    _mm_setcsr(shape % 4 >= 2 ? (guard.saved | 0x8040u) : (guard.saved & ~0x8040u));
    const int points = 2 + (shape % 8 == 0 ? shape / 2 : 40 + shape * 3);
    std::vector<float> ey{0.0f}, sy{0.0f};
    for (int i = 1; i < points; ++i) {
      const uint32_t r = next() >> 24;
      const bool odd = shape % 2 == 1;
      ey.push_back(ey.back() +
                   (odd && r < 10 ? 0.0f : static_cast<float>(next() % 1000 + 1) * 1e-5f));
      sy.push_back(sy.back() +
                   (odd && r >= 10 && r < 30 ? 0.0f : static_cast<float>(next() % 500 + 1)));
    }
    Backbone got(ey, sy), want(ey, sy);
    Lazy lazy(got.t);
    const int32_t n = got.t.N;
    for (int op = 0; op < 400; ++op) {
      SCOPED_TRACE(testing::Message() << "points " << points << " op " << op);
      const uint32_t r = next() >> 8;
      if (r % 3 != 0) {
        // A reversal at a K anywhere on the table, most often a large one.
        const int32_t k = static_cast<int32_t>((r / 3) % (n + 1));
        const bool down = (r / 7) % 2 == 0;
        const float erev =
            (r / 11) % 9 == 0 ? kStrains[r % 8] : static_cast<float>(r % 2000) * 1e-3f;
        const float sr =
            (r / 13) % 9 == 0 ? kStresses[r % 6] : static_cast<float>(r % 900) - 450.0f;
        for (Backbone* b : {&got, &want}) {
          b->t.K = k;
          b->t.EREV = erev;
        }
        if (down) {
          ReverseDownLazy(got.t, lazy.b, sr);
          ReverseDown(want.t, sr);
        } else {
          ReverseUpLazy(got.t, lazy.b, sr);
          ReverseUp(want.t, sr);
        }
        // Point 0 and the stresses are always written in full.
        ASSERT_TRUE(same(got.eyp[0], want.eyp[0]));
        ASSERT_TRUE(same(got.eyn[0], want.eyn[0]));
        for (size_t j = 0; j < ey.size(); ++j) {
          ASSERT_TRUE(same(got.syp[j], want.syp[j])) << j;
          ASSERT_TRUE(same(got.syn[j], want.syn[j])) << j;
        }
      } else {
        // A read of the points up to j of one branch.
        const int32_t j = static_cast<int32_t>((r / 3) % (n + 1));
        const bool up = (r / 5) % 2 == 0;
        if (up) ComputePendingTo(got.t, lazy.b.up, kBranchRising, j);
        else ComputePendingTo(got.t, lazy.b.down, kBranchFalling, j);
        const std::vector<float>& g = up ? got.eyp : got.eyn;
        const std::vector<float>& w = up ? want.eyp : want.eyn;
        for (int32_t i = 0; i <= j; ++i) ASSERT_TRUE(same(g[i], w[i])) << i;
      }
    }
    CompleteBranches(got.t, lazy.b);
    EXPECT_EQ(lazy.b.up.low, INT32_MAX);
    EXPECT_EQ(lazy.b.down.low, INT32_MAX);
    for (size_t j = 0; j < ey.size(); ++j) {
      ASSERT_TRUE(same(got.eyp[j], want.eyp[j])) << j;
      ASSERT_TRUE(same(got.eyn[j], want.eyn[j])) << j;
    }
  }
}

}  // namespace
