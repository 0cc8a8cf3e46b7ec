// Reversal detection and line thinning (an angular-window "sleeve" pass that
// looks at each point once, so millions of entries thin in linear time).
#include "plot/thin.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace Plot {

std::vector<bool> FindReversals(const std::vector<double>& strain) {
  std::vector<bool> reversal(strain.size(), false);
  int last_dir = 0;
  bool have_prev = false;
  std::size_t prev = 0;
  for (std::size_t i = 0; i < strain.size(); ++i) {
    if (!std::isfinite(strain[i])) continue;
    if (have_prev && strain[i] != strain[prev]) {
      int dir = strain[i] > strain[prev] ? 1 : -1;
      if (last_dir != 0 && dir != last_dir) reversal[prev] = true;
      last_dir = dir;
    }
    prev = i;
    have_prev = true;
  }
  return reversal;
}

namespace {

// The directions from the anchor that a line may take and still pass within
// the tolerance of every point seen since the anchor. Angles are relative to
// the direction of the first point that constrained the window, so the
// window never wraps around.
struct Sleeve {
  Point anchor;
  bool constrained = false;
  double reference = 0;
  double lo = -std::numbers::pi;
  double hi = std::numbers::pi;
  double reach = 0;  // farthest distance from the anchor so far

  void Reset(Point a) { *this = Sleeve{a}; }

  // Whether a line from the anchor to p keeps every earlier point in range.
  bool Admits(Point p, double tolerance) const {
    double dx = p.x - anchor.x;
    double dy = p.y - anchor.y;
    double d = std::hypot(dx, dy);
    if (d < reach - tolerance) return false;  // the line would double back
    if (d <= tolerance || !constrained) return true;
    double rel = Relative(std::atan2(dy, dx));
    return rel >= lo && rel <= hi;
  }

  // Narrows the window by p, which has been admitted.
  void Add(Point p, double tolerance) {
    double dx = p.x - anchor.x;
    double dy = p.y - anchor.y;
    double d = std::hypot(dx, dy);
    reach = std::max(reach, d);
    if (d <= tolerance) return;
    double angle = std::atan2(dy, dx);
    if (!constrained) {
      constrained = true;
      reference = angle;
    }
    double rel = Relative(angle);
    double half = std::asin(tolerance / d);
    lo = std::max(lo, rel - half);
    hi = std::min(hi, rel + half);
  }

  double Relative(double angle) const {
    double rel = angle - reference;
    if (rel > std::numbers::pi) rel -= 2 * std::numbers::pi;
    if (rel <= -std::numbers::pi) rel += 2 * std::numbers::pi;
    return rel;
  }
};

}  // namespace

std::vector<std::size_t> ThinRun(const std::vector<Point>& pts, std::size_t begin, std::size_t end,
                                 const std::vector<bool>& keep, double tolerance) {
  std::vector<std::size_t> kept;
  if (begin >= end) return kept;
  kept.push_back(begin);
  Sleeve sleeve;
  sleeve.Reset(pts[begin]);
  for (std::size_t i = begin + 1; i < end; ++i) {
    if (!sleeve.Admits(pts[i], tolerance)) {
      // The previous point cannot be dropped: it becomes the new anchor.
      kept.push_back(i - 1);
      sleeve.Reset(pts[i - 1]);
    }
    sleeve.Add(pts[i], tolerance);
    if (i + 1 == end || keep[i]) {
      kept.push_back(i);
      sleeve.Reset(pts[i]);
    }
  }
  return kept;
}

}  // namespace Plot
