// SPDX-License-Identifier: MIT
#include "apps/quaxscan/SvgPlot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <ostream>
#include <sstream>
#include <utility>

#include "apps/quaxscan/ScanSetIO.h"

namespace quaxscan {

namespace {

constexpr double kWidth = 1000.0;
constexpr double kLeft = 80.0;  // room for the axis labels
constexpr double kRight = 24.0;
constexpr double kPanelHeight = 260.0;
constexpr double kPlotHeight = 190.0;
const char* const kSurfaceColours[] = {"#1f77b4", "#ff7f0e", "#2ca02c",
                                       "#9467bd", "#8c564b", "#e377c2",
                                       "#17becf", "#bcbd22"};
constexpr std::size_t kColourCount =
    sizeof kSurfaceColours / sizeof kSurfaceColours[0];

// Page coordinates: a tenth of a pixel is fine enough.
std::string number(double value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.1f", value);
  return buffer;
}

std::string escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

struct Range {
  double low = std::numeric_limits<double>::infinity();
  double high = -std::numeric_limits<double>::infinity();
  void add(double v) {
    low = std::min(low, v);
    high = std::max(high, v);
  }
  bool empty() const { return !(low <= high); }
  // Widened a little, and to a non-zero span.
  Range padded() const {
    Range r = *this;
    if (r.empty()) r.low = 0, r.high = 1;
    double span = r.high - r.low;
    if (span <= 0) span = std::max(1.0, std::fabs(r.low) * 0.1);
    r.low -= span * 0.04;
    r.high += span * 0.04;
    return r;
  }
};

// A linear map of `range` onto [from, to] of the page.
struct Axis {
  Range range;
  double from, to;
  double operator()(double v) const {
    return from + (v - range.low) / (range.high - range.low) * (to - from);
  }
};

// Tick values at 1, 2 or 5 times a power of ten, about `wanted` of them.
std::vector<double> ticks(const Range& r, int wanted) {
  std::vector<double> values;
  const double span = r.high - r.low;
  if (!(span > 0) || !std::isfinite(span)) return values;
  const double rough = span / wanted;
  const double power = std::pow(10.0, std::floor(std::log10(rough)));
  double step = power;
  for (double m : {1.0, 2.0, 5.0, 10.0}) {
    step = m * power;
    if (step >= rough) break;
  }
  // Counted rather than summed, so that a step lost in the values' precision
  // cannot loop for ever.
  const double first = std::ceil(r.low / step) * step;
  for (int i = 0; i <= 4 * wanted; ++i) {
    const double v = first + i * step;
    if (v > r.high) break;
    values.push_back(std::fabs(v) < step * 1e-9 ? 0.0 : v);
  }
  return values;
}

std::string tickLabel(double v) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%g", v);
  return buffer;
}

void drawAxes(std::ostream& out, const Axis& across, const Axis& up,
              const std::string& acrossLabel, const std::string& upLabel) {
  out << "<g class=\"axes\" font-size=\"11\" fill=\"#333\">\n";
  out << "<rect x=\"" << number(across.from) << "\" y=\"" << number(up.to)
      << "\" width=\"" << number(across.to - across.from) << "\" height=\""
      << number(up.from - up.to)
      << "\" fill=\"#fbfbfb\" stroke=\"#999\" stroke-width=\"1\"/>\n";
  for (double v : ticks(across.range, 8)) {
    const double x = across(v);
    out << "<line x1=\"" << number(x) << "\" y1=\"" << number(up.from)
        << "\" x2=\"" << number(x) << "\" y2=\"" << number(up.to)
        << "\" stroke=\"#e4e4e4\"/>\n";
    out << "<text x=\"" << number(x) << "\" y=\"" << number(up.from + 14)
        << "\" text-anchor=\"middle\">" << tickLabel(v) << "</text>\n";
  }
  for (double v : ticks(up.range, 5)) {
    const double y = up(v);
    out << "<line x1=\"" << number(across.from) << "\" y1=\"" << number(y)
        << "\" x2=\"" << number(across.to) << "\" y2=\"" << number(y)
        << "\" stroke=\"#e4e4e4\"/>\n";
    out << "<text x=\"" << number(across.from - 6) << "\" y=\"" << number(y + 4)
        << "\" text-anchor=\"end\">" << tickLabel(v) << "</text>\n";
  }
  out << "<text x=\"" << number((across.from + across.to) / 2) << "\" y=\""
      << number(up.from + 30) << "\" text-anchor=\"middle\">"
      << escaped(acrossLabel) << "</text>\n";
  out << "<text x=\"" << number(across.from - 48) << "\" y=\""
      << number((up.from + up.to) / 2) << "\" text-anchor=\"middle\" "
      << "transform=\"rotate(-90 " << number(across.from - 48) << " "
      << number((up.from + up.to) / 2) << ")\">" << escaped(upLabel)
      << "</text>\n";
  out << "</g>\n";
}

// Runs of a line's points without gaps: a step longer than five times the
// line's median step starts a new run. Returns the index where each run
// starts, and the point count at the end.
std::vector<std::size_t> runsOf(const QUAX::ScanLine& line) {
  const std::size_t n = line.getPointCount();
  std::vector<std::size_t> starts{0};
  if (n < 2) {
    starts.push_back(n);
    return starts;
  }
  std::vector<double> steps(n - 1);
  for (std::size_t i = 1; i < n; ++i) {
    steps[i - 1] =
        (line.getPoint(i)->position() - line.getPoint(i - 1)->position())
            .length();
  }
  std::vector<double> sorted = steps;
  std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2,
                   sorted.end());
  const double limit = 5.0 * sorted[sorted.size() / 2];
  for (std::size_t i = 1; i < n; ++i) {
    if (steps[i - 1] > limit && limit > 0) starts.push_back(i);
  }
  starts.push_back(n);
  return starts;
}

