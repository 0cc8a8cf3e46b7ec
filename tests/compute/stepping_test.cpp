// Tests of the stepping: elastic range, reversals, segment search, memory.
#include "compute/stepping.h"

#include <gtest/gtest.h>
#include <xmmintrin.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "runtime/platform/fault.h"
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
      {5.0f, false, 170.0f, 2, 1},  // N = 2: beyond EY(2) is segment 2
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

// The stepping written out point by point: the reference for StepHistory.
// Every reversal rebuilds both branches over 0..K in full, strain after
// strain, and the search moves one point at a time.
struct ReferenceStepping : testsupport::BackboneTables {
  int32_t k = 0;
  float erev = 0.0f;
  int32_t dir = 1;
  bool virgin = true;

  using BackboneTables::BackboneTables;

  void Rebuild(float sr, bool down) {
    for (int32_t j = 0; j <= k; ++j) {
      if (down) {
        syp[j] = sr;
        syn[j] = sr - sy[j] * 2.0f;
      } else {
        syn[j] = sr;
        syp[j] = sy[j] * 2.0f + sr;
      }
    }
    auto strains = [&](const std::vector<float>& stresses, std::vector<float>& points, float sign,
                       bool collapsing) {
      points[0] = erev;
      for (int32_t i = 0; i < k; ++i) {
        float step;
        if (et[i] == 0.0f) {
          const float width = ey[i + 1] - ey[i];
          step = collapsing ? 0.0f : sign * (width * 2.0f);
        } else {
          step = (stresses[i + 1] - stresses[i]) / et[i];
        }
        points[i + 1] = points[i] + step;
      }
    };
    strains(syp, eyp, 1.0f, down);
    strains(syn, eyn, -1.0f, !down);
  }

  float Step(float e, float before, float sig_before) {
    const int32_t n = t.N;
    if (virgin) {
      if (e > eyp[1]) {
        dir = 1;
      } else if (e < eyn[1]) {
        dir = -1;
      } else {
        return et[0] * e;
      }
      virgin = false;
      k = std::min<int32_t>(1, n);
    }
    const float de = e - before;
    if (de < 0.0f && dir == 1) {
      erev = before;
      Rebuild(sig_before, true);
      k = 0;
      dir = -1;
    } else if (de > 0.0f && dir == -1) {
      erev = before;
      Rebuild(sig_before, false);
      k = 0;
      dir = 1;
    }
    if (dir == 1) {
      while (k < n && e > eyp[k + 1]) ++k;
      return (e - eyp[k]) * et[k] + syp[k];
    }
    while (k < n && e < eyn[k + 1]) ++k;
    return (e - eyn[k]) * et[k] + syn[k];
  }
};

uint32_t Bits(float f) {
  uint32_t b;
  std::memcpy(&b, &f, 4);
  return b;
}

// A small deterministic generator for the random histories.
struct Lcg {
  uint64_t state;
  uint32_t Next() {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<uint32_t>(state >> 33);
  }
  float Unit() { return static_cast<float>(Next() % 1000001) / 1000000.0f; }  // 0..1
};

// A backbone of n + 2 points: Ramberg-Osgood-like steps, with plateaus
// (zero slopes) and vertical steps (infinite or NaN slopes) when asked.
std::vector<std::vector<float>> RandomBackbone(Lcg& rng, int points, bool odd_segments) {
  std::vector<float> ey{0.0f}, sy{0.0f};
  for (int i = 1; i < points; ++i) {
    const uint32_t kind = rng.Next() % 10;
    const float de = (odd_segments && kind == 0) ? 0.0f : 0.001f + 0.01f * rng.Unit() * i;
    const float ds = (odd_segments && kind == 1) ? 0.0f : 200.0f / (i + 1) * (0.2f + rng.Unit());
    ey.push_back(ey.back() + de);
    sy.push_back(sy.back() + ds);
  }
  return {ey, sy};
}

// A strain history of `count` entries after the starting 0 within about
// +-scale: random walks with small and large steps, held values, sign
// changes, zeros, subnormals, infinities and NaN.
std::vector<float> RandomHistory(Lcg& rng, float scale, int count, int style) {
  std::vector<float> h{0.0f};
  float x = 0.0f;
  float amplitude = scale;
  for (int i = 0; i < count; ++i) {
    const uint32_t r = rng.Next() % 1000;
    if (style >= 2 && r < 8) {
      const float odd[] = {NAN, INFINITY, -INFINITY, 1e-40f, -0.0f, 0.0f};
      h.push_back(odd[rng.Next() % 6]);
      continue;
    }
    if (r < 80) {
      h.push_back(h.back());  // held value
      continue;
    }
    if (style % 2 == 0) {
      // A walk of small steps with now and then a jump.
      const float stepsize = r < 150 ? scale : scale * 0.02f;
      x += (rng.Unit() * 2.0f - 1.0f) * stepsize;
    } else {
      // Reversals nearly every entry, with an amplitude that drifts: the
      // path keeps crossing older reversal points.
      amplitude = std::max(scale * 0.05f, amplitude * (0.8f + 0.45f * rng.Unit()));
      amplitude = std::min(amplitude, scale * 1.5f);
      x = (i % 2 == 0 ? 1.0f : -1.0f) * amplitude * rng.Unit();
    }
    if (std::isnan(x) || std::isinf(x)) x = 0.0f;
    h.push_back(x);
  }
  return h;
}

