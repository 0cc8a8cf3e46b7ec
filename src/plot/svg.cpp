// The SVG picture of a history: layout, nice axes, thinned line, markers,
// and the loop layer over and under the plot.
#include "plot/svg.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <unordered_set>

#include "plot/thin.h"

namespace Plot {

namespace {

// Picture layout in viewBox units (one unit is one pixel at natural size).
constexpr double kWidth = 960;
constexpr double kHeight = 640;
constexpr double kLeft = 90;
constexpr double kRight = 30;
constexpr double kTop = 64;
constexpr double kBottom = 76;
constexpr double kPlotW = kWidth - kLeft - kRight;
constexpr double kPlotH = kHeight - kTop - kBottom;
// Thinning tolerances: well under half a pixel first; coarser ones only when
// the picture of a very long history would otherwise reach kSizeLimit.
constexpr double kTolerances[] = {0.3, 0.6, 1.2};
constexpr std::size_t kSizeLimit = 2000000;
constexpr int kTargetTicks = 8;

// Appends v with at most one decimal ("12.5", "-3", "0").
void AppendCoord(std::string& out, double v) {
  v = std::clamp(v, -1e6, 1e6);
  double r = std::round(v * 10) / 10;
  if (r == 0) r = 0;  // no "-0"
  char buf[32];
  auto res = std::to_chars(buf, buf + sizeof buf, r, std::chars_format::fixed, 1);
  std::size_t n = static_cast<std::size_t>(res.ptr - buf);
  if (n >= 2 && buf[n - 2] == '.' && buf[n - 1] == '0') n -= 2;
  out.append(buf, n);
}

void AppendPair(std::string& out, Point p) {
  AppendCoord(out, p.x);
  out += ',';
  AppendCoord(out, p.y);
}

std::string Coord(double v) {
  std::string s;
  AppendCoord(s, v);
  return s;
}

// "1234567" -> "1,234,567".
std::string Grouped(std::size_t n) {
  std::string digits = std::to_string(n);
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

// Maps data values onto a plot area (by default the main one).
struct Frame {
  Axis x;
  Axis y;
  double left = kLeft;
  double top = kTop;
  double width = kPlotW;
  double height = kPlotH;
  Point Map(double sx, double sy) const {
    return {left + (sx - x.lo) / (x.hi - x.lo) * width, top + (y.hi - sy) / (y.hi - y.lo) * height};
  }
};

bool Drawable(const History& h, std::size_t i) {
  return std::isfinite(h.strain[i]) && std::isfinite(h.stress[i]);
}

// Range of the drawable entries; false when there is none.
bool DataRange(const History& h, double& xmin, double& xmax, double& ymin, double& ymax) {
  bool any = false;
  for (std::size_t i = 0; i < h.size(); ++i) {
    if (!Drawable(h, i)) continue;
    if (!any) {
      xmin = xmax = h.strain[i];
      ymin = ymax = h.stress[i];
      any = true;
    }
    xmin = std::min(xmin, h.strain[i]);
    xmax = std::max(xmax, h.strain[i]);
    ymin = std::min(ymin, h.stress[i]);
    ymax = std::max(ymax, h.stress[i]);
  }
  return any;
}

// Appends the line and the reversal markers; fills the drawing counts.
void AppendHistory(std::string& out, const History& h, const Frame& f, double tolerance,
                   PlotStats& stats) {
  std::vector<Point> pts(h.size());
  for (std::size_t i = 0; i < h.size(); ++i)
    if (Drawable(h, i)) pts[i] = f.Map(h.strain[i], h.stress[i]);
  std::vector<bool> reversal = FindReversals(h.strain);

  std::string line;
  std::size_t i = 0;
  while (i < h.size()) {
    if (!Drawable(h, i)) {
      ++i;
      continue;
    }
    std::size_t end = i;
    while (end < h.size() && Drawable(h, end)) ++end;
    std::vector<std::size_t> kept = ThinRun(pts, i, end, reversal, tolerance);
    line += 'M';
    AppendPair(line, pts[kept[0]]);
    if (kept.size() == 1) line += "h0";  // a lone point shows as a dot
    for (std::size_t k = 1; k < kept.size(); ++k) {
      line += ' ';
      AppendPair(line, pts[kept[k]]);
    }
    stats.drawn += kept.size();
    i = end;
  }

  // Markers that fall on the same half-pixel are drawn once.
  std::unordered_set<std::uint64_t> seen;
  std::string marks;
  for (std::size_t j = 0; j < h.size(); ++j) {
    if (!reversal[j] || !Drawable(h, j)) continue;
    ++stats.reversals;
    auto qx = static_cast<std::uint32_t>(static_cast<std::int64_t>(std::lround(pts[j].x * 2)));
    auto qy = static_cast<std::uint32_t>(static_cast<std::int64_t>(std::lround(pts[j].y * 2)));
    if (!seen.insert((std::uint64_t{qx} << 32) | qy).second) continue;
    ++stats.markers;
    marks += 'M';
    AppendPair(marks, pts[j]);
    marks += "h0";
  }
  // Dense pictures get a finer pen so that the loops stay distinguishable.
  bool dense = stats.drawn > 1500;
  out +=
      "<path class=\"history\" clip-path=\"url(#plot-area)\" fill=\"none\" stroke=\"#1f5fa8\" "
      "stroke-width=\"";
  out += dense ? "0.6" : "1.5";
  out += "\" stroke-linejoin=\"round\" stroke-linecap=\"round\" d=\"";
  out += line;
  out += "\"/>\n";
  if (!marks.empty()) {
    out += "<path class=\"reversals\" fill=\"none\" stroke=\"#c0392b\" stroke-width=\"";
    out += stats.markers > 300 ? "3.5" : "8";
    out += "\" stroke-linecap=\"round\" d=\"";
    out += marks;
    out += "\"/>\n";
  }
}

// The backbone and its mirror through the origin as one thin dashed line.
void AppendBackbone(std::string& out, const std::vector<Point>& bb, const Frame& f) {
  if (bb.size() < 2) return;
  out +=
      "<path class=\"backbone\" clip-path=\"url(#plot-area)\" fill=\"none\" stroke=\"#8c8c8c\" "
      "stroke-width=\"0.8\" stroke-dasharray=\"5 3\" d=\"M";
  bool first = true;
  auto put = [&](double x, double y) {
    if (!first) out += ' ';
    first = false;
    AppendPair(out, f.Map(x, y));
  };
  for (std::size_t i = bb.size(); i-- > 0;) put(-bb[i].x, -bb[i].y);
  for (const Point& p : bb) put(p.x, p.y);
  out += "\"/>\n";
}

// Grid lines, tick marks and tick labels of both axes of the area of `f`;
// the classes of the elements begin with `prefix`.
void AppendAxes(std::string& out, const Frame& f, const std::string& prefix = "") {
  std::string grid;
  std::string ticks;
  std::string labels;
  double bottom = f.top + f.height;
  // NiceAxis gives about kTargetTicks intervals; the bound only guards the
  // loops against ranges at the very edge of the double range.
  constexpr long long kMaxTicks = 100;
  long long kx0 = std::llround(f.x.lo / f.x.step);
  long long kx1 = std::min(std::llround(f.x.hi / f.x.step), kx0 + kMaxTicks);
  for (long long k = kx0; k <= kx1; ++k) {
    double v = static_cast<double>(k) * f.x.step;
    std::string x = Coord(f.Map(v, f.y.lo).x);
    grid += "<line x1=\"" + x + "\" y1=\"" + Coord(f.top) + "\" x2=\"" + x + "\" y2=\"" +
            Coord(bottom) + "\"/>\n";
    ticks += "<line x1=\"" + x + "\" y1=\"" + Coord(bottom) + "\" x2=\"" + x + "\" y2=\"" +
             Coord(bottom + 6) + "\"/>\n";
    labels += "<text class=\"" + prefix + "x-tick\" x=\"" + x + "\" y=\"" + Coord(bottom + 22) +
              "\" text-anchor=\"middle\">" + FormatTick(v, f.x.step) + "</text>\n";
  }
  long long ky0 = std::llround(f.y.lo / f.y.step);
  long long ky1 = std::min(std::llround(f.y.hi / f.y.step), ky0 + kMaxTicks);
  for (long long k = ky0; k <= ky1; ++k) {
    double v = static_cast<double>(k) * f.y.step;
    std::string y = Coord(f.Map(f.x.lo, v).y);
    grid += "<line x1=\"" + Coord(f.left) + "\" y1=\"" + y + "\" x2=\"" + Coord(f.left + f.width) +
            "\" y2=\"" + y + "\"/>\n";
    ticks += "<line x1=\"" + Coord(f.left - 6) + "\" y1=\"" + y + "\" x2=\"" + Coord(f.left) +
             "\" y2=\"" + y + "\"/>\n";
    labels += "<text class=\"" + prefix + "y-tick\" x=\"" + Coord(f.left - 10) + "\" y=\"" + y +
              "\" dy=\"0.35em\" text-anchor=\"end\">" + FormatTick(v, f.y.step) + "</text>\n";
  }
  out +=
      "<g class=\"" + prefix + "grid\" stroke=\"#e6e6e6\" stroke-width=\"1\">\n" + grid + "</g>\n";
  // The zero lines help to read a loop; drawn only when inside the range.
  std::string zero;
  if (f.x.lo < 0 && f.x.hi > 0) {
    std::string x = Coord(f.Map(0, 0).x);
    zero += "<line x1=\"" + x + "\" y1=\"" + Coord(f.top) + "\" x2=\"" + x + "\" y2=\"" +
            Coord(bottom) + "\"/>\n";
  }
  if (f.y.lo < 0 && f.y.hi > 0) {
    std::string y = Coord(f.Map(0, 0).y);
    zero += "<line x1=\"" + Coord(f.left) + "\" y1=\"" + y + "\" x2=\"" + Coord(f.left + f.width) +
            "\" y2=\"" + y + "\"/>\n";
  }
  if (!zero.empty())
    out += "<g class=\"" + prefix + "zero\" stroke=\"#b0b0b0\" stroke-width=\"1\">\n" + zero +
           "</g>\n";
  out += "<g class=\"" + prefix + "ticks\" stroke=\"#333333\" stroke-width=\"1\">\n" + ticks +
         "</g>\n";
  out += "<g class=\"" + prefix + "tick-labels\" fill=\"#222222\">\n" + labels + "</g>\n";
}

}  // namespace

Axis NiceAxis(double min, double max, int target) {
  if (!std::isfinite(min) || !std::isfinite(max) || min > max) min = max = 0;
  if (min == max) {
    double d = min == 0 ? 1 : std::fabs(min) * 0.5;
    min -= d;
    max += d;
  }
  double raw = (max - min) / std::max(target, 1);
  double mag = std::pow(10.0, std::floor(std::log10(raw)));
  double norm = raw / mag;
  double step = (norm <= 1 ? 1 : norm <= 2 ? 2 : norm <= 5 ? 5 : 10) * mag;
  // A hair of slack keeps values that are multiples of the step from adding
  // a needless extra interval through rounding.
  Axis a;
  a.step = step;
  a.lo = std::floor(min / step + 1e-9) * step;
  a.hi = std::ceil(max / step - 1e-9) * step;
  if (a.hi <= a.lo) a.hi = a.lo + step;
  return a;
}

std::string FormatTick(double value, double step) {
  if (std::fabs(value) < step * 1e-6) return "0";
  int e = static_cast<int>(std::floor(std::log10(step) + 1e-9));
  char buf[64];
  std::to_chars_result res;
  if (e < -6 || e > 6) {
    res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 3);
  } else {
    res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, std::max(0, -e));
  }
  return std::string(buf, res.ptr);
}

