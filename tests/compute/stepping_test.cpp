// Tests of the stepping: elastic range, reversals, segment search, memory.
#include "compute/stepping.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "support/backbone.h"

namespace {

struct History : testsupport::BackboneTables {
  std::vector<float> def, sig;
  StepState s;
  History(std::vector<float> e, std::vector<float> y, std::vector<float> history)
      : BackboneTables(std::move(e), std::move(y)), def(std::move(history)) {
    sig.assign(def.size(), 0.0f);
  }
  // Steps entry g and returns its stress.
  float Step(int64_t g) {
    StepOnce(t, s, def.data(), sig.data(), g);
    return sig[g];
  }
};

const std::vector<float> kEY{0, 1, 3, 6};
const std::vector<float> kSY{0, 100, 150, 180};

TEST(StepHistory, WorkedExampleStepByStep) {
  History r(kEY, kSY, {0, 4, -4, 0, -3, -5});
  struct Row {
    float sig;
    int32_t k;
    int32_t dir;
  };
  const Row rows[] = {{160, 2, 1}, {-160, 2, -1}, {90, 1, 1}, {-135, 1, -1}, {-170, 2, -1}};
  for (int g = 1; g <= 5; ++g) {
    SCOPED_TRACE(g);
    EXPECT_EQ(r.Step(g), rows[g - 1].sig);
    EXPECT_EQ(r.t.K, rows[g - 1].k);
    EXPECT_EQ(r.s.DIR, rows[g - 1].dir);
    EXPECT_FALSE(r.s.VIRGIN);
    if (g == 4) {
      // The older reversal point (-4, -160) is still held at point 2.
      EXPECT_EQ(r.eyn[2], -4.0f);
      EXPECT_EQ(r.syn[2], -160.0f);
    }
  }
}

TEST(StepHistory, ElasticRangeBounds) {
  struct Case {
    float strain;
    bool virgin;
    float sig;
    int32_t k;
    int32_t dir;
  };
  const Case cases[] = {
      {0.5f, true, 50.0f, 0, 1},
      {1.0f, true, 100.0f, 0, 1},    // exactly on EY(1): still elastic
      {-1.0f, true, -100.0f, 0, 1},  // exactly on -EY(1)
      {std::nextafter(1.0f, 2.0f), false, 0.0f, 1, 1},
      {-1.5f, false, -112.5f, 1, -1},
      {2.5f, false, 137.5f, 1, 1},
      {5.0f, false, 170.0f, 2, 1},   // N = 2: beyond EY(2) is segment 2
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.strain);
    History r(kEY, kSY, {0, c.strain});
    const float sig = r.Step(1);
    EXPECT_EQ(r.s.VIRGIN, c.virgin);
    EXPECT_EQ(r.t.K, c.k);
    EXPECT_EQ(r.s.DIR, c.dir);
    if (c.k == 1 && !c.virgin && c.strain == std::nextafter(1.0f, 2.0f)) {
      EXPECT_NEAR(sig, 100.0f, 0.001f);
    } else {
      EXPECT_EQ(sig, c.sig);
    }
  }
}

TEST(StepHistory, LeavingRangeStraightOntoSegmentThree) {
  History r({0, 1, 2, 3, 4, 5}, {0, 100, 150, 180, 200, 210}, {0, 3.5f, 4.5f});
  EXPECT_EQ(r.Step(1), 190.0f);  // above EY(3), not above EY(4)
  EXPECT_EQ(r.t.K, 3);
  EXPECT_EQ(r.Step(2), 205.0f);
  EXPECT_EQ(r.t.K, 4);
}

TEST(StepHistory, RepeatedStrainKeepsDirectionAndSegment) {
  History r(kEY, kSY, {0, 4, 4, 4});
  const float first = r.Step(1);
  EXPECT_EQ(r.Step(2), first);
  EXPECT_EQ(r.Step(3), first);
  EXPECT_EQ(r.s.DIR, 1);
  EXPECT_EQ(r.t.K, 2);
}

