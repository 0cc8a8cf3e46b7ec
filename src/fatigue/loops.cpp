// Closed hysteresis loops of a stress-strain path: the turning points kept on
// a stack and the four-point rule on strains, checked as each entry arrives.
#include "fatigue/loops.h"

#include <cmath>
#include <cstddef>

namespace {

// True when `strain`, moving in direction `d`, has reached or passed `mark`.
inline bool Reaches(int d, double strain, double mark) {
  return d > 0 ? strain >= mark : strain <= mark;
}

// Closes the loops that the entry `last`, moving in the counter's direction,
// completes: while it has reached the turning point B below the top C and
// the range B-C lies within the range A-B before it, B-C is a closed loop.
// Each closed loop leaves the entry moving on from A, in the same direction.
void CloseLoops(LoopCounter& c, LoopSink sink, void* context) {
  std::vector<PathPoint>& r = c.residue;
  const int d = c.direction;
  while (r.size() >= 3) {
    const std::size_t n = r.size();
    const PathPoint& a = r[n - 3];
    const PathPoint& b = r[n - 2];
    const PathPoint& top = r[n - 1];
    // C lies between A and B exactly when |B - C| <= |A - B|; compared
    // directly so that no rounding of a difference decides it.
    if (!Reaches(d, c.last.strain, b.strain) || !Reaches(d, top.strain, a.strain)) return;
    sink(Loop{b, top, c.last.entry, 1.0}, context);
    r.resize(n - 2);
  }
}

// Everything but an entry that goes on in the current direction: the first
// entry, a repeated strain, the first move and a reversal.
void Turn(LoopCounter& c, const PathPoint& p, LoopSink sink, void* context) {
  if (std::isnan(p.strain)) return;  // no place on the path; readers reject it first
  if (c.residue.empty() && c.direction == 0) {
    c.residue.push_back(p);
    c.last = p;
    return;
  }
  // A repeated strain is the same point as the first entry of its run.
  if (p.strain == c.last.strain) return;
  const int d = p.strain > c.last.strain ? 1 : -1;
  if (c.direction != 0) c.residue.push_back(c.last);  // a reversal: the entry before turned
  c.direction = d;
  c.last = p;
  CloseLoops(c, sink, context);
}

// Takes one point of a path: a comparison or two when it only goes on in the
// current direction and closes nothing.
inline void Feed(LoopCounter& c, const PathPoint& p, LoopSink sink, void* context) {
  const int d = c.direction;
  if (d > 0 ? p.strain > c.last.strain : d < 0 && p.strain < c.last.strain) {
    c.last = p;
    const std::size_t n = c.residue.size();
    if (n >= 3 && Reaches(d, p.strain, c.residue[n - 2].strain)) CloseLoops(c, sink, context);
    return;
  }
  Turn(c, p, sink, context);
}

void HalfCycles(const std::vector<PathPoint>& r, LoopSink sink, void* context) {
  for (std::size_t i = 0; i + 1 < r.size(); ++i) sink(Loop{r[i], r[i + 1], 0, 0.5}, context);
}

// The residue followed by itself: the loops it closes keep the entries of
// the points they are made of; what stays open is dropped.
void RepeatResidue(const std::vector<PathPoint>& r, LoopSink sink, void* context) {
  LoopCounter again;
  again.residue.reserve(r.size());
  for (int pass = 0; pass < 2; ++pass) {
    for (const PathPoint& p : r) Feed(again, p, sink, context);
  }
}

}  // namespace

void FeedPath(LoopCounter& counter, double strain, double stress, LoopSink sink, void* context) {
  Feed(counter, PathPoint{++counter.entries, strain, stress}, sink, context);
}

void FeedPathRun(LoopCounter& counter, const float* strain, const float* stress, int64_t n,
                 LoopSink sink, void* context) {
  for (int64_t i = 0; i < n; ++i) {
    Feed(counter, PathPoint{++counter.entries, strain[i], stress[i]}, sink, context);
  }
}

void FinishPath(LoopCounter& counter, ResidueMode mode, LoopSink sink, void* context) {
  // The last entry (the first of its run of equal strains) ends the path.
  if (counter.direction != 0) counter.residue.push_back(counter.last);
  switch (mode) {
    case ResidueMode::kHalfCycles: HalfCycles(counter.residue, sink, context); break;
    case ResidueMode::kRepeat: RepeatResidue(counter.residue, sink, context); break;
    case ResidueMode::kNone: break;
  }
  counter.residue.clear();
  counter.last = PathPoint{};
  counter.direction = 0;
  counter.entries = 0;
}
