// The SVG picture of a history: layout, nice axes, thinned line, markers.
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

// Maps data values onto the plot area.
struct Frame {
  Axis x;
  Axis y;
  Point Map(double sx, double sy) const {
    return {kLeft + (sx - x.lo) / (x.hi - x.lo) * kPlotW,
            kTop + (y.hi - sy) / (y.hi - y.lo) * kPlotH};
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
  out += "<path class=\"history\" clip-path=\"url(#plot-area)\" fill=\"none\" stroke=\"#1f5fa8\" "
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
  out += "<path class=\"backbone\" clip-path=\"url(#plot-area)\" fill=\"none\" stroke=\"#8c8c8c\" "
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

// Grid lines, tick marks and tick labels of both axes.
void AppendAxes(std::string& out, const Frame& f) {
  std::string grid;
  std::string ticks;
  std::string labels;
  // NiceAxis gives about kTargetTicks intervals; the bound only guards the
  // loops against ranges at the very edge of the double range.
  constexpr long long kMaxTicks = 100;
  long long kx0 = std::llround(f.x.lo / f.x.step);
  long long kx1 = std::min(std::llround(f.x.hi / f.x.step), kx0 + kMaxTicks);
  for (long long k = kx0; k <= kx1; ++k) {
    double v = static_cast<double>(k) * f.x.step;
    std::string x = Coord(f.Map(v, f.y.lo).x);
    grid += "<line x1=\"" + x + "\" y1=\"" + Coord(kTop) + "\" x2=\"" + x + "\" y2=\"" +
            Coord(kTop + kPlotH) + "\"/>\n";
    ticks += "<line x1=\"" + x + "\" y1=\"" + Coord(kTop + kPlotH) + "\" x2=\"" + x + "\" y2=\"" +
             Coord(kTop + kPlotH + 6) + "\"/>\n";
    labels += "<text class=\"x-tick\" x=\"" + x + "\" y=\"" + Coord(kTop + kPlotH + 22) +
             "\" text-anchor=\"middle\">" + FormatTick(v, f.x.step) + "</text>\n";
  }
  long long ky0 = std::llround(f.y.lo / f.y.step);
  long long ky1 = std::min(std::llround(f.y.hi / f.y.step), ky0 + kMaxTicks);
  for (long long k = ky0; k <= ky1; ++k) {
    double v = static_cast<double>(k) * f.y.step;
    std::string y = Coord(f.Map(f.x.lo, v).y);
    grid += "<line x1=\"" + Coord(kLeft) + "\" y1=\"" + y + "\" x2=\"" + Coord(kLeft + kPlotW) +
            "\" y2=\"" + y + "\"/>\n";
    ticks += "<line x1=\"" + Coord(kLeft - 6) + "\" y1=\"" + y + "\" x2=\"" + Coord(kLeft) +
             "\" y2=\"" + y + "\"/>\n";
    labels += "<text class=\"y-tick\" x=\"" + Coord(kLeft - 10) + "\" y=\"" + y +
              "\" dy=\"0.35em\" text-anchor=\"end\">" + FormatTick(v, f.y.step) + "</text>\n";
  }
  out += "<g class=\"grid\" stroke=\"#e6e6e6\" stroke-width=\"1\">\n" + grid + "</g>\n";
  // The zero lines help to read a loop; drawn only when inside the range.
  std::string zero;
  if (f.x.lo < 0 && f.x.hi > 0) {
    std::string x = Coord(f.Map(0, 0).x);
    zero += "<line x1=\"" + x + "\" y1=\"" + Coord(kTop) + "\" x2=\"" + x + "\" y2=\"" +
            Coord(kTop + kPlotH) + "\"/>\n";
  }
  if (f.y.lo < 0 && f.y.hi > 0) {
    std::string y = Coord(f.Map(0, 0).y);
    zero += "<line x1=\"" + Coord(kLeft) + "\" y1=\"" + y + "\" x2=\"" + Coord(kLeft + kPlotW) +
            "\" y2=\"" + y + "\"/>\n";
  }
  if (!zero.empty()) out += "<g class=\"zero\" stroke=\"#b0b0b0\" stroke-width=\"1\">\n" + zero + "</g>\n";
  out += "<g class=\"ticks\" stroke=\"#333333\" stroke-width=\"1\">\n" + ticks + "</g>\n";
  out += "<g class=\"tick-labels\" fill=\"#222222\">\n" + labels + "</g>\n";
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

// The whole picture with the line thinned to `tolerance`.
std::string RenderWith(const History& history, const std::vector<Point>& backbone,
                       double tolerance, PlotStats& stats) {
  stats = PlotStats{};
  stats.entries = history.size();
  for (std::size_t i = 0; i < history.size(); ++i)
    if (!Drawable(history, i)) ++stats.non_finite;

  double xmin = 0, xmax = 0, ymin = 0, ymax = 0;
  DataRange(history, xmin, xmax, ymin, ymax);
  Frame f{NiceAxis(xmin, xmax, kTargetTicks), NiceAxis(ymin, ymax, kTargetTicks)};
  std::string title = "Stress-strain history: " + Grouped(stats.entries) +
                      (stats.entries == 1 ? " entry" : " entries");
  std::string out;
  out.reserve(1 << 16);
  out += "<!-- Stress-strain history drawn by hysteresis-plot. -->\n";
  // Only a viewBox: a browser scales the picture to the window, keeping its
  // proportions; renderers without a window take the viewBox size.
  out += "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 " + Coord(kWidth) + " " +
         Coord(kHeight) + "\" font-family=\"sans-serif\" font-size=\"14\">\n";
  out += "<title>" + title + "</title>\n";
  out += "<defs><clipPath id=\"plot-area\"><rect x=\"" + Coord(kLeft) + "\" y=\"" + Coord(kTop) +
         "\" width=\"" + Coord(kPlotW) + "\" height=\"" + Coord(kPlotH) + "\"/></clipPath></defs>\n";
  out += "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
  AppendAxes(out, f);
  AppendBackbone(out, backbone, f);
  AppendHistory(out, history, f, tolerance, stats);
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

  std::string note;
  if (stats.non_finite > 0)
    note += Grouped(stats.non_finite) +
            (stats.non_finite == 1 ? " entry is NaN or infinite and breaks the line"
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
                      PlotStats* stats_out) {
  PlotStats stats;
  std::string out;
  for (double tolerance : kTolerances) {
    out = RenderWith(history, backbone, tolerance, stats);
    if (out.size() < kSizeLimit) break;
  }
  if (stats_out) *stats_out = stats;
  return out;
}

}  // namespace Plot