// Where points of `line` lie across the profile panel: along the direction
// from the first to the last point in the x-y plane.
struct ProfileFrame {
  double ox = 0, oy = 0, dx = 1, dy = 0;
  explicit ProfileFrame(const QUAX::ScanLine& line) {
    const std::size_t n = line.getPointCount();
    if (n == 0) return;
    const auto& a = line.getPoint(0)->position();
    const auto& b = line.getPoint(n - 1)->position();
    ox = a.x(), oy = a.y();
    const double ex = b.x() - a.x(), ey = b.y() - a.y();
    const double length = std::hypot(ex, ey);
    if (length > 0) dx = ex / length, dy = ey / length;
  }
  double along(const QUAX::_GeoPoint<double>& p) const {
    return (p.x() - ox) * dx + (p.y() - oy) * dy;
  }
};

// The filtered line as polylines over the measured points, broken where a
// step crosses a gap of the measured line, and its points.
void drawFiltered(std::ostream& out, const QUAX::ScanLine& measured,
                  const QUAX::ScanLine& filtered, const ProfileFrame& frame,
                  const Axis& x, const Axis& z) {
  // A thinned line has long steps of its own, so its breaks are where the
  // measured line has gaps: a step across one is left open.
  std::vector<std::pair<double, double>> gaps;
  const std::vector<std::size_t> measuredRuns = runsOf(measured);
  for (std::size_t r = 1; r + 1 < measuredRuns.size(); ++r) {
    const double a =
        frame.along(measured.getPoint(measuredRuns[r] - 1)->position());
    const double b = frame.along(measured.getPoint(measuredRuns[r])->position());
    gaps.emplace_back(std::min(a, b), std::max(a, b));
  }
  auto acrossGap = [&](double a, double b) {
    if (a > b) std::swap(a, b);
    for (const auto& gap : gaps) {
      if (a <= gap.first && gap.second <= b) return true;
    }
    return false;
  };
  out << "<g class=\"filtered\" stroke=\"#d62728\" fill=\"none\" "
         "stroke-width=\"1.2\">\n";
  for (std::size_t i = 0; i < filtered.getPointCount(); ++i) {
    const auto& p = filtered.getPoint(i)->position();
    const bool starts =
        i == 0 || acrossGap(frame.along(filtered.getPoint(i - 1)->position()),
                            frame.along(p));
    if (starts) out << (i == 0 ? "" : "\"/>\n") << "<polyline points=\"";
    out << number(x(frame.along(p))) << "," << number(z(p.z())) << " ";
  }
  if (filtered.getPointCount() > 0) out << "\"/>\n";
  out << "</g>\n<g fill=\"#d62728\">\n";
  for (std::size_t i = 0; i < filtered.getPointCount(); ++i) {
    const auto& p = filtered.getPoint(i)->position();
    out << "<circle cx=\"" << number(x(frame.along(p))) << "\" cy=\""
        << number(z(p.z())) << "\" r=\"1.7\"/>\n";
  }
  out << "</g>\n";
}

