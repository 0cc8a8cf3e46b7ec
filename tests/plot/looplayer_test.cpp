// Tests of the loop layer's choices: the most damaging cycles, the damage
// sum along the history, the outlines on the path, labels and colours.
#include "plot/looplayer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace Plot {
namespace {

LoopRow Row(std::size_t closing, std::size_t b, std::size_t c, double damage) {
  LoopRow r;
  r.closing = closing;
  r.b = b;
  r.c = c;
  r.count = closing == 0 ? 0.5 : 1;
  r.damage = damage;
  return r;
}

TEST(MostDamaging, PicksTheLargestDamagesWithoutTheHarmlessOnes) {
  struct Case {
    const char* name;
    std::vector<double> damages;
    std::size_t top;
    std::vector<std::size_t> want;
  } cases[] = {
      {"fewer than asked", {0.1, 0.3, 0.2}, 10, {1, 2, 0}},
      {"cut to the top", {0.1, 0.3, 0.2, 0.05}, 2, {1, 2}},
      {"equal damages keep the row order", {0.2, 0.1, 0.2, 0.2}, 2, {0, 2}},
      {"no damage is never drawn", {0, 0.1, 0}, 10, {1}},
      {"top 0", {0.1}, 0, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<LoopRow> rows;
    for (double d : c.damages) rows.push_back(Row(5, 1, 2, d));
    EXPECT_EQ(MostDamaging(rows, c.top), c.want);
  }
}

TEST(DamageSum, StepsAtTheClosingEntriesAndTheRestAtTheEnd) {
  struct Case {
    const char* name;
    std::vector<LoopRow> rows;
    std::vector<std::size_t> at;
    std::vector<std::pair<std::size_t, double>> steps;
  } cases[] = {
      {"a loop closed by the last entry shares its step with the residue",
       {Row(100, 3, 4, 0.25), Row(0, 1, 2, 0.5), Row(0, 2, 100, 1)},
       {100, 100, 100},
       {{100, 1.75}}},
      {"loops along the history, then the residue",
       {Row(10, 3, 4, 1), Row(10, 7, 8, 2), Row(40, 2, 30, 4), Row(0, 1, 2, 8)},
       {10, 10, 40, 100},
       {{10, 3}, {40, 7}, {100, 15}}},
      {"loops of the residue's second run go to the end, from the first one on",
       {Row(50, 20, 30, 1), Row(90, 95, 60, 2), Row(97, 10, 20, 4)},
       {50, 100, 100},
       {{50, 1}, {100, 7}}},
      {"nothing counted", {}, {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::size_t> at = CountedAt(c.rows, 100);
    EXPECT_EQ(at, c.at);
    std::vector<DamageStep> steps = DamageSum(c.rows, at);
    ASSERT_EQ(steps.size(), c.steps.size());
    for (std::size_t k = 0; k < steps.size(); ++k) {
      EXPECT_EQ(steps[k].entry, c.steps[k].first);
      EXPECT_EQ(steps[k].sum, c.steps[k].second);
    }
  }
}

// A path whose stress is ten times the entry number, so that the outline's
// points tell which entries they are.
History PathOf(const std::vector<double>& strains) {
  History h;
  for (std::size_t j = 0; j < strains.size(); ++j) {
    h.strain.push_back(strains[j]);
    h.stress.push_back(10.0 * static_cast<double>(j + 1));
  }
  return h;
}

TEST(LoopOutline, FollowsTheBranchesAndLeavesInnerLoopsOut) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  // Entries 1..8: an inner loop 4-5 (closed by 6) inside the loop 3-6,
  // which entry 8 closes after passing entry 7 on the way down.
  const std::vector<double> nested = {0, 4, -4, -1, -2, 0, -3, -5};
  struct Case {
    const char* name;
    std::vector<double> strains;
    LoopRow row;
    std::vector<std::size_t> entries;  // of the outline's points, in order
  } cases[] = {
      {"outer loop", nested, Row(8, 3, 6, 1), {3, 4, 6, 7, 3}},
      {"half cycle", nested, Row(0, 2, 3, 1), {2, 3}},
      {"equal strains on the way", {0, 1, 1, 3, 2, 1, 0, -1}, Row(7, 1, 4, 1), {1, 2, 4, 5, 6, 1}},
      {"a NaN entry is passed over", {0, nan, 2, 3, 1, -1}, Row(6, 1, 4, 1), {1, 3, 4, 5, 1}},
      {"residue's second run: straight", nested, Row(2, 6, 3, 1), {6, 3, 6}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    History h = PathOf(c.strains);
    std::vector<Point> outline = LoopOutline(h, c.row);
    ASSERT_EQ(outline.size(), c.entries.size());
    for (std::size_t k = 0; k < outline.size(); ++k) {
      EXPECT_EQ(outline[k].y, 10.0 * static_cast<double>(c.entries[k])) << k;
      EXPECT_EQ(outline[k].x, h.strain[c.entries[k] - 1]) << k;
    }
  }
  History broken = PathOf({0, nan, 2});
  EXPECT_TRUE(LoopOutline(broken, Row(0, 2, 3, 1)).empty());
}

TEST(PlaceLabels, KeepsLabelsApartAndInside) {
  const Box area{0, 0, 200, 100};
  struct Case {
    const char* name;
    std::vector<Point> anchors;
    std::vector<double> widths;
    std::vector<Box> want;
  } cases[] = {
      {"left of it at the right edge", {{190, 50}}, {20}, {{164, 30, 184, 44}}},
      {"inside at the top", {{50, 5}}, {20}, {{56, 0, 76, 14}}},
      {"the second moves up, the third down",
       {{50, 50}, {52, 50}, {50, 51}},
       {20, 20, 20},
       {{56, 30, 76, 44}, {58, 16, 78, 30}, {56, 45, 76, 59}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<Box> got = PlaceLabels(c.anchors, c.widths, 14, area);
    ASSERT_EQ(got.size(), c.want.size());
    for (std::size_t k = 0; k < got.size(); ++k) {
      SCOPED_TRACE(k);
      EXPECT_DOUBLE_EQ(got[k].x0, c.want[k].x0);
      EXPECT_DOUBLE_EQ(got[k].y0, c.want[k].y0);
      EXPECT_DOUBLE_EQ(got[k].x1, c.want[k].x1);
      EXPECT_DOUBLE_EQ(got[k].y1, c.want[k].y1);
    }
  }
}

TEST(DamageScale, LogarithmicPositionAndColoursThatDarkenAlongIt) {
  EXPECT_NEAR(ScalePosition(1e-4, 1e-6, 1e-2), 0.5, 1e-12);
  EXPECT_EQ(ScalePosition(0.3, 0.3, 0.3), 1);  // one damage: the darkest colour
  double last = 1e9;
  for (int k = 0; k <= 20; ++k) {
    std::string c = ScaleColour(k / 20.0);
    ASSERT_EQ(c.size(), 7u);
    long rgb = std::stol(c.substr(1), nullptr, 16);
    double luma = 0.299 * (rgb >> 16) + 0.587 * ((rgb >> 8) & 255) + 0.114 * (rgb & 255);
    if (k > 0) {
      EXPECT_LT(luma, last) << c;
    }
    last = luma;
  }
}

}  // namespace
}  // namespace Plot