namespace {

// Layout of the loop layer: the strip of the damage sum under the plot,
// the legend of the damage scale to its right.
constexpr double kStripTop = kHeight + 16;
constexpr double kStripW = 580;
constexpr double kStripH = 140;
constexpr double kLayerHeight = 236;  // what the layer adds to the picture
constexpr double kLegendLeft = kLeft + kStripW + 40;
constexpr double kLegendBarH = 80;
constexpr double kLoopTolerance = 0.3;           // thinning of the drawn loops
constexpr const char* kEnDash = "\xe2\x80\x93";  // between the entries of a label, in UTF-8

// A damage value with three significant digits ("0.0123", "4.5e-07").
std::string DamageText(double d) {
  char buf[32];
  auto res = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::general, 3);
  return std::string(buf, res.ptr);
}

// The parts of the picture that the loop layer adds.
struct LayerSvg {
  std::string overlay;  // the drawn cycles and their labels, over the line
  std::string strip;    // the damage sum and the legend, under the plot
};

// One drawn cycle: its row and its colour.
struct DrawnCycle {
  const LoopRow* row = nullptr;
  std::string colour;
};

// The outline of `row` as a path in the main plot, thinned; "" when the
// outline cannot be drawn.
std::string LoopPathData(const History& h, const LoopRow& row, const Frame& f) {
  std::vector<Point> outline = LoopOutline(h, row);
  if (outline.empty()) return "";
  for (Point& p : outline) p = f.Map(p.x, p.y);
  std::vector<bool> keep(outline.size(), false);
  std::vector<std::size_t> kept = ThinRun(outline, 0, outline.size(), keep, kLoopTolerance);
  std::string d = "M";
  AppendPair(d, outline[kept[0]]);
  for (std::size_t k = 1; k < kept.size(); ++k) {
    d += ' ';
    AppendPair(d, outline[kept[k]]);
  }
  return d;
}