// The legend, top right of the panel: the measured points and, when there
// is one, the filtered line.
void drawProfileLegend(std::ostream& out, const ProfilePanel& panel,
                       double top) {
  const std::string legend = "measured (" +
                             std::to_string(panel.measured->getPointCount()) +
                             " points)";
  const double lx = kWidth - kRight - 250, ly = top + 12;
  out << "<g font-size=\"12\">\n<circle cx=\"" << number(lx) << "\" cy=\""
      << number(ly) << "\" r=\"3\" fill=\"#9a9a9a\"/><text x=\""
      << number(lx + 8) << "\" y=\"" << number(ly + 4) << "\">"
      << escaped(legend) << "</text>\n";
  if (panel.filtered != nullptr) {
    out << "<line x1=\"" << number(lx - 6) << "\" y1=\"" << number(ly + 16)
        << "\" x2=\"" << number(lx + 6) << "\" y2=\"" << number(ly + 16)
        << "\" stroke=\"#d62728\" stroke-width=\"2\"/><text x=\""
        << number(lx + 8) << "\" y=\"" << number(ly + 20) << "\">"
        << escaped(panel.filteredLabel + " (" +
                   std::to_string(panel.filtered->getPointCount()) + " points)")
        << "</text>\n";
  }
  out << "</g>\n";
}

void drawProfile(std::ostream& out, const ProfilePanel& panel, double top) {
  const QUAX::ScanLine& measured = *panel.measured;
  const ProfileFrame frame(measured);
  Range across, up;
  for (const QUAX::ScanLine* line : {panel.measured, panel.filtered}) {
    if (line == nullptr) continue;
    for (std::size_t i = 0; i < line->getPointCount(); ++i) {
      const auto& p = line->getPoint(i)->position();
      across.add(frame.along(p));
      up.add(p.z());
    }
  }
  const Axis x{across.padded(), kLeft, kWidth - kRight};
  const Axis z{up.padded(), top + 30 + kPlotHeight, top + 30};

  out << "<g class=\"profile\">\n";
  out << "<text x=\"" << number(kLeft) << "\" y=\"" << number(top + 20)
      << "\" font-size=\"14\" font-weight=\"bold\">Surface " << panel.surface
      << ", frame " << panel.frame << "</text>\n";
  drawAxes(out, x, z, "position along the line", "height z");

  out << "<g class=\"measured\" fill=\"#9a9a9a\">\n";
  for (std::size_t i = 0; i < measured.getPointCount(); ++i) {
    const auto& p = measured.getPoint(i)->position();
    out << "<circle cx=\"" << number(x(frame.along(p))) << "\" cy=\""
        << number(z(p.z())) << "\" r=\"2.4\"/>\n";
  }
  out << "</g>\n";
  if (panel.filtered != nullptr) {
    drawFiltered(out, measured, *panel.filtered, frame, x, z);
  }
  drawProfileLegend(out, panel, top);
  out << "</g>\n";
}

// Every line of the view at most this many times per surface, and each with
// at most this many vertices: the view stays light for large sets.
constexpr std::size_t kMaxFramesDrawn = 150;
constexpr std::size_t kMaxVertices = 80;

void drawLineFromAbove(std::ostream& out, const QUAX::ScanLine& line,
                       const Axis& x, const Axis& y) {
  const std::vector<std::size_t> runs = runsOf(line);
  for (std::size_t r = 0; r + 1 < runs.size(); ++r) {
    const std::size_t first = runs[r], end = runs[r + 1];
    if (end - first < 2) continue;
    const std::size_t step = std::max<std::size_t>(
        1, (end - first + kMaxVertices - 1) / kMaxVertices);
    out << "<polyline points=\"";
    for (std::size_t i = first; i < end; i += step) {
      const auto& p = line.getPoint(i)->position();
      out << number(x(p.x())) << "," << number(y(p.y())) << " ";
    }
    const auto& last = line.getPoint(end - 1)->position();
    out << number(x(last.x())) << "," << number(y(last.y())) << "\"/>\n";
  }
}

