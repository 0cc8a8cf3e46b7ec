// Closed hysteresis loops of a stress-strain path: turning points and the
// four-point rule on strains, fed one path entry at a time.
#pragma once
#include <cstdint>
#include <vector>

// One entry of the path: its 1-based record number (a line of "output.txt")
// and its strain and stress.
struct PathPoint {
  int64_t entry = 0;
  double strain = 0.0;
  double stress = 0.0;
};

// One counted cycle: a closed loop between the turning points b and c
// (count 1, closed by `closing_entry`), or a half cycle of the residue from b
// to c (count 0.5, `closing_entry` 0).
struct Loop {
  PathPoint b;
  PathPoint c;
  int64_t closing_entry = 0;
  double count = 1.0;
};

// What happens to the turning points left open at the end of the path.
enum class ResidueMode {
  kHalfCycles,  // a half cycle between each two consecutive residue points
  kRepeat,      // the residue runs once more after itself; the loops it
                // closes are counted, what stays open is dropped
  kNone,        // dropped
};

// Receives each counted cycle, in the order the cycles are found.
using LoopSink = void (*)(const Loop& loop, void* context);

// The state of a count: the open turning points (the residue stack), the
// entry before the current one and the direction of the strain.
struct LoopCounter {
  std::vector<PathPoint> residue;  // open turning points, oldest first
  PathPoint last;                  // the entry fed last
  int direction = 0;               // +1 rising, -1 falling, 0 not yet moved
  int64_t entries = 0;             // entries fed so far
};

// Takes the next entry of the path (numbered from 1 in the order fed) and
// hands every loop it closes to `sink`.
void FeedPath(LoopCounter& counter, double strain, double stress, LoopSink sink, void* context);

// Takes the entries (strain[i], stress[i]) for i = 0..n-1 in order, as n
// calls of FeedPath would: the single-precision arrays of a computed path.
void FeedPathRun(LoopCounter& counter, const float* strain, const float* stress, int64_t n,
                 LoopSink sink, void* context);

// Ends the path: its last entry becomes a turning point, and the residue is
// handed to `sink` as `mode` says. The counter is then empty again.
void FinishPath(LoopCounter& counter, ResidueMode mode, LoopSink sink, void* context);
