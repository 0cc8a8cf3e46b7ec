// The rows of loops.csv and the tally behind the summary.
#include "life/report.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace {

using Life::FormatCsvRow;

std::string Row(const Loop& loop, const LoopDamage& d) {
  char out[Life::kCsvRowMax];
  return std::string(out, FormatCsvRow(loop, d, out));
}

TEST(CsvRow, ColumnsAndShortestNumbers) {
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    const char* name;
    Loop loop;
    LoopDamage d;
    const char* row;
  } cases[] = {
      {"closed loop without damage",
       {{3, 0.25, 50.5}, {4, -0.5, -100}, 6, 1.0},
       {0.375, 75.25, -24.75, 50.5, 0, inf, 0},
       "6,3,4,1,-0.5,0.25,-100,50.5,0.375,75.25,-24.75,0,inf,0\n"},
      {"half cycle: empty closing, count 0.5, path values as floats, doubles read back exactly",
       {{1, 0.0, 0.0}, {2, static_cast<double>(0.1f), 160}, 0, 0.5},
       {0.1 + 0.2, 80, 80, 160, 1e-300, 2.5e12, 2e-13},
       ",1,2,0.5,0,0.1,0,160,0.30000000000000004,80,80,1e-300,2.5e+12,"
       "2e-13\n"},
      // The tail "0,inf,0" of a cycle without damage is copied whole; the
      // rows beside it take the general way.
      {"without damage, a negative zero parameter",
       {{3, 0.25, 50.5}, {4, -0.5, -100}, 6, 1.0},
       {0.375, 75.25, -24.75, 50.5, -0.0, inf, 0},
       "6,3,4,1,-0.5,0.25,-100,50.5,0.375,75.25,-24.75,-0,inf,0\n"},
      {"without damage, finite cycles",
       {{3, 0.25, 50.5}, {4, -0.5, -100}, 6, 1.0},
       {0.375, 75.25, -24.75, 50.5, 0, 1e308, 0},
       "6,3,4,1,-0.5,0.25,-100,50.5,0.375,75.25,-24.75,0,1e+308,0\n"},
      {"without damage, a negative zero damage",
       {{3, 0.25, 50.5}, {4, -0.5, -100}, 6, 1.0},
       {0.375, 75.25, -24.75, 50.5, 0, inf, -0.0},
       "6,3,4,1,-0.5,0.25,-100,50.5,0.375,75.25,-24.75,0,inf,-0\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Row(c.loop, c.d), c.row);
  }
  EXPECT_EQ(std::string(Life::kCsvHeader),
            "closing,b,c,count,strain_min,strain_max,stress_min,stress_max,strain_amplitude,"
            "stress_amplitude,mean_stress,parameter,cycles,damage\n");
}

TEST(CsvRow, LongestRowFits) {
  const double big = -1.2345678901234567e-300;
  const Loop loop{{INT64_MIN + 1, big, big}, {INT64_MAX, big, big}, INT64_MAX, 0.3333333333333333};
  const LoopDamage d{big, big, big, big, big, big, big};
  EXPECT_LT(Row(loop, d).size(), Life::kCsvRowMax);
}

Loop Cycle(int64_t closing) { return Loop{{1, 0, 0}, {2, 1, 1}, closing, closing > 0 ? 1.0 : 0.5}; }
LoopDamage Damage(double damage) {
  LoopDamage d;
  d.damage = damage;
  return d;
}

TEST(Tally, KeepsTheMostDamagingFirstAndTheEarlierOfEqualOnes) {
  Life::Tally t;
  t.top_max = 3;
  const double damages[] = {0.1, 0.0, 0.3, 0.2, 0.3, 0.05, 0.4};
  for (int i = 0; i < 7; ++i) Life::CountCycle(t, Cycle(i + 1), Damage(damages[i]));
  Life::CountCycle(t, Cycle(0), Damage(0.01));
  EXPECT_EQ(t.closed, 7);
  EXPECT_EQ(t.half, 1);
  ASSERT_EQ(t.top.size(), 3u);
  EXPECT_EQ(t.top[0].loop.closing_entry, 7);
  EXPECT_EQ(t.top[1].loop.closing_entry, 3);
  EXPECT_EQ(t.top[2].loop.closing_entry, 5);
  EXPECT_DOUBLE_EQ(Life::DamageSum(t), 1.36);
}

TEST(Tally, TinyDamagesAfterALargeOneAreNotLost) {
  Life::Tally t;
  Life::CountCycle(t, Cycle(1), Damage(1.0));
  for (int i = 0; i < 1000000; ++i) Life::CountCycle(t, Cycle(2), Damage(1e-17));
  EXPECT_NEAR(Life::DamageSum(t), 1.0 + 1e-11, 1e-15);
}

TEST(Summary, CountsDamageAndLife) {
  Life::Tally t;
  Life::CountCycle(t, Cycle(6), Damage(0.25));
  Life::CountCycle(t, Cycle(0), Damage(0.0));
  const std::string s = Life::SummaryText(t, 6, "parameter swt, residue half");
  EXPECT_NE(s.find("closed loops: 1\nhalf cycles: 1\ndamage sum D: 0.25\nlife 1/D: 4 "),
            std::string::npos)
      << s;
  EXPECT_NE(s.find("1 most damaging cycles:"), std::string::npos) << s;
  Life::Tally none;
  EXPECT_NE(Life::SummaryText(none, 1, "").find("life 1/D: inf"), std::string::npos);
}

}  // namespace