double drawTopView(std::ostream& out, const QUAX::ScanSet& set,
                   const std::vector<ProfilePanel>& panels, double top) {
  Range xs, ys;
  std::vector<std::size_t> pointsPerSurface(set.getSurfaceCount(), 0);
  forEachPoint(set, [&](std::size_t s, std::size_t, const QUAX::ScanPoint& p) {
    ++pointsPerSurface[s];
    xs.add(p.position().x());
    ys.add(p.position().y());
  });
  xs = xs.padded();
  ys = ys.padded();
  // One scale for x and y, so that the part keeps its shape.
  const double width = kWidth - kLeft - kRight;
  const double scale =
      std::min(width / (xs.high - xs.low), 700.0 / (ys.high - ys.low));
  const double height = std::max(120.0, (ys.high - ys.low) * scale);
  const double used = (xs.high - xs.low) * scale;
  const Axis x{xs, kLeft, kLeft + used};
  const Axis y{ys, top + 40 + height, top + 40};

  out << "<g class=\"top-view\">\n<text x=\"" << number(kLeft) << "\" y=\""
      << number(top + 20)
      << "\" font-size=\"14\" font-weight=\"bold\">Top view of the surfaces"
      << "</text>\n";
  drawAxes(out, x, y, "x", "y");
  for (std::size_t s = 0; s < set.getSurfaceCount(); ++s) {
    const QUAX::ScanSurface* surface = set.getSurface(s);
    const std::size_t frames = surface->getFrameCount();
    const std::size_t step = std::max<std::size_t>(
        1, (frames + kMaxFramesDrawn - 1) / kMaxFramesDrawn);
    out << "<g class=\"surface\" stroke=\"" << kSurfaceColours[s % kColourCount]
        << "\" stroke-opacity=\"0.55\" stroke-width=\"1.2\" fill=\"none\">\n";
    for (std::size_t f = 0; f < frames; f += step) {
      const QUAX::ScanFrame* frame = surface->getFrame(f);
      if (frame->hasScanLine())
        drawLineFromAbove(out, *frame->getScanLine(), x, y);
    }
    out << "</g>\n";
  }
  out << "<g class=\"chosen\" stroke=\"#000\" stroke-width=\"2.4\" "
         "fill=\"none\">\n";
  for (const ProfilePanel& panel : panels) {
    if (panel.measured != nullptr)
      drawLineFromAbove(out, *panel.measured, x, y);
  }
  out << "</g>\n";
  // Legend right of the view, or below it when the view is wide.
  double lx = kLeft + used + 16, ly = top + 50;
  if (lx > kWidth - 200) lx = kLeft, ly = top + 40 + height + 48;
  out << "<g font-size=\"12\">\n";
  for (std::size_t s = 0; s < set.getSurfaceCount(); ++s, ly += 18) {
    out << "<rect x=\"" << number(lx) << "\" y=\"" << number(ly - 9)
        << "\" width=\"12\" height=\"10\" fill=\""
        << kSurfaceColours[s % kColourCount] << "\"/><text x=\""
        << number(lx + 18) << "\" y=\"" << number(ly) << "\">surface " << s
        << " (" << set.getSurface(s)->getFrameCount() << " frames, "
        << pointsPerSurface[s] << " points)</text>\n";
  }
  if (!panels.empty()) {
    out << "<line x1=\"" << number(lx) << "\" y1=\"" << number(ly - 4)
        << "\" x2=\"" << number(lx + 12) << "\" y2=\"" << number(ly - 4)
        << "\" stroke=\"#000\" stroke-width=\"2.4\"/><text x=\""
        << number(lx + 18) << "\" y=\"" << number(ly)
        << "\">lines shown above</text>\n";
    ly += 18;
  }
  out << "</g>\n</g>\n";
  return std::max(top + 40 + height + 48, ly + 10);
}

