// Drawing a history as an SVG picture: axes with nice ticks, the thinned
// stress-strain line, reversal markers, the backbone as a reference line and,
// when asked, the loop layer (the most damaging cycles and the damage sum).
#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "plot/history.h"
#include "plot/looplayer.h"

namespace Plot {

// An axis from lo to hi with ticks every `step`; lo and hi are multiples of step.
struct Axis {
  double lo = 0;
  double hi = 1;
  double step = 1;
};

// Chooses an axis that covers [min, max] with about `target` intervals of
// 1, 2 or 5 times a power of ten. A zero-width or non-finite range is widened
// around its value so that the axis always has lo < hi.
Axis NiceAxis(double min, double max, int target);

// The label of the tick at `value` on an axis ticked every `step`: as many
// decimals as the step needs ("0.002", "-150", "0"), exponent form for very
// large or very small steps.
std::string FormatTick(double value, double step);

// Counts that the picture reports.
struct PlotStats {
  std::size_t entries = 0;
  std::size_t non_finite = 0;  // entries with a NaN or infinite strain or stress
  std::size_t drawn = 0;       // points left in the line after thinning
  std::size_t reversals = 0;   // reversal points among the drawable entries
  std::size_t markers = 0;     // reversal markers written (coincident ones merged)
};

// Renders the whole picture. `backbone` may be empty (no reference line).
// Fills `stats` when given. The line is thinned to well under a pixel; only
// when that picture would reach 2,000,000 bytes is it thinned more coarsely
// (up to about a pixel). Reversal points are kept whatever the size. With
// `loops`, the most damaging cycles are drawn over the line in the colours
// of a damage scale and labelled with their entries, and a strip under the
// plot shows the damage sum against the entry number, with the legend of
// the scale beside it; the rest of the picture stays as it is without them.
std::string RenderSvg(const History& history, const std::vector<Point>& backbone,
                      PlotStats* stats = nullptr, const LoopLayer* loops = nullptr);

}  // namespace Plot
