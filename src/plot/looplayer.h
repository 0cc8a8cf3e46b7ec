// The loop layer of the picture in data terms: which cycles are drawn, their
// outlines on the path, their colours, and the damage sum along the history.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "plot/history.h"
#include "plot/loopfile.h"

namespace Plot {

// The most loops that --top may ask for: each outline is a walk along the
// path, and a picture of more labelled loops could not be read anyway.
inline constexpr std::size_t kMaxTop = 1000;

// What the loop layer is drawn from: every counted cycle of the loops file
// and how many of the most damaging cycles to draw.
struct LoopLayer {
  std::vector<LoopRow> rows;
  std::size_t top = 10;
};

// Indices into `rows` of the (at most) `top` most damaging cycles, most
// damaging first. Cycles without damage are never among them; of equal
// damages the earlier row comes first.
std::vector<std::size_t> MostDamaging(const std::vector<LoopRow>& rows, std::size_t top);

// The entry at which each cycle's damage enters the damage sum: its closing
// entry while the closed loops follow the history (each closes after its
// turning points and no earlier than the loop before it); from the first
// row that does not (a half cycle of the residue, or a loop closed when the
// residue runs once more) on, the last entry of the path.
std::vector<std::size_t> CountedAt(const std::vector<LoopRow>& rows, std::size_t entries);

// The damage sum reached at `entry`.
struct DamageStep {
  std::size_t entry = 0;
  double sum = 0;
};

// The damage sum along the history, from CountedAt's entries: one step for
// each entry at which damage enters, in order, summed in row order.
std::vector<DamageStep> DamageSum(const std::vector<LoopRow>& rows,
                                  const std::vector<std::size_t>& counted_at);

// The outline of a cycle on the path as (strain, stress) points: from B
// along the path to C, keeping only the entries that carry the strain
// further towards C (so inner loops are left out), and for a closed loop on
// from C towards B the same way, up to the last entry before the strain
// reaches B again, then B itself. Entries that are not finite are passed
// over. Where the path does not lead from one point to the next (a loop
// closed when the residue runs once more) the outline goes straight. Empty
// when B or C is not finite.
std::vector<Point> LoopOutline(const History& history, const LoopRow& row);

// A rectangle in picture units: x0 < x1, y0 < y1 (y grows downwards).
struct Box {
  double x0 = 0;
  double y0 = 0;
  double x1 = 0;
  double y1 = 0;
};

// Places labels `height` high and widths[i] wide by their anchor points,
// in order, so that earlier labels get the better places: right of and just
// above the anchor (left of it where the area ends), else moved up or down
// by whole label heights, nearest first, to the first place that overlaps
// no label placed before; where there is none, at the first place. Every
// box is kept inside `area` where it fits.
std::vector<Box> PlaceLabels(const std::vector<Point>& anchors, const std::vector<double>& widths,
                             double height, const Box& area);

// The place of `damage` on the colour scale of the damages from `lo` to
// `hi` (all positive): 0 at lo, 1 at hi, in proportion to the logarithm;
// 1 when lo equals hi.
double ScalePosition(double damage, double lo, double hi);

// The colour at `t` (clamped to 0..1) of a sequential scale from light
// yellow (0) through orange to dark brown (1), as "#rrggbb".
std::string ScaleColour(double t);

}  // namespace Plot