// Diverging colour of t in [-1, 1]: blue, pale grey at 0, red.
std::string divergingColour(double t) {
  t = std::clamp(t, -1.0, 1.0);
  const double pale[3] = {242, 242, 242};
  const double end[3] = {t < 0 ? 33.0 : 178.0, t < 0 ? 102.0 : 24.0,
                         t < 0 ? 172.0 : 43.0};
  const double a = std::fabs(t);
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "#%02x%02x%02x",
                int(std::lround(pale[0] + a * (end[0] - pale[0]))),
                int(std::lround(pale[1] + a * (end[1] - pale[1]))),
                int(std::lround(pale[2] + a * (end[2] - pale[2]))));
  return buffer;
}

// The title and subtitle at the top of a figure; returns where the figure's
// content starts.
double drawHeading(std::ostream& out, const std::string& title,
                   const std::string& subtitle) {
  out << "<text x=\"" << number(kLeft) << "\" y=\"30\" font-size=\"18\" "
      << "font-weight=\"bold\">" << escaped(title) << "</text>\n";
  if (subtitle.empty()) return 44;
  out << "<text x=\"" << number(kLeft) << "\" y=\"52\" font-size=\"13\" "
      << "fill=\"#444\">" << escaped(subtitle) << "</text>\n";
  return 66;
}

// The SVG document around a figure's drawing, `height` pixels high.
void writeDocument(std::ostream& out, const std::string& body, double height) {
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << kWidth
      << "\" height=\"" << number(height) << "\" viewBox=\"0 0 " << kWidth
      << " " << number(height) << "\" font-family=\"sans-serif\">\n"
      << "<rect width=\"100%\" height=\"100%\" fill=\"#fff\"/>\n"
      << body << "</svg>\n";
}

}  // namespace

// The colour scale ends at the 95th percentile of the distances' sizes,
// so that a few outliers do not wash the map out, rounded up to 1, 2 or 5
// times a power of ten, for readable labels.
double colourScaleOf(std::vector<double> sizes) {
  double scale = 0.0;
  if (!sizes.empty()) {
    auto at = sizes.begin() + std::ptrdiff_t(sizes.size() * 95 / 100);
    std::nth_element(sizes.begin(), at, sizes.end());
    scale = *at;
  }
  if (!(scale > 0)) scale = 1.0;
  const double power = std::pow(10.0, std::floor(std::log10(scale)));
  for (double m : {1.0, 2.0, 5.0, 10.0}) {
    if (m * power >= scale) {
      scale = m * power;
      break;
    }
  }
  return scale;
}

// The colour bar, from -scale to +scale.
void drawColourBar(std::ostream& body, double top, double scale) {
  body << "<g class=\"colour-bar\" font-size=\"11\" fill=\"#333\">\n";
  const double barLeft = kLeft, barWidth = 300.0;
  for (int i = 0; i < 60; ++i) {
    body << "<rect x=\"" << number(barLeft + i * barWidth / 60) << "\" y=\""
         << number(top + 4) << "\" width=\"" << number(barWidth / 60 + 0.6)
         << "\" height=\"12\" fill=\"" << divergingColour(i / 29.5 - 1.0)
         << "\"/>\n";
  }
  for (int i = 0; i <= 2; ++i) {
    body << "<text x=\"" << number(barLeft + i * barWidth / 2) << "\" y=\""
         << number(top + 30) << "\" text-anchor=\"middle\">"
         << tickLabel((i - 1) * scale) << "</text>\n";
  }
  body << "<text x=\"" << number(barLeft + barWidth + 12) << "\" y=\""
       << number(top + 15)
       << "\">distance from the other surface (below: blue, above: red)"
       << "</text>\n</g>\n";
}

// Where every panel of the overlap plot draws: the samples' extent, the
// pixels per unit and cells about 8 px across.
struct OverlapGrid {
  Range xs, ys;
  double unit = 1, height = 0, used = 0, cell = 1, scale = 1;
};

