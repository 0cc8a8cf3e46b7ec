// Tests of the loop count: the four-point rule on hand-made paths, the
// residue options, and random paths against an independent account.
#include "fatigue/loops.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <random>
#include <vector>

namespace {

void Collect(const Loop& loop, void* context) {
  static_cast<std::vector<Loop>*>(context)->push_back(loop);
}

// A stress that tells the entries apart, so a loop's stresses show which
// entries of the path they were taken from.
double StressOf(int64_t entry, double strain) {
  return 100.0 * strain + 0.001 * static_cast<double>(entry);
}

std::vector<Loop> Count(LoopCounter& counter, const std::vector<double>& strains,
                        ResidueMode mode) {
  std::vector<Loop> loops;
  for (size_t i = 0; i < strains.size(); ++i) {
    FeedPath(counter, strains[i], StressOf(static_cast<int64_t>(i) + 1, strains[i]), Collect,
             &loops);
  }
  FinishPath(counter, mode, Collect, &loops);
  return loops;
}

std::vector<Loop> Count(const std::vector<double>& strains, ResidueMode mode) {
  LoopCounter counter;
  return Count(counter, strains, mode);
}

// A counted cycle by its entries: B, C, the closing entry and the count.
struct Cycle {
  int64_t b, c, closing;
  double count;
  bool operator==(const Cycle&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Cycle& x) {
  return os << "{" << x.b << "," << x.c << "," << x.closing << "," << x.count << "}";
}

std::vector<Cycle> Cycles(const std::vector<Loop>& loops) {
  std::vector<Cycle> out;
  for (const Loop& l : loops) out.push_back({l.b.entry, l.c.entry, l.closing_entry, l.count});
  return out;
}

struct RuleCase {
  const char* name;
  std::vector<double> strains;
  ResidueMode mode;
  std::vector<Cycle> cycles;
};

TEST(LoopCount, FourPointRuleOnHandMadePaths) {
  const RuleCase cases[] = {
      {"worked example",
       {0, 4, -4, 0, -3, -5},
       ResidueMode::kHalfCycles,
       {{3, 4, 6, 1}, {1, 2, 0, 0.5}, {2, 6, 0, 0.5}}},
      {"worked example, residue dropped",
       {0, 4, -4, 0, -3, -5},
       ResidueMode::kNone,
       {{3, 4, 6, 1}}},
      // The residue 0 4 -5 run after itself closes the loop -5..4 at its
      // second -5; the points keep their entries.
      {"worked example, residue repeated",
       {0, 4, -4, 0, -3, -5},
       ResidueMode::kRepeat,
       {{3, 4, 6, 1}, {6, 2, 6, 1}}},
      // Three loops inside each other close inside out, each by the entry
      // that passes its B.
      {"nested",
       {0, 10, 2, 8, 4, 6, 3, 9, -1},
       ResidueMode::kNone,
       {{5, 6, 7, 1}, {4, 7, 8, 1}, {3, 8, 9, 1}}},
      // Reaching B exactly closes the loop; the next entry goes on from A.
      {"closes exactly at an old point",
       {0, 5, 1, 3, 1, -2},
       ResidueMode::kHalfCycles,
       {{3, 4, 5, 1}, {1, 2, 0, 0.5}, {2, 6, 0, 0.5}}},
      // A run of equal strains is one point, the first entry of the run.
      {"repeated strain",
       {0, 3, 3, 3, 1, 1, 2, 4},
       ResidueMode::kHalfCycles,
       {{2, 5, 8, 1}, {1, 8, 0, 0.5}}},
      {"repeated strain at the end",
       {0, 3, 1, 1, 1},
       ResidueMode::kHalfCycles,
       {{1, 2, 0, 0.5}, {2, 3, 0, 0.5}}},
      {"monotone", {0, 1, 2, 3}, ResidueMode::kHalfCycles, {{1, 4, 0, 0.5}}},
      {"constant", {5, 5, 5}, ResidueMode::kHalfCycles, {}},
      {"one entry", {5}, ResidueMode::kRepeat, {}},
      // B-C wider than A-B: passing B closes nothing.
      {"diverging",
       {0, 4, -5, 6},
       ResidueMode::kHalfCycles,
       {{1, 2, 0, 0.5}, {2, 3, 0, 0.5}, {3, 4, 0, 0.5}}},
      {"equal ranges close", {0, 4, 0, 4, 0}, ResidueMode::kNone, {{2, 3, 4, 1}}},
      // The residue rises from -4 on into its own start: -2 is no turning
      // point of the second pass, and the loop -4..6 closes at the second -4.
      {"repeat across a junction that goes on",
       {0, 6, -4, -2},
       ResidueMode::kRepeat,
       {{3, 2, 3, 1}}},
      {"repeat across a reversal",
       {0, 6, -4, 2},
       ResidueMode::kRepeat,
       {{4, 1, 2, 1}, {3, 2, 3, 1}}},
  };
  for (const RuleCase& k : cases) {
    SCOPED_TRACE(k.name);
    EXPECT_EQ(Cycles(Count(k.strains, k.mode)), k.cycles);
  }
}

// The turning points of a path, found independently of the counter:
// entries of the first of each run of equal strains where the direction
// changes, plus the first and the last entry.
std::vector<int64_t> TurningPoints(const std::vector<double>& s) {
  std::vector<int64_t> runs;  // first entry of each run, 0-based
  for (size_t i = 0; i < s.size(); ++i) {
    if (i == 0 || s[i] != s[i - 1]) runs.push_back(static_cast<int64_t>(i));
  }
  std::vector<int64_t> tp;
  for (size_t k = 0; k < runs.size(); ++k) {
    const bool end = k == 0 || k + 1 == runs.size();
    if (end || (s[runs[k]] - s[runs[k - 1]]) * (s[runs[k + 1]] - s[runs[k]]) < 0)
      tp.push_back(runs[k] + 1);
  }
  return tp;
}

TEST(LoopCount, RandomPathsAccountForEveryTurningPointOnce) {
  std::mt19937_64 rng(19);
  LoopCounter counter;  // reused: each FinishPath leaves it empty
  for (int trial = 0; trial < 300; ++trial) {
    SCOPED_TRACE(trial);
    // Small integers give many repeats and loops closing exactly at B.
    const int length = 1 + static_cast<int>(rng() % 200);
    const int spread = 2 + static_cast<int>(rng() % 30);
    std::vector<double> s;
    for (int i = 0; i < length; ++i)
      s.push_back(static_cast<double>(static_cast<int>(rng() % spread) - spread / 2));

    const std::vector<Loop> loops = Count(counter, s, ResidueMode::kHalfCycles);
    std::map<int64_t, int> used;
    double counted = 0;  // closed ranges twice, half cycles once
    for (const Loop& l : loops) {
      for (const PathPoint* p : {&l.b, &l.c}) {
        ASSERT_GE(p->entry, 1);
        ASSERT_LE(p->entry, length);
        EXPECT_EQ(p->strain, s[p->entry - 1]);
        EXPECT_EQ(p->stress, StressOf(p->entry, p->strain));
      }
      const double range = std::fabs(l.b.strain - l.c.strain);
      if (l.count == 1.0) {
        ++used[l.b.entry];
        ++used[l.c.entry];
        counted += 2 * range;
        // The closing entry is the first after C that reaches B.
        ASSERT_GT(l.closing_entry, l.c.entry);
        const double dir = l.b.strain > l.c.strain ? 1 : -1;
        EXPECT_GE(dir * (s[l.closing_entry - 1] - l.b.strain), 0);
        for (int64_t e = l.c.entry + 1; e < l.closing_entry; ++e)
          EXPECT_LT(dir * (s[e - 1] - l.b.strain), 0);
      } else {
        EXPECT_EQ(l.count, 0.5);
        EXPECT_EQ(l.closing_entry, 0);
        counted += range;
      }
    }
    // The residue's points: every B of a half cycle and the last C.
    std::vector<const Loop*> halves;
    for (const Loop& l : loops) {
      if (l.count == 0.5) halves.push_back(&l);
    }
    for (size_t i = 0; i < halves.size(); ++i) {
      if (i > 0) {
        EXPECT_EQ(halves[i]->b.entry, halves[i - 1]->c.entry);
      }
      ++used[halves[i]->b.entry];
    }
    if (!halves.empty()) ++used[halves.back()->c.entry];

    const std::vector<int64_t> tp = TurningPoints(s);
    std::map<int64_t, int> expected;
    double travel = 0;
    for (size_t i = 0; i < tp.size(); ++i) {
      if (tp.size() > 1) expected[tp[i]] = 1;
      if (i > 0) travel += std::fabs(s[tp[i] - 1] - s[tp[i - 1] - 1]);
    }
    EXPECT_EQ(used, expected);
    EXPECT_EQ(counted, travel);
  }
}

}  // namespace

namespace {

// A run of single-precision entries in pieces counts what the entries one by
// one count, entry numbers included.
TEST(LoopCount, RunsInPiecesCountAsSingleEntries) {
  std::mt19937_64 rng(7);
  for (int trial = 0; trial < 50; ++trial) {
    SCOPED_TRACE(trial);
    std::vector<float> strain, stress;
    for (int i = 0; i < 500; ++i) {
      strain.push_back(static_cast<float>(static_cast<int>(rng() % 21) - 10) * 0.25f);
      stress.push_back(static_cast<float>(StressOf(i + 1, strain.back())));
    }
    LoopCounter one;
    std::vector<Loop> expected;
    for (int i = 0; i < 500; ++i) FeedPath(one, strain[i], stress[i], Collect, &expected);
    FinishPath(one, ResidueMode::kHalfCycles, Collect, &expected);

    LoopCounter run;
    std::vector<Loop> loops;
    for (int64_t at = 0; at < 500;) {
      const int64_t n = std::min<int64_t>(500 - at, static_cast<int64_t>(rng() % 90));
      FeedPathRun(run, strain.data() + at, stress.data() + at, n, Collect, &loops);
      at += n;
    }
    FinishPath(run, ResidueMode::kHalfCycles, Collect, &loops);
    EXPECT_EQ(Cycles(loops), Cycles(expected));
    ASSERT_EQ(loops.size(), expected.size());
    for (size_t i = 0; i < loops.size(); ++i) EXPECT_EQ(loops[i].c.stress, expected[i].c.stress);
  }
}

}  // namespace
