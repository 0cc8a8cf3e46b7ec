// Tests of the SVG picture read as text: structure, the line through the
// worked example's points, reversal markers, axes, notes, the loop layer.
#include "plot/svg.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>

#include "plot/example_loops.h"
#include "plot/svg_inspect.h"
#include "support/run.h"

namespace Plot {
namespace {

using plottest::Pt;

TEST(NiceAxis, CoversTheRangeWithRoundSteps) {
  struct Case {
    double min, max;
    double lo, hi, step;
  } cases[] = {
      {-5, 4, -6, 4, 2},     {-170, 160, -200, 200, 50},
      {0, 1, 0, 1, 0.2},     {-0.0123, 0.0145, -0.015, 0.015, 0.005},
      {3, 3, 1.5, 4.5, 0.5},  // a single value is widened around itself
      {0, 0, -1, 1, 0.5},    {1e30, 3e30, 1e30, 3e30, 5e29},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.min) + " .. " + std::to_string(c.max));
    Axis a = NiceAxis(c.min, c.max, 8);
    EXPECT_NEAR(a.step, c.step, c.step * 1e-9);
    EXPECT_NEAR(a.lo, c.lo, c.step * 1e-9);
    EXPECT_NEAR(a.hi, c.hi, c.step * 1e-9);
    EXPECT_LE(a.lo, c.min);
    EXPECT_GE(a.hi, c.max);
  }
}

TEST(FormatTick, ShowsAsManyDecimalsAsTheStepNeeds) {
  struct Case {
    double value, step;
    const char* text;
  } cases[] = {
      {-150, 50, "-150"},      {0, 50, "0"},
      {-0.0, 0.5, "0"},        {1e-17, 0.002, "0"},
      {0.004, 0.002, "0.004"}, {-0.015, 0.005, "-0.015"},
      {2.5, 0.5, "2.5"},       {3e30, 5e29, "3e+30"},
      {4e-7, 2e-7, "4e-07"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(FormatTick(c.value, c.step), c.text);
  }
}

History ExampleHistory() {
  History h;
  std::string error;
  EXPECT_TRUE(ParseOutputText(testsupport::kExampleOutput, h, error)) << error;
  return h;
}

TEST(RenderSvg, WorkedExampleIsWellFormedAndDrawsTheSixPointsInOrder) {
  History h = ExampleHistory();
  std::vector<Point> bb = ParseBackbone(testsupport::kExampleInput);
  ASSERT_EQ(bb.size(), 4u);
  PlotStats stats;
  std::string svg = RenderSvg(h, bb, &stats);

  EXPECT_EQ(plottest::XmlProblem(svg), "");
  EXPECT_NE(svg.find("viewBox=\"0 0 "), std::string::npos);
  EXPECT_NE(svg.find(">Stress-strain history: 6 entries</text>"), std::string::npos);
  EXPECT_NE(svg.find(">strain</text>"), std::string::npos);
  EXPECT_NE(svg.find(">stress</text>"), std::string::npos);
  EXPECT_EQ(svg.find("class=\"note\""), std::string::npos);  // nothing to note

  // Axes: ticks at round numbers that enclose the data.
  plottest::AxisMap xm = plottest::ReadAxis(svg, true);
  plottest::AxisMap ym = plottest::ReadAxis(svg, false);
  ASSERT_TRUE(xm.consistent);
  ASSERT_TRUE(ym.consistent);
  EXPECT_EQ(xm.lo, -6);
  EXPECT_EQ(xm.hi, 4);
  EXPECT_EQ(ym.lo, -200);
  EXPECT_EQ(ym.hi, 200);
  EXPECT_GT(xm.scale, 0);
  EXPECT_LT(ym.scale, 0);  // stress grows upwards

  // The line: one subpath through the six entries, in order, on the axes' map.
  std::vector<std::string> line = plottest::TagsOfClass(svg, "history");
  ASSERT_EQ(line.size(), 1u);
  auto sub = plottest::Subpaths(plottest::Attr(line[0], "d"));
  ASSERT_EQ(sub.size(), 1u);
  ASSERT_EQ(sub[0].size(), 6u);
  for (std::size_t j = 0; j < 6; ++j) {
    SCOPED_TRACE(j);
    EXPECT_NEAR(sub[0][j].x, xm(h.strain[j]), 0.06);
    EXPECT_NEAR(sub[0][j].y, ym(h.stress[j]), 0.06);
  }

  // Markers at the turning points (4,160), (-4,-160), (0,90), and only there.
  std::vector<std::string> marks = plottest::TagsOfClass(svg, "reversals");
  ASSERT_EQ(marks.size(), 1u);
  auto dots = plottest::Subpaths(plottest::Attr(marks[0], "d"));
  const Pt turns[] = {{4, 160}, {-4, -160}, {0, 90}};
  ASSERT_EQ(dots.size(), 3u);
  for (std::size_t k = 0; k < 3; ++k) {
    SCOPED_TRACE(k);
    ASSERT_EQ(dots[k].size(), 1u);
    EXPECT_NEAR(dots[k][0].x, xm(turns[k].x), 0.06);
    EXPECT_NEAR(dots[k][0].y, ym(turns[k].y), 0.06);
  }
  EXPECT_EQ(stats.reversals, 3u);

  // The reference line: the backbone's mirror, then the backbone itself.
  std::vector<std::string> ref = plottest::TagsOfClass(svg, "backbone");
  ASSERT_EQ(ref.size(), 1u);
  auto refpts = plottest::Subpaths(plottest::Attr(ref[0], "d"));
  ASSERT_EQ(refpts.size(), 1u);
  ASSERT_EQ(refpts[0].size(), 8u);
  EXPECT_NEAR(refpts[0][0].x, xm(-6), 0.06);
  EXPECT_NEAR(refpts[0][0].y, ym(-180), 0.06);
  EXPECT_NEAR(refpts[0][7].x, xm(6), 0.06);
  EXPECT_NEAR(refpts[0][7].y, ym(180), 0.06);
}

TEST(RenderSvg, NonFiniteEntriesBreakTheLineAndAreCounted) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    const char* name;
    std::vector<double> strain, stress;
    std::size_t subpaths;
    const char* note;
  } cases[] = {
      {"one NaN stress",
       {0, 1, 2, 3, 4},
       {0, 10, nan, 30, 40},
       2,
       "1 entry is NaN or infinite and breaks the line"},
      {"infinite strain and stress",
       {0, inf, 2, 3, 4},
       {0, 10, 20, -inf, 40},
       3,
       "2 entries are NaN or infinite and break the line"},
      {"NaN at both ends",
       {nan, 1, 2, nan},
       {0, 10, 20, 30},
       1,
       "2 entries are NaN or infinite and break the line"},
      {"all NaN", {nan, nan}, {nan, nan}, 0, "2 entries are NaN or infinite and break the line"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    History h;
    h.strain = c.strain;
    h.stress = c.stress;
    std::string svg = RenderSvg(h, {});
    EXPECT_EQ(plottest::XmlProblem(svg), "");
    auto line = plottest::TagsOfClass(svg, "history");
    ASSERT_EQ(line.size(), 1u);
    // Only plain coordinates reach the path: no "nan", "inf" or exponents.
    EXPECT_EQ(plottest::Attr(line[0], "d").find_first_not_of("0123456789.,- Mh"),
              std::string::npos);
    EXPECT_EQ(plottest::Subpaths(plottest::Attr(line[0], "d")).size(), c.subpaths);
    auto notes = plottest::TextsOfClass(svg, "note");
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_NE(notes[0].find(c.note), std::string::npos) << notes[0];
    EXPECT_TRUE(plottest::TagsOfClass(svg, "backbone").empty());
  }
}