// The drawn cycles over the line, least damaging first so that the most
// damaging lies on top, each labelled "b–c" beside its upper turning point;
// the labels of the more damaging cycles are placed first.
std::string LoopOverlay(const History& h, const std::vector<DrawnCycle>& drawn, const Frame& f) {
  constexpr double kLabelHeight = 14;
  constexpr double kCharWidth = 7;  // a digit at the labels' font size, with room
  std::vector<std::string> texts;
  std::vector<Point> anchors;
  std::vector<double> widths;
  for (const DrawnCycle& cycle : drawn) {
    const LoopRow& row = *cycle.row;
    Point pb = f.Map(h.strain[row.b - 1], h.stress[row.b - 1]);
    Point pc = f.Map(h.strain[row.c - 1], h.stress[row.c - 1]);
    texts.push_back(std::to_string(row.b) + kEnDash + std::to_string(row.c));
    anchors.push_back(pb.y < pc.y ? pb : pc);
    widths.push_back(static_cast<double>(texts.back().size() - 2) * kCharWidth);
  }
  std::vector<Box> boxes =
      PlaceLabels(anchors, widths, kLabelHeight, {kLeft, kTop, kLeft + kPlotW, kTop + kPlotH});
  std::string paths;
  std::string labels;
  for (std::size_t k = drawn.size(); k-- > 0;) {
    const LoopRow& row = *drawn[k].row;
    std::string d = LoopPathData(h, row, f);
    if (d.empty()) continue;
    paths += "<path class=\"loop\" stroke=\"" + drawn[k].colour + "\"";
    if (row.closing == 0) paths += " stroke-dasharray=\"6 4\"";
    paths += " d=\"" + d + "\"/>\n";
    labels += "<text class=\"loop-label\" x=\"" + Coord(boxes[k].x0) + "\" y=\"" +
              Coord(boxes[k].y1 - 3) + "\">" + texts[k] + "</text>\n";
  }
  if (paths.empty()) return "";
  return "<g class=\"loops\" clip-path=\"url(#plot-area)\" fill=\"none\" stroke-width=\"2.5\" "
         "stroke-linejoin=\"round\" stroke-linecap=\"round\">\n" +
         paths + "</g>\n" +
         "<g class=\"loop-labels\" font-size=\"12\" fill=\"#222222\" stroke=\"#ffffff\" "
         "stroke-width=\"3\" stroke-linejoin=\"round\" paint-order=\"stroke\">\n" +
         labels + "</g>\n";
}

