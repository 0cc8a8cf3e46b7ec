// Choosing, outlining and colouring the drawn cycles; the damage sum.
#include "plot/looplayer.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace Plot {

namespace {

// Appends the entries after `from` up to `last` (0-based) that carry the
// strain further in the direction from `from` towards `limit`, stopping
// before the first entry that reaches `limit`.
void AppendBranch(const History& h, std::size_t from, std::size_t last, double limit,
                  std::vector<Point>& out) {
  double dir = limit > h.strain[from] ? 1 : -1;
  double reached = h.strain[from];
  for (std::size_t j = from + 1; j <= last && j < h.size(); ++j) {
    double e = h.strain[j];
    if (!std::isfinite(e) || !std::isfinite(h.stress[j])) continue;
    if (dir * (e - limit) >= 0) return;
    if (dir * (e - reached) > 0) {
      out.push_back({e, h.stress[j]});
      reached = e;
    }
  }
}

}  // namespace

std::vector<std::size_t> MostDamaging(const std::vector<LoopRow>& rows, std::size_t top) {
  std::vector<std::size_t> order;
  for (std::size_t i = 0; i < rows.size(); ++i)
    if (rows[i].damage > 0) order.push_back(i);
  std::size_t k = std::min(top, order.size());
  std::partial_sort(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(k), order.end(),
                    [&](std::size_t a, std::size_t b) {
                      return rows[a].damage > rows[b].damage ||
                             (rows[a].damage == rows[b].damage && a < b);
                    });
  order.resize(k);
  return order;
}

std::vector<std::size_t> CountedAt(const std::vector<LoopRow>& rows, std::size_t entries) {
  std::vector<std::size_t> at(rows.size(), entries);
  std::size_t last = 0;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const LoopRow& r = rows[i];
    if (r.closing == 0 || r.closing <= std::max(r.b, r.c) || r.closing < last) break;
    at[i] = last = r.closing;
  }
  return at;
}

std::vector<DamageStep> DamageSum(const std::vector<LoopRow>& rows,
                                  const std::vector<std::size_t>& counted_at) {
  std::vector<DamageStep> steps;
  double sum = 0;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    sum += rows[i].damage;
    if (!steps.empty() && steps.back().entry == counted_at[i]) steps.back().sum = sum;
    else steps.push_back({counted_at[i], sum});
  }
  return steps;
}

std::vector<Point> LoopOutline(const History& history, const LoopRow& row) {
  std::size_t b = row.b - 1;
  std::size_t c = row.c - 1;
  Point pb{history.strain[b], history.stress[b]};
  Point pc{history.strain[c], history.stress[c]};
  if (!std::isfinite(pb.x) || !std::isfinite(pb.y) || !std::isfinite(pc.x) || !std::isfinite(pc.y))
    return {};
  std::vector<Point> out{pb};
  AppendBranch(history, b, c, pc.x, out);
  out.push_back(pc);
  if (row.closing != 0) {
    AppendBranch(history, c, row.closing - 1, pb.x, out);
    out.push_back(pb);
  }
  return out;
}

std::vector<Box> PlaceLabels(const std::vector<Point>& anchors, const std::vector<double>& widths,
                             double height, const Box& area) {
  constexpr double kGap = 6;  // between the anchor and its label
  constexpr int kShifts = 8;  // label heights tried up and down
  std::vector<Box> placed;
  auto overlaps = [&](const Box& a) {
    return std::any_of(placed.begin(), placed.end(), [&](const Box& b) {
      return a.x0 < b.x1 && b.x0 < a.x1 && a.y0 < b.y1 && b.y0 < a.y1;
    });
  };
  for (std::size_t i = 0; i < anchors.size(); ++i) {
    Box base;
    base.x0 = anchors[i].x + kGap;
    base.x1 = base.x0 + widths[i];
    if (base.x1 > area.x1) {
      base.x1 = anchors[i].x - kGap;
      base.x0 = base.x1 - widths[i];
    }
    base.y1 = anchors[i].y - kGap;
    base.y0 = base.y1 - height;
    Box chosen{};
    bool found = false;
    for (int k = 0; k <= 2 * kShifts && !found; ++k) {
      const int steps = (k + 1) / 2;  // 0, 1, 1, 2, 2, ...: alternately up and down
      double shift = (k % 2 == 1 ? -steps : steps) * height;
      Box b = base;
      double y0 = std::clamp(b.y0 + shift, area.y0, std::max(area.y0, area.y1 - height));
      b.y1 = y0 + height;
      b.y0 = y0;
      if (k == 0) chosen = b;
      if (!overlaps(b)) {
        chosen = b;
        found = true;
      }
    }
    placed.push_back(chosen);
  }
  return placed;
}

double ScalePosition(double damage, double lo, double hi) {
  if (!(hi > lo)) return 1;
  double t = (std::log(damage) - std::log(lo)) / (std::log(hi) - std::log(lo));
  return std::clamp(t, 0.0, 1.0);
}

std::string ScaleColour(double t) {
  // Light yellow to dark brown; lightness falls steadily along the scale,
  // and even the lightest stop stands out on white.
  static constexpr std::uint8_t kStops[][3] = {{0xf2, 0xc1, 0x3a},
                                               {0xf0, 0x8c, 0x1e},
                                               {0xd9, 0x5b, 0x0b},
                                               {0xa8, 0x3a, 0x06},
                                               {0x66, 0x21, 0x06}};
  constexpr int kLast = static_cast<int>(std::size(kStops)) - 1;
  double pos = std::clamp(std::isnan(t) ? 1.0 : t, 0.0, 1.0) * kLast;
  int i = std::min(static_cast<int>(pos), kLast - 1);
  double f = pos - i;
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out = "#";
  for (int k = 0; k < 3; ++k) {
    double v = kStops[i][k] + f * (kStops[i + 1][k] - kStops[i][k]);
    int n = static_cast<int>(std::lround(v));
    out += kHex[n >> 4];
    out += kHex[n & 15];
  }
  return out;
}

}  // namespace Plot