TEST(StepHistory, OneSegmentBeyondLastPointContinuesWithoutLimit) {
  History r({0, 1, 3}, {0, 100, 150}, {0, 1000});
  EXPECT_EQ(r.Step(1), (1000.0f - 1.0f) * 25.0f + 100.0f);
  EXPECT_EQ(r.t.K, 1);
}

TEST(StepHistory, FirstFallingStepStaysOnSegmentZeroUntilRebuiltDistance) {
  History r(kEY, kSY, {0, 4, 2.5f, 1.9f});
  r.Step(1);
  EXPECT_EQ(r.Step(2), 160.0f - 1.5f * 100.0f);  // within 2 * EY(1) of the peak
  EXPECT_EQ(r.t.K, 0);
  EXPECT_EQ(r.Step(3), (1.9f - 2.0f) * 25.0f - 40.0f);  // past EYN(1) = 2
  EXPECT_EQ(r.t.K, 1);
}

TEST(StepHistory, ClosedLoopRejoinsOlderBranchPastTrough) {
  // Up to 5, down to -5, up to 1, down to -1, up again past 1 and past 5:
  // the inner loop closes at 1 and the path rejoins the branch from -5.
  History plain(kEY, kSY, {0, 5, -5, 5.5f});
  History loop(kEY, kSY, {0, 5, -5, 1, -1, 5.5f});
  plain.Step(1);
  plain.Step(2);
  const float direct = plain.Step(3);
  for (int g = 1; g <= 5; ++g) loop.Step(g);
  EXPECT_EQ(loop.sig[5], direct);
  EXPECT_EQ(loop.t.K, plain.t.K);
}

TEST(StepHistory, ReversalAtSegmentZero) {
  History r(kEY, kSY, {0, 4, 3, 3.5f});
  r.Step(1);
  r.Step(2);  // reversal down, stays on segment 0
  ASSERT_EQ(r.t.K, 0);
  EXPECT_EQ(r.Step(3), 60.0f + 0.5f * 100.0f);  // reversal up at K = 0
  EXPECT_EQ(r.eyp[0], 3.0f);
  EXPECT_EQ(r.syp[0], 60.0f);
  EXPECT_EQ(r.eyp[1], 4.0f);  // point 1 keeps the earlier branch
}

TEST(StepHistory, NaNStrainNeitherReversesNorAdvances) {
  History r(kEY, kSY, {0, 4, NAN, 5});
  r.Step(1);
  EXPECT_TRUE(std::isnan(r.Step(2)));
  EXPECT_EQ(r.s.DIR, 1);
  EXPECT_EQ(r.t.K, 2);
  // The increment from NaN is NaN: no reversal, the same segment.
  EXPECT_EQ(r.Step(3), 170.0f);
  EXPECT_EQ(r.t.K, 2);
}

TEST(StepHistory, LinearBackboneWithNZero) {
  History r({0, 1}, {0, 100}, {0, 0.5f, 3, -2, 1});
  EXPECT_EQ(r.Step(1), 50.0f);
  EXPECT_EQ(r.Step(2), 300.0f);
  EXPECT_EQ(r.t.K, 0);
  EXPECT_EQ(r.Step(3), -200.0f);
  EXPECT_EQ(r.Step(4), 100.0f);
  EXPECT_EQ(r.t.K, 0);
}

TEST(StepHistory, PlateauBackboneGivesNoNaN) {
  History r({0, 1, 3, 6}, {0, 100, 100, 130}, {0, 7, -7, 7});
  for (int g = 1; g <= 3; ++g) {
    SCOPED_TRACE(g);
    EXPECT_FALSE(std::isnan(r.Step(g)));
  }
  EXPECT_EQ(r.sig[1], 140.0f);
  EXPECT_EQ(r.sig[2], -140.0f);
  EXPECT_EQ(r.sig[3], 140.0f);
}

}  // namespace