// The damage sum as a rising step line in the strip `s`; steps that fall
// within half a pixel of the one before are merged into its riser.
std::string DamageSumPath(const std::vector<DamageStep>& steps, std::size_t entries,
                          const Frame& s) {
  std::vector<Point> pts{s.Map(1, 0)};
  for (const DamageStep& st : steps) {
    Point p = s.Map(static_cast<double>(st.entry), st.sum);
    p.y = std::clamp(p.y, s.top, s.top + s.height);  // a sum that overflowed stays inside
    if (pts.size() >= 2 && std::fabs(p.x - pts.back().x) < 0.5) {
      pts.back().y = p.y;
      continue;
    }
    pts.push_back({p.x, pts.back().y});
    pts.push_back(p);
  }
  pts.push_back({s.Map(static_cast<double>(entries), 0).x, pts.back().y});
  std::string d = "M";
  AppendPair(d, pts[0]);
  for (std::size_t k = 1; k < pts.size(); ++k) {
    d += ' ';
    AppendPair(d, pts[k]);
  }
  return "<path class=\"damage-sum\" fill=\"none\" stroke=\"#333333\" stroke-width=\"1.5\" d=\"" +
         d + "\"/>\n";
}

// The legend of the damage scale beside the strip, and what was drawn.
std::string Legend(const LoopLayer& layer, const std::vector<DrawnCycle>& drawn, double lo,
                   double hi) {
  std::string out = "<g class=\"legend\" font-size=\"12\" fill=\"#222222\">\n";
  double x = kLegendLeft;
  double bar_top = kStripTop + 22;
  out += "<text class=\"legend-title\" x=\"" + Coord(x) + "\" y=\"" + Coord(kStripTop + 10) +
         "\">damage per cycle (log scale)</text>\n";
  if (!drawn.empty()) {
    out += "<defs><linearGradient id=\"damage-scale\" x1=\"0\" y1=\"1\" x2=\"0\" y2=\"0\">";
    for (int k = 0; k <= 4; ++k)
      out += "<stop offset=\"" + Coord(k * 25) + "%\" stop-color=\"" +
             ScaleColour(hi > lo ? k / 4.0 : 1) + "\"/>";
    out += "</linearGradient></defs>\n";
    out += "<rect class=\"legend-scale\" x=\"" + Coord(x) + "\" y=\"" + Coord(bar_top) +
           "\" width=\"14\" height=\"" + Coord(kLegendBarH) + "\" fill=\"url(#damage-scale)\"/>\n";
    out += "<text class=\"legend-tick\" x=\"" + Coord(x + 22) + "\" y=\"" +
           Coord(hi > lo ? bar_top : bar_top + kLegendBarH / 2) + "\" dy=\"0.35em\">" +
           DamageText(hi) + "</text>\n";
    if (hi > lo)
      out += "<text class=\"legend-tick\" x=\"" + Coord(x + 22) + "\" y=\"" +
             Coord(bar_top + kLegendBarH) + "\" dy=\"0.35em\">" + DamageText(lo) + "</text>\n";
  }
  std::string first = !drawn.empty()   ? Grouped(drawn.size()) + " most damaging"
                      : layer.top == 0 ? std::string("no cycle drawn")
                                       : std::string("no cycle with damage");
  std::size_t n = layer.rows.size();
  double y = bar_top + kLegendBarH + 20;
  out += "<text class=\"legend-count\" x=\"" + Coord(x) + "\" y=\"" + Coord(y) + "\">" + first +
         "</text>\n";
  out += "<text class=\"legend-count\" x=\"" + Coord(x) + "\" y=\"" + Coord(y + 16) + "\">of " +
         Grouped(n) + (n == 1 ? " counted cycle" : " counted cycles") + "</text>\n";
  bool half = std::any_of(drawn.begin(), drawn.end(),
                          [](const DrawnCycle& c) { return c.row->closing == 0; });
  if (half)
    out += "<text class=\"legend-half\" x=\"" + Coord(x) + "\" y=\"" + Coord(y + 32) +
           "\">dashed: half cycle</text>\n";
  out += "</g>\n";
  return out;
}

