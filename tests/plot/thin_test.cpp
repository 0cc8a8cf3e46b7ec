// Tests of reversal detection and of the thinning of the drawn line.
#include "plot/thin.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace Plot {
namespace {

TEST(FindReversals, MarksTheLastPointBeforeEachTurn) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    const char* name;
    std::vector<double> strain;
    std::vector<int> reversals;
  } cases[] = {
      {"worked example", {0, 4, -4, 0, -3, -5}, {1, 2, 3}},
      {"monotone", {0, 1, 2, 3}, {}},
      {"flat stretch at the top", {0, 2, 2, 2, 1}, {3}},
      {"flat then same direction", {0, 2, 2, 3}, {}},
      {"flat start", {0, 0, 1, 0}, {2}},
      {"NaN between", {0, 2, nan, 1}, {1}},
      {"NaN at a turn", {0, 2, 3, nan, 1}, {2}},
      {"empty", {}, {}},
      {"single", {5}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<bool> r = FindReversals(c.strain);
    ASSERT_EQ(r.size(), c.strain.size());
    std::vector<int> got;
    for (std::size_t i = 0; i < r.size(); ++i)
      if (r[i]) got.push_back(static_cast<int>(i));
    EXPECT_EQ(got, c.reversals);
  }
}

// Distance from p to the segment a-b.
double SegmentDistance(Point p, Point a, Point b) {
  double dx = b.x - a.x, dy = b.y - a.y;
  double len2 = dx * dx + dy * dy;
  double t = len2 == 0 ? 0 : ((p.x - a.x) * dx + (p.y - a.y) * dy) / len2;
  t = std::clamp(t, 0.0, 1.0);
  return std::hypot(p.x - (a.x + t * dx), p.y - (a.y + t * dy));
}

TEST(ThinRun, StraightStretchesShrinkToTheirEnds) {
  std::vector<Point> pts;
  for (int i = 0; i <= 100; ++i) pts.push_back({i * 1.0, i * 0.5});
  for (int i = 1; i <= 100; ++i) pts.push_back({100.0 + i, 50.0});
  std::vector<bool> keep(pts.size(), false);
  std::vector<std::size_t> kept = ThinRun(pts, 0, pts.size(), keep, 0.3);
  EXPECT_EQ(kept, (std::vector<std::size_t>{0, 100, 200}));
}

TEST(ThinRun, KeepsFlaggedPointsEvenWithinAPixel) {
  // A zigzag far smaller than the tolerance: only the flags keep its points.
  std::vector<Point> pts;
  std::vector<bool> keep;
  for (int i = 0; i < 50; ++i) {
    pts.push_back({10.0 + 0.01 * (i % 2), 10.0});
    keep.push_back(i % 7 == 3);
  }
  std::vector<std::size_t> kept = ThinRun(pts, 0, pts.size(), keep, 0.3);
  std::vector<std::size_t> expected = {0};
  for (std::size_t i = 1; i + 1 < pts.size(); ++i)
    if (keep[i]) expected.push_back(i);
  expected.push_back(pts.size() - 1);
  EXPECT_EQ(kept, expected);
}

TEST(ThinRun, DoesNotCutOffALineThatDoublesBack) {
  // Out to x = 10 and back to x = 5 on the same line, no flags.
  std::vector<Point> pts;
  for (int i = 0; i <= 10; ++i) pts.push_back({i * 1.0, 0});
  for (int i = 9; i >= 5; --i) pts.push_back({i * 1.0, 0});
  std::vector<bool> keep(pts.size(), false);
  std::vector<std::size_t> kept = ThinRun(pts, 0, pts.size(), keep, 0.3);
  EXPECT_EQ(kept, (std::vector<std::size_t>{0, 10, 15}));
}

TEST(ThinRun, EveryDroppedPointStaysWithinToleranceOfTheLine) {
  std::mt19937 rng(7);
  std::normal_distribution<double> step(0.0, 0.4);
  for (int trial = 0; trial < 20; ++trial) {
    SCOPED_TRACE(trial);
    std::vector<Point> pts;
    Point p{0, 0};
    double heading = 0;
    for (int i = 0; i < 2000; ++i) {
      heading += step(rng) * 0.3;
      p.x += std::cos(heading) * 0.2;
      p.y += std::sin(heading) * 0.2;
      pts.push_back(p);
    }
    std::vector<bool> keep(pts.size(), false);
    const double tol = 0.3;
    std::vector<std::size_t> kept = ThinRun(pts, 0, pts.size(), keep, tol);
    ASSERT_EQ(kept.front(), 0u);
    ASSERT_EQ(kept.back(), pts.size() - 1);
    EXPECT_LT(kept.size(), pts.size() / 2);  // a smooth curve does thin
    for (std::size_t k = 0; k + 1 < kept.size(); ++k) {
      ASSERT_LT(kept[k], kept[k + 1]);
      for (std::size_t i = kept[k] + 1; i < kept[k + 1]; ++i)
        ASSERT_LE(SegmentDistance(pts[i], pts[kept[k]], pts[kept[k + 1]]), tol + 1e-9) << i;
    }
  }
}

TEST(ThinRun, HandlesRunsOfOneAndTwoPoints) {
  std::vector<Point> pts = {{1, 1}, {2, 2}, {3, 3}};
  std::vector<bool> keep(3, false);
  EXPECT_EQ(ThinRun(pts, 1, 2, keep, 0.3), (std::vector<std::size_t>{1}));
  EXPECT_EQ(ThinRun(pts, 1, 3, keep, 0.3), (std::vector<std::size_t>{1, 2}));
  EXPECT_TRUE(ThinRun(pts, 2, 2, keep, 0.3).empty());
}

}  // namespace
}  // namespace Plot