// One panel's mean signed distance per cell, coloured on the grid's scale.
void drawOverlapCells(std::ostream& body, const OverlapPanel& panel,
                      const OverlapGrid& g, const Axis& x, const Axis& y) {
  const Range& xs = g.xs;
  const Range& ys = g.ys;
  const double cell = g.cell;
  const std::size_t columns =
      std::size_t(std::ceil((xs.high - xs.low) / cell)) + 1;
  const std::size_t rows = std::size_t(std::ceil((ys.high - ys.low) / cell)) + 1;
  std::vector<double> total(columns * rows, 0.0);
  std::vector<std::size_t> count(columns * rows, 0);
  for (const OverlapSample& sample : panel.samples) {
    const std::size_t c =
        std::min(columns - 1, std::size_t((sample.x - xs.low) / cell));
    const std::size_t r =
        std::min(rows - 1, std::size_t((sample.y - ys.low) / cell));
    total[r * columns + c] += sample.distance;
    ++count[r * columns + c];
  }
  body << "<g class=\"cells\" stroke=\"none\">\n";
  for (std::size_t r = 0; r < rows; ++r) {
    for (std::size_t c = 0; c < columns; ++c) {
      const std::size_t k = r * columns + c;
      if (count[k] == 0) continue;
      const double x0 = x(xs.low + c * cell), y0 = y(ys.low + (r + 1) * cell);
      body << "<rect x=\"" << number(x0) << "\" y=\"" << number(y0)
           << "\" width=\"" << number(cell * g.unit + 0.5) << "\" height=\""
           << number(cell * g.unit + 0.5) << "\" fill=\""
           << divergingColour(total[k] / double(count[k]) / g.scale)
           << "\"/>\n";
    }
  }
  body << "</g>\n";
}

void writeOverlapPlot(const std::vector<OverlapPanel>& panels,
                      const std::string& title, const std::string& subtitle,
                      std::ostream& out) {
  OverlapGrid g;
  std::vector<double> sizes;
  for (const OverlapPanel& panel : panels) {
    for (const OverlapSample& sample : panel.samples) {
      g.xs.add(sample.x);
      g.ys.add(sample.y);
      sizes.push_back(std::fabs(sample.distance));
    }
  }
  g.xs = g.xs.padded();
  g.ys = g.ys.padded();
  g.scale = colourScaleOf(std::move(sizes));
  const double width = kWidth - kLeft - kRight;
  g.unit = std::min(width / (g.xs.high - g.xs.low),
                    420.0 / (g.ys.high - g.ys.low));
  g.height = std::max(80.0, (g.ys.high - g.ys.low) * g.unit);
  g.used = (g.xs.high - g.xs.low) * g.unit;
  g.cell = 8.0 / g.unit;

  std::ostringstream body;
  double top = drawHeading(body, title, subtitle);
  drawColourBar(body, top, g.scale);
  top += 40;

  for (const OverlapPanel& panel : panels) {
    const Axis x{g.xs, kLeft, kLeft + g.used};
    const Axis y{g.ys, top + 30 + g.height, top + 30};
    double sum = 0.0;
    for (const OverlapSample& sample : panel.samples)
      sum += std::fabs(sample.distance);
    body << "<g class=\"overlap\">\n<text x=\"" << number(kLeft) << "\" y=\""
         << number(top + 18) << "\" font-size=\"14\" font-weight=\"bold\">"
         << escaped(panel.label) << ": mean distance "
         << tickLabel(panel.samples.empty()
                          ? 0.0
                          : sum / double(panel.samples.size()))
         << " over " << panel.samples.size() << " points</text>\n";
    drawAxes(body, x, y, "x", "y");
    drawOverlapCells(body, panel, g, x, y);
    body << "</g>\n";
    top += 30 + g.height + 48;
  }

  writeDocument(out, body.str(), top);
}

void writeSvgPlot(const QUAX::ScanSet& set,
                  const std::vector<ProfilePanel>& panels,
                  const std::string& title, const std::string& subtitle,
                  std::ostream& out) {
  // The document is drawn first and sized after, since the top view's
  // height follows the set's shape.
  std::ostringstream body;
  double top = drawHeading(body, title, subtitle);
  for (const ProfilePanel& panel : panels) {
    if (panel.measured == nullptr) continue;
    drawProfile(body, panel, top);
    top += kPanelHeight;
  }
  const double height = drawTopView(body, set, panels, top);

  writeDocument(out, body.str(), height);
}

}  // namespace quaxscan