// The strip of the damage sum against the entry number: axes, the step
// line, a mark in its colour where each drawn cycle's damage enters, the
// total, the labels and the legend.
std::string Strip(const LoopLayer& layer, std::size_t entries, const std::vector<DrawnCycle>& drawn,
                  const std::vector<std::size_t>& drawn_index, double lo, double hi) {
  std::vector<std::size_t> at = CountedAt(layer.rows, entries);
  std::vector<DamageStep> steps = DamageSum(layer.rows, at);
  double total = steps.empty() ? 0 : steps.back().sum;
  Frame s{NiceAxis(1, static_cast<double>(std::max<std::size_t>(entries, 2)), kTargetTicks),
          total > 0 && std::isfinite(total) ? NiceAxis(0, total, 4) : Axis{0, 1, 0.5},
          kLeft,
          kStripTop,
          kStripW,
          kStripH};
  if (s.x.step < 1) s.x = {std::floor(s.x.lo), std::ceil(s.x.hi), 1};  // whole entries only
  std::string out;
  AppendAxes(out, s, "strip-");
  out += DamageSumPath(steps, entries, s);
  std::string marks;
  for (std::size_t k = drawn.size(); k-- > 0;) {
    double x = s.Map(static_cast<double>(at[drawn_index[k]]), 0).x;
    marks += "<path stroke=\"" + drawn[k].colour + "\" d=\"M" + Coord(x) + "," +
             Coord(kStripTop + kStripH) + " " + Coord(x) + "," + Coord(kStripTop + kStripH - 10) +
             "\"/>\n";
  }
  if (!marks.empty()) out += "<g class=\"loop-marks\" stroke-width=\"3\">\n" + marks + "</g>\n";
  out += "<rect class=\"strip-frame\" x=\"" + Coord(kLeft) + "\" y=\"" + Coord(kStripTop) +
         "\" width=\"" + Coord(kStripW) + "\" height=\"" + Coord(kStripH) +
         "\" fill=\"none\" stroke=\"#333333\" stroke-width=\"1\"/>\n";
  out += "<text class=\"damage-total\" x=\"" + Coord(kLeft) + "\" y=\"" + Coord(kStripTop - 6) +
         "\" font-size=\"12\">D = " + DamageText(total) + "</text>\n";
  out += "<text class=\"strip-x-label\" x=\"" + Coord(kLeft + kStripW / 2) + "\" y=\"" +
         Coord(kStripTop + kStripH + 50) + "\" text-anchor=\"middle\">entry</text>\n";
  double mid = kStripTop + kStripH / 2;
  out += "<text class=\"strip-y-label\" x=\"24\" y=\"" + Coord(mid) +
         "\" text-anchor=\"middle\" transform=\"rotate(-90 24 " + Coord(mid) +
         ")\">damage sum</text>\n";
  out += Legend(layer, drawn, lo, hi);
  return out;
}