TEST(RenderSvg, ThinnedLineSaysSo) {
  History h;
  for (int i = 0; i <= 1000; ++i) {
    h.strain.push_back(i * 0.001);
    h.stress.push_back(i * 0.2);
  }
  PlotStats stats;
  std::string svg = RenderSvg(h, {}, &stats);
  EXPECT_EQ(stats.drawn, 2u);
  auto notes = plottest::TextsOfClass(svg, "note");
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0], "line drawn through 2 of 1,001 points, every reversal kept");
  EXPECT_NE(svg.find(">Stress-strain history: 1,001 entries</text>"), std::string::npos);
}

LoopLayer ExampleLayer(std::size_t top) {
  LoopLayer layer;
  layer.top = top;
  std::string error;
  EXPECT_TRUE(ParseLoopsText(plottest::kExampleLoops, ExampleHistory(), layer.rows, error))
      << error;
  return layer;
}

TEST(RenderSvg, LoopLayerDrawsTheExamplesCyclesAndTheDamageSum) {
  History h = ExampleHistory();
  std::vector<Point> bb = ParseBackbone(testsupport::kExampleInput);
  LoopLayer layer = ExampleLayer(10);
  std::string svg = RenderSvg(h, bb, nullptr, &layer);
  EXPECT_EQ(plottest::XmlProblem(svg), "");
  EXPECT_NE(svg.find("viewBox=\"0 0 960 876\""), std::string::npos);

  // Least damaging first, so that the most damaging lies on top.
  std::vector<std::string> loops = plottest::TagsOfClass(svg, "loop");
  ASSERT_EQ(loops.size(), 3u);
  EXPECT_EQ(plottest::TextsOfClass(svg, "loop-label"), (std::vector<std::string>{"3\u2013"
                                                                                 "4",
                                                                                 "1\u2013"
                                                                                 "2",
                                                                                 "2\u2013"
                                                                                 "6"}));
  EXPECT_EQ(plottest::Attr(loops[0], "stroke"), ScaleColour(0));
  EXPECT_EQ(plottest::Attr(loops[2], "stroke"), ScaleColour(1));
  EXPECT_EQ(plottest::Attr(loops[0], "stroke-dasharray"), "");  // closed
  EXPECT_NE(plottest::Attr(loops[1], "stroke-dasharray"), "");  // half cycles
  EXPECT_NE(plottest::Attr(loops[2], "stroke-dasharray"), "");

  // The closed loop: up its branch from entry 3 to 4, back down past
  // entry 5 and closed at entry 3.
  plottest::AxisMap xm = plottest::ReadAxis(svg, true);
  plottest::AxisMap ym = plottest::ReadAxis(svg, false);
  auto outline = plottest::Subpaths(plottest::Attr(loops[0], "d"));
  ASSERT_EQ(outline.size(), 1u);
  const Pt want[] = {{-4, -160}, {0, 90}, {-3, -135}, {-4, -160}};
  ASSERT_EQ(outline[0].size(), 4u);
  for (std::size_t k = 0; k < 4; ++k) {
    SCOPED_TRACE(k);
    EXPECT_NEAR(outline[0][k].x, xm(want[k].x), 0.06);
    EXPECT_NEAR(outline[0][k].y, ym(want[k].y), 0.06);
  }

  // The strip: all three damages enter at the last entry.
  plottest::AxisMap sx = plottest::ReadAxis(svg, true, "strip-");
  plottest::AxisMap sy = plottest::ReadAxis(svg, false, "strip-");
  ASSERT_TRUE(sx.consistent && sy.consistent);
  EXPECT_EQ(sy.lo, 0);
  auto sum = plottest::TagsOfClass(svg, "damage-sum");
  ASSERT_EQ(sum.size(), 1u);
  auto steps = plottest::Subpaths(plottest::Attr(sum[0], "d"));
  ASSERT_EQ(steps.size(), 1u);
  const double total = 0.0004 + 0.004166666666666667 + 0.0125;
  EXPECT_NEAR(steps[0].front().x, sx(1), 0.06);
  EXPECT_NEAR(steps[0].front().y, sy(0), 0.06);
  EXPECT_NEAR(steps[0].back().x, sx(6), 0.06);
  EXPECT_NEAR(steps[0].back().y, sy(total), 0.06);
  EXPECT_EQ(plottest::TextsOfClass(svg, "damage-total"), std::vector<std::string>{"D = 0.0171"});
  EXPECT_EQ(plottest::TextsOfClass(svg, "legend-count"),
            (std::vector<std::string>{"3 most damaging", "of 3 counted cycles"}));
  EXPECT_EQ(plottest::TextsOfClass(svg, "legend-tick"),
            (std::vector<std::string>{"0.0125", "0.0004"}));
  EXPECT_EQ(plottest::TagsOfClass(svg, "legend-half").size(), 1u);

  // The rest of the picture is as without the layer: every line of that
  // picture but the one with the size is still there.
  std::istringstream plain(RenderSvg(h, bb));
  for (std::string line; std::getline(plain, line);) {
    if (line.rfind("<svg ", 0) == 0) continue;
    EXPECT_NE(svg.find(line + "\n"), std::string::npos) << line;
  }
}

