// Loops and life through the library: a path counted in pieces gives the
// loops of the whole, and what the calls refuse.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "hysteresis/hysteresis.h"

namespace {

struct Found {
  std::vector<hys_loop> loops;
};

void Collect(const hys_loop* loop, void* context) {
  static_cast<Found*>(context)->loops.push_back(*loop);
}

// The loops of the path (strain, stress) fed in pieces of `piece` entries.
std::vector<hys_loop> Count(const std::vector<float>& strain, const std::vector<float>& stress,
                            size_t piece, int residue) {
  Found found;
  hys_counter* c = nullptr;
  EXPECT_EQ(hys_counter_create(Collect, &found, &c), HYS_OK);
  for (size_t i = 0; i < strain.size(); i += piece) {
    const size_t n = std::min(piece, strain.size() - i);
    EXPECT_EQ(hys_counter_feed(c, strain.data() + i, stress.data() + i, n), HYS_OK);
  }
  EXPECT_EQ(hys_counter_finish(c, residue), HYS_OK);
  hys_counter_free(c);
  return found.loops;
}

bool Same(const hys_loop& a, const hys_loop& b) {
  return a.b.entry == b.b.entry && a.c.entry == b.c.entry && a.b.strain == b.b.strain &&
         a.c.stress == b.c.stress && a.closing_entry == b.closing_entry && a.count == b.count;
}

TEST(Counter, PiecesGiveTheLoopsOfTheWhole) {
  const float ey[] = {0, 0.002f, 0.004f, 0.008f}, sy[] = {0, 200, 260, 300};
  std::mt19937 rng(7);
  std::normal_distribution<float> noise(0.0f, 0.003f);
  std::vector<float> strain(5000), stress(5000);
  for (float& e : strain) e = noise(rng);
  ASSERT_EQ(hys_stress(2, ey, sy, strain.data(), stress.data(), strain.size()), HYS_OK);
  for (int residue : {HYS_RESIDUE_HALF_CYCLES, HYS_RESIDUE_REPEAT, HYS_RESIDUE_NONE}) {
    SCOPED_TRACE(residue);
    const std::vector<hys_loop> whole = Count(strain, stress, strain.size(), residue);
    ASSERT_GT(whole.size(), 100u);
    for (size_t piece : {1, 7, 4096}) {
      const std::vector<hys_loop> cut = Count(strain, stress, piece, residue);
      ASSERT_EQ(cut.size(), whole.size());
      for (size_t i = 0; i < cut.size(); ++i) ASSERT_TRUE(Same(cut[i], whole[i])) << i;
    }
  }
}

TEST(Counter, Refusals) {
  hys_counter* c = nullptr;
  ASSERT_EQ(hys_counter_create(nullptr, nullptr, &c), HYS_OK);
  const float x[] = {0.0f, 1.0f};
  EXPECT_EQ(hys_counter_feed(c, x, x, 2), HYS_OK);  // no callback: counted, handed nowhere
  EXPECT_EQ(hys_counter_feed(c, nullptr, x, 2), HYS_E_NULL);
  EXPECT_EQ(hys_counter_finish(c, 3), HYS_E_ARGUMENT);
  EXPECT_EQ(hys_counter_finish(nullptr, HYS_RESIDUE_NONE), HYS_E_NULL);
  EXPECT_EQ(hys_counter_create(nullptr, nullptr, nullptr), HYS_E_NULL);
  hys_counter_free(c);

  const hys_loop loop{{1, 0.0, 0.0}, {2, 0.01, 300.0}, 0, 0.5};
  hys_damage d;
  double cycles = 0.0;
  struct Case {
    const char* what;
    hys_material m;
    int parameter;
    int status;
  };
  const double nan = std::nan("");
  const Case cases[] = {
      {"E zero", {0, 1000, -0.1, 0.5, -0.6}, HYS_PARAMETER_SWT, HYS_E_MATERIAL},
      {"SF NaN", {206000, nan, -0.1, 0.5, -0.6}, HYS_PARAMETER_SWT, HYS_E_MATERIAL},
      {"B positive", {206000, 1000, 0.1, 0.5, -0.6}, HYS_PARAMETER_MORROW, HYS_E_MATERIAL},
      {"EF negative", {206000, 1000, -0.1, -0.5, -0.6}, HYS_PARAMETER_STRAIN, HYS_E_MATERIAL},
      {"C zero", {206000, 1000, -0.1, 0.5, 0}, HYS_PARAMETER_SWT, HYS_E_MATERIAL},
      {"unknown parameter", {206000, 1000, -0.1, 0.5, -0.6}, 3, HYS_E_ARGUMENT},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    EXPECT_EQ(hys_assess_loop(&k.m, k.parameter, &loop, &d), k.status);
    EXPECT_EQ(hys_cycles_to_failure(&k.m, k.parameter, 0.01, 300, 0, &cycles), k.status);
  }
  EXPECT_EQ(hys_assess_loop(nullptr, HYS_PARAMETER_SWT, &loop, &d), HYS_E_NULL);
}

}  // namespace