LayerSvg DrawLoopLayer(const LoopLayer& layer, const History& h, const Frame& f) {
  std::vector<std::size_t> top = MostDamaging(layer.rows, layer.top);
  double lo = top.empty() ? 0 : layer.rows[top.back()].damage;
  double hi = top.empty() ? 0 : layer.rows[top.front()].damage;
  std::vector<DrawnCycle> drawn;
  for (std::size_t i : top)
    drawn.push_back({&layer.rows[i], ScaleColour(ScalePosition(layer.rows[i].damage, lo, hi))});
  return {LoopOverlay(h, drawn, f), Strip(layer, h.size(), drawn, top, lo, hi)};
}

// The frame of the main plot: nice axes around the drawable entries.
Frame HistoryFrame(const History& history) {
  double xmin = 0, xmax = 0, ymin = 0, ymax = 0;
  DataRange(history, xmin, xmax, ymin, ymax);
  return {NiceAxis(xmin, xmax, kTargetTicks), NiceAxis(ymin, ymax, kTargetTicks)};
}

// The whole picture with the line thinned to `tolerance`.
std::string RenderWith(const History& history, const std::vector<Point>& backbone, const Frame& f,
                       const LayerSvg* layer, double tolerance, PlotStats& stats) {
  stats = PlotStats{};
  stats.entries = history.size();
  for (std::size_t i = 0; i < history.size(); ++i)
    if (!Drawable(history, i)) ++stats.non_finite;

  std::string title = "Stress-strain history: " + Grouped(stats.entries) +
                      (stats.entries == 1 ? " entry" : " entries");
  std::string out;
  out.reserve(1 << 16);
  out += "<!-- Stress-strain history drawn by hysteresis-plot. -->\n";
  // Only a viewBox: a browser scales the picture to the window, keeping its
  // proportions; renderers without a window take the viewBox size.
  out += "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 " + Coord(kWidth) + " " +
         Coord(layer ? kHeight + kLayerHeight : kHeight) +
         "\" font-family=\"sans-serif\" font-size=\"14\">\n";
  out += "<title>" + title + "</title>\n";
  out += "<defs><clipPath id=\"plot-area\"><rect x=\"" + Coord(kLeft) + "\" y=\"" + Coord(kTop) +
         "\" width=\"" + Coord(kPlotW) + "\" height=\"" + Coord(kPlotH) +
         "\"/></clipPath></defs>\n";
  out += "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
  AppendAxes(out, f);
  AppendBackbone(out, backbone, f);
  AppendHistory(out, history, f, tolerance, stats);
  if (layer) out += layer->overlay;
  out += "<rect class=\"frame\" x=\"" + Coord(kLeft) + "\" y=\"" + Coord(kTop) + "\" width=\"" +
         Coord(kPlotW) + "\" height=\"" + Coord(kPlotH) +
         "\" fill=\"none\" stroke=\"#333333\" stroke-width=\"1\"/>\n";
  out += "<text class=\"title\" x=\"" + Coord(kWidth / 2) +
         "\" y=\"28\" text-anchor=\"middle\" font-size=\"18\">" + title + "</text>\n";
  out += "<text class=\"x-label\" x=\"" + Coord(kLeft + kPlotW / 2) + "\" y=\"" +
         Coord(kHeight - 22) + "\" text-anchor=\"middle\">strain</text>\n";
  out += "<text class=\"y-label\" x=\"24\" y=\"" + Coord(kTop + kPlotH / 2) +
         "\" text-anchor=\"middle\" transform=\"rotate(-90 24 " + Coord(kTop + kPlotH / 2) +
         ")\">stress</text>\n";
  if (layer) out += layer->strip;

  std::string note;
  if (stats.non_finite > 0)
    note += Grouped(stats.non_finite) + (stats.non_finite == 1
                                             ? " entry is NaN or infinite and breaks the line"
                                             : " entries are NaN or infinite and break the line");
  std::size_t drawable = stats.entries - stats.non_finite;
  if (stats.drawn < drawable) {
    if (!note.empty()) note += "; ";
    note += "line drawn through " + Grouped(stats.drawn) + " of " + Grouped(drawable) +
            " points, every reversal kept";
  }
  if (!note.empty())
    out += "<text class=\"note\" x=\"" + Coord(kWidth / 2) +
           "\" y=\"50\" text-anchor=\"middle\" font-size=\"12\" fill=\"#555555\">" + note +
           "</text>\n";
  out += "</svg>\n";
  return out;
}

}  // namespace

std::string RenderSvg(const History& history, const std::vector<Point>& backbone,
                      PlotStats* stats_out, const LoopLayer* loops) {
  Frame f = HistoryFrame(history);
  LayerSvg layer;
  if (loops) layer = DrawLoopLayer(*loops, history, f);
  PlotStats stats;
  std::string out;
  for (double tolerance : kTolerances) {
    out = RenderWith(history, backbone, f, loops ? &layer : nullptr, tolerance, stats);
    if (out.size() < kSizeLimit) break;
  }
  if (stats_out) *stats_out = stats;
  return out;
}

}  // namespace Plot