TEST(RenderSvg, LoopLayerSaysWhatItLeftOut) {
  struct Case {
    const char* name;
    std::size_t top;
    bool harmless;  // every damage set to 0
    std::size_t loops;
    std::vector<std::string> counts;
    const char* total;
  } cases[] = {
      {"none asked for", 0, false, 0, {"no cycle drawn", "of 3 counted cycles"}, "D = 0.0171"},
      {"no damage anywhere", 10, true, 0, {"no cycle with damage", "of 3 counted cycles"}, "D = 0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LoopLayer layer = ExampleLayer(c.top);
    if (c.harmless)
      for (LoopRow& r : layer.rows) r.damage = 0;
    std::string svg = RenderSvg(ExampleHistory(), {}, nullptr, &layer);
    EXPECT_EQ(plottest::XmlProblem(svg), "");
    EXPECT_EQ(plottest::TagsOfClass(svg, "loop").size(), c.loops);
    EXPECT_EQ(plottest::TagsOfClass(svg, "legend-scale").size(), c.loops > 0 ? 1u : 0u);
    EXPECT_EQ(plottest::TextsOfClass(svg, "legend-count"), c.counts);
    EXPECT_EQ(plottest::TextsOfClass(svg, "damage-total"), std::vector<std::string>{c.total});
    EXPECT_TRUE(plottest::ReadAxis(svg, false, "strip-").consistent);
  }
}

}  // namespace
}  // namespace Plot
