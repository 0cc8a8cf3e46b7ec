// A history stepped in pieces of any size by HistoryStepper: the stresses
// and the tables that ComputePath leaves, bit for bit.
#include "compute/stepping.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <vector>

#include "compute/driver.h"
#include "support/backbone.h"

namespace {

std::vector<float> RandomWalk(int64_t entries) {
  std::vector<float> def(static_cast<size_t>(entries));
  uint32_t state = 11;
  float e = 0.0f;
  for (float& d : def) {
    state = state * 1664525u + 1013904223u;
    e += static_cast<float>(static_cast<int32_t>(state) >> 8) * 2e-8f;
    if (e > 7.0f || e < -7.0f) e *= 0.5f;
    d = e;
  }
  return def;
}

std::vector<uint32_t> Bits(const std::vector<float>& v) {
  std::vector<uint32_t> b;
  for (const float f : v) b.push_back(std::bit_cast<uint32_t>(f));
  return b;
}

TEST(HistoryStepper, AnyPieceSizeStepsAsComputePath) {
  const int64_t entries = 20000;
  testsupport::BackboneTables whole({0, 1, 3, 6}, {0, 100, 150, 180});
  std::vector<float> def = RandomWalk(entries), sig(def.size());
  ComputePath(whole.t, def.data(), sig.data(), entries - 1);
  for (const int64_t piece : {int64_t{1}, int64_t{7}, int64_t{4096}, entries}) {
    SCOPED_TRACE(piece);
    testsupport::BackboneTables pieces({0, 1, 3, 6}, {0, 100, 150, 180});
    std::vector<float> pdef = RandomWalk(entries), psig(def.size());
    StartPath(pieces.t, pdef.data(), psig.data(), entries - 1);
    StepState state;
    int64_t stepped = 1;
    {
      HistoryStepper stepper(pieces.t, state, pdef[0], psig[0]);
      while (stepped < entries) {
        const int64_t n = std::min(piece, entries - stepped);
        stepper.Step(pdef.data() + stepped, psig.data() + stepped, n);
        stepped += n;
      }
    }
    EXPECT_EQ(stepped, entries);
    EXPECT_EQ(Bits(psig), Bits(sig));
    EXPECT_EQ(Bits(pieces.eyp), Bits(whole.eyp));
    EXPECT_EQ(Bits(pieces.syn), Bits(whole.syn));
    EXPECT_EQ(pieces.t.K, whole.t.K);
  }
}

}  // namespace