struct Backbone {
  const char* name;
  std::vector<float> ey, sy;
};

std::vector<Backbone> TestBackbones() {
  Lcg rng{7};
  std::vector<Backbone> b = {
      {"worked example", kEY, kSY},
      {"N = 0", {0, 1}, {0, 100}},
      {"N = 1", {0, 1, 3}, {0, 100, 150}},
      {"plateau", {0, 1, 3, 6, 8}, {0, 100, 100, 130, 140}},
      {"subnormal start", {0, 1e-39f, 1, 2}, {0, 1e-39f, 100, 120}},
  };
  for (int points : {12, 45, 130}) {
    auto smooth = RandomBackbone(rng, points, false);
    b.push_back({"smooth", smooth[0], smooth[1]});
    auto odd = RandomBackbone(rng, points, true);
    b.push_back({"plateaus and vertical steps", odd[0], odd[1]});
  }
  return b;
}

// Every SIG of StepHistory against the point-by-point reference, and the
// tables and the state it leaves, bit for bit.
void CompareWithReference(const Backbone& b, const std::vector<float>& def) {
  History got(b.ey, b.sy, def);
  ReferenceStepping want(b.ey, b.sy);
  const int64_t m = static_cast<int64_t>(def.size()) - 1;
  StepHistory(got.t, got.s, got.def.data(), got.sig.data(), m);
  std::vector<float> sig(def.size(), 0.0f);
  for (int64_t g = 1; g <= m; ++g) sig[g] = want.Step(def[g], def[g - 1], sig[g - 1]);
  for (int64_t g = 1; g <= m; ++g) {
    ASSERT_EQ(Bits(got.sig[g]), Bits(sig[g])) << "entry " << g << " strain " << def[g];
  }
  EXPECT_EQ(got.t.K, want.k);
  EXPECT_EQ(got.s.DIR, want.dir);
  EXPECT_EQ(got.s.VIRGIN, want.virgin);
  for (size_t j = 0; j < b.ey.size(); ++j) {
    ASSERT_EQ(Bits(got.eyp[j]), Bits(want.eyp[j])) << j;
    ASSERT_EQ(Bits(got.eyn[j]), Bits(want.eyn[j])) << j;
    ASSERT_EQ(Bits(got.syp[j]), Bits(want.syp[j])) << j;
    ASSERT_EQ(Bits(got.syn[j]), Bits(want.syn[j])) << j;
  }
}

// Puts the floating-point control back as it was when the scope ends.
struct CsrGuard {
  const unsigned saved = _mm_getcsr();
  ~CsrGuard() { _mm_setcsr(saved); }
};

TEST(StepHistory, RandomHistoriesMatchPointByPointStepping) {
  const CsrGuard guard;
  for (bool flush : {false, true}) {
    // The program steps with flush-to-zero and denormals-are-zero.
    _mm_setcsr(flush ? (guard.saved | 0x8040u) : (guard.saved & ~0x8040u));
    Lcg rng{flush ? 99u : 12345u};
    for (const Backbone& b : TestBackbones()) {
      const float scale = b.ey.back() * 1.2f;
      for (int style = 0; style < 4; ++style) {
        for (int count : {1, 7, 3000}) {
          SCOPED_TRACE(testing::Message() << b.name << " N " << b.ey.size() - 2 << " style "
                                          << style << " entries " << count << " flush " << flush);
          CompareWithReference(b, RandomHistory(rng, scale, count, style));
          if (HasFatalFailure()) return;
        }
      }
    }
  }
}

TEST(StepHistory, WithoutBookkeepingMemoryStepsTheSame) {
  // When the memory for the pending ranges cannot be had, the branches are
  // rebuilt in full at every reversal: the same results.
  Lcg rng{2024};
  const std::vector<Backbone> backbones = TestBackbones();
  const Backbone& b = backbones.back();
  const std::vector<float> def = RandomHistory(rng, b.ey.back(), 2000, 1);
  History lazy(b.ey, b.sy, def), full(b.ey, b.sy, def);
  const int64_t m = static_cast<int64_t>(def.size()) - 1;
  StepHistory(lazy.t, lazy.s, lazy.def.data(), lazy.sig.data(), m);
  Sys::SetFault(1, ENOMEM, Sys::kCallAlloc);
  StepHistory(full.t, full.s, full.def.data(), full.sig.data(), m);
  const uint64_t calls = Sys::CallCount();
  Sys::SetFault(0, 0);
  EXPECT_EQ(calls, 1u);
  for (int64_t g = 1; g <= m; ++g) ASSERT_EQ(Bits(lazy.sig[g]), Bits(full.sig[g])) << g;
  for (size_t j = 0; j < b.ey.size(); ++j) {
    ASSERT_EQ(Bits(lazy.eyp[j]), Bits(full.eyp[j])) << j;
    ASSERT_EQ(Bits(lazy.eyn[j]), Bits(full.eyn[j])) << j;
  }
  EXPECT_EQ(lazy.t.K, full.t.K);
}

}  // namespace
