// Reversal points of a strain history and the thinning of the drawn line:
// points that change no pixel are dropped, reversal points never.
#pragma once
#include <cstddef>
#include <vector>

#include "plot/history.h"

namespace Plot {

// True at entry j when the strain turns there: the last nonzero increment
// before j and the first nonzero increment after j have opposite signs (at
// the last entry of a flat stretch). Entries whose strain is not finite are
// passed over, so a NaN between two entries does not hide a turn.
std::vector<bool> FindReversals(const std::vector<double>& strain);

// Thins the run of drawing points pts[begin..end) (already in picture units)
// and returns the indices to keep, in order: always `begin`, `end`-1 and
// every index with keep[i] set; any other point is dropped when the straight
// line between its kept neighbours passes within `tolerance` of it and of all
// other dropped points between them, and the line does not double back.
std::vector<std::size_t> ThinRun(const std::vector<Point>& pts, std::size_t begin, std::size_t end,
                                 const std::vector<bool>& keep, double tolerance);

}  // namespace Plot
