// SPDX-License-Identifier: MIT
#include "view/ScanView.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "scan/model/ScanFrame.h"
#include "scan/model/ScanLine.h"
#include "scan/model/ScanSurface.h"
#include "util/WideText.h"
#include "view/ViewAssets.h"
#include "view/ViewLayer.h"

namespace QUAX {

EViewBadOption::EViewBadOption(const std::string& message) {
  _insertClass(*this);
  _addDescriptionSpecific(fromUtf8(message));
}

namespace {

struct ColourName {
  ViewColour colour;
  const char* name;
  const char* legend;   // what the colour bar shows
  const char* palette;  // how the page maps values to colours
};
constexpr ColourName kColours[] = {
    {ViewColour::kHeight, "height", "height z", "sequential"},
    {ViewColour::kSurface, "surface", "surface", "category"},
    {ViewColour::kGray, "gray", "gray sum", "gray"},
    {ViewColour::kDeviation, "deviation",
     "distance from the filtered scan line (+ above)", "diverging"},
    {ViewColour::kOverlap, "overlap",
     "distance to the nearest other surface (+ above)", "diverging"},
};

const ColourName& describe(ViewColour colour) {
  for (const ColourName& c : kColours) {
    if (c.colour == colour) return c;
  }
  throw EViewBadOption("unknown colour");
}

// Positions travel as three 24-bit integers over the page's box: steps of
// 1/16777215 of its size, finer than the float32 the browser draws with.
constexpr double kPositionSteps = 16777215.0;
// Values travel as 16-bit integers over their range; the top one means none.
constexpr double kValueSteps = 65534.0;
constexpr std::uint16_t kNoValue = 65535;
// Signed distances are shown up to this share of their sizes, so that a few
// stray points do not wash out the scale.
constexpr double kDistanceQuantile = 0.99;

class Base64Writer {
 public:
  explicit Base64Writer(std::ostream& out) : _out(out) {}
  ~Base64Writer() { finish(); }
  Base64Writer(const Base64Writer&) = delete;
  Base64Writer& operator=(const Base64Writer&) = delete;

  void byte(std::uint8_t b) {
    _group[_have++] = b;
    if (_have == 3) flushGroup();
  }
  void bytes(const void* data, std::size_t size) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    for (std::size_t i = 0; i < size; ++i) byte(p[i]);
  }
  void finish() {
    if (_have > 0) {
      const std::size_t have = _have;
      while (_have < 3) _group[_have++] = 0;
      flushGroup();
      for (std::size_t i = have + 1; i < 4; ++i) _text[_used - 4 + i] = '=';
    }
    _out.write(_text, std::streamsize(_used));
    _used = 0;
  }

 private:
  void flushGroup() {
    static const char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const std::uint32_t v = (std::uint32_t(_group[0]) << 16) |
                            (std::uint32_t(_group[1]) << 8) | _group[2];
    _text[_used++] = kDigits[(v >> 18) & 63];
    _text[_used++] = kDigits[(v >> 12) & 63];
    _text[_used++] = kDigits[(v >> 6) & 63];
    _text[_used++] = kDigits[v & 63];
    _have = 0;
    if (_used + 4 > sizeof _text) {
      _out.write(_text, std::streamsize(_used));
      _used = 0;
    }
  }

  std::ostream& _out;
  std::uint8_t _group[3] = {0, 0, 0};
  std::size_t _have = 0;
  char _text[1 << 16];
  std::size_t _used = 0;
};

std::string number(double value) {
  if (!std::isfinite(value)) return "0";
  char text[32];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

// A JSON string that is also safe inside a script element.
std::string jsonString(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '<': out += "\\u003c"; break;
      case '>': out += "\\u003e"; break;
      case '&': out += "\\u0026"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char code[8];
          std::snprintf(code, sizeof code, "\\u%04x", unsigned(c));
          out += code;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

std::string htmlText(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '&': out += "&amp;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

struct Range {
  double low = 0.0, high = 0.0;
};

// The colour bar's range over every layer's values.
Range displayRange(const std::vector<view::ViewLayer>& layers,
                   ViewColour colour) {
  Range r{std::numeric_limits<double>::infinity(),
          -std::numeric_limits<double>::infinity()};
  std::vector<double> sizes;
  for (const view::ViewLayer& layer : layers) {
    // A sample of at most ~200000 values is enough for the quantile.
    const std::size_t stride = std::max<std::size_t>(1, layer.size() / 200000);
    for (std::size_t i = 0; i < layer.size(); ++i) {
      const double v = layer.values[i];
      if (!std::isfinite(v)) continue;
      r.low = std::min(r.low, v);
      r.high = std::max(r.high, v);
      if (i % stride == 0) sizes.push_back(std::fabs(v));
    }
  }
  if (!(r.low <= r.high)) return Range{0.0, 1.0};
  if (colour == ViewColour::kDeviation || colour == ViewColour::kOverlap) {
    double size = 0.0;
    if (!sizes.empty()) {
      auto at = sizes.begin() +
                std::ptrdiff_t(kDistanceQuantile * double(sizes.size() - 1));
      std::nth_element(sizes.begin(), at, sizes.end());
      size = *at;
    }
    if (size <= 0.0) size = std::max(std::fabs(r.low), std::fabs(r.high));
    if (size <= 0.0) size = 1.0;
    return Range{-size, size};
  }
  if (r.low == r.high) return Range{r.low - 0.5, r.high + 0.5};
  return r;
}

std::string emptyMessage(const ScanSet& set, const view::ViewLayer& layer) {
  if (layer.totalPoints == 0) {
    return "This scan set holds no points (" +
           std::to_string(set.getSurfaceCount()) + " surfaces, " +
           std::to_string(layer.frameStarts.size() - 1) +
           " frames): there is nothing to view.";
  }
  char text[160];
  std::snprintf(text, sizeof text,
                "This scan set holds a single point, at (%.6g, %.6g, %.6g): "
                "a view needs two or more.",
                layer.xyz[0], layer.xyz[1], layer.xyz[2]);
  return text;
}

}  // namespace

const char* viewColourName(ViewColour colour) noexcept {
  for (const ColourName& c : kColours) {
    if (c.colour == colour) return c.name;
  }
  return "";
}

ViewColour viewColourFromName(const std::string& name) {
  for (const ColourName& c : kColours) {
    if (name == c.name) return c.colour;
  }
  throw EViewBadOption("unknown colour '" + name +
                       "' (height, surface, gray, deviation or overlap)");
}

const char* viewThreeJsRevision() noexcept { return view::kThreeJsRevision; }

namespace {

// Refuses options no page can be made from, before anything is gathered.
void checkOptions(const ScanSet& set, const ViewOptions& options) {
  if (options.maxPoints < 2) {
    throw EViewBadOption("the most points a view shows must be 2 or more");
  }
  if (options.colour != ViewColour::kOverlap) return;
  if (!(options.overlapRadius > 0.0) || !std::isfinite(options.overlapRadius)) {
    throw EViewBadOption("the overlap radius must be positive and finite");
  }
  for (const ScanSet* s : {&set, options.before}) {
    if (s != nullptr && s->getSurfaceCount() < 2) {
      throw EViewBadOption(
          "colour by overlap needs two or more surfaces; the set has " +
          std::to_string(s->getSurfaceCount()));
    }
  }
}

// How the page's numbers travel: positions as steps over the box of every
// layer, values as steps over their range, and the range the colour bar
// shows.
struct PageScales {
  double low[3] = {0, 0, 0};
  double scale[3] = {0, 0, 0};
  Range values{0.0, 0.0};
  double valueStep = 0.0;
  Range shown{0.0, 0.0};
};

PageScales scalesOf(const std::vector<view::ViewLayer>& layers,
                    const ScanSet& set, const ViewOptions& options) {
  PageScales page;
  double high[3] = {0, 0, 0};
  bool first = true;
  for (const view::ViewLayer& layer : layers) {
    for (std::size_t i = 0; i < layer.xyz.size(); i += 3) {
      for (int a = 0; a < 3; ++a) {
        const double v = layer.xyz[i + a];
        if (!std::isfinite(v)) continue;
        page.low[a] = first ? v : std::min(page.low[a], v);
        high[a] = first ? v : std::max(high[a], v);
      }
      first = false;
    }
  }
  for (int a = 0; a < 3; ++a) {
    page.scale[a] = (high[a] - page.low[a]) / kPositionSteps;
  }
  Range values{std::numeric_limits<double>::infinity(),
               -std::numeric_limits<double>::infinity()};
  for (const view::ViewLayer& layer : layers) {
    for (double v : layer.values) {
      if (!std::isfinite(v)) continue;
      values.low = std::min(values.low, v);
      values.high = std::max(values.high, v);
    }
  }
  if (values.low <= values.high) page.values = values;
  page.valueStep = (page.values.high - page.values.low) / kValueSteps;
  page.shown = displayRange(layers, options.colour);
  if (options.colour == ViewColour::kSurface) {
    std::size_t surfaces = set.getSurfaceCount();
    if (options.before != nullptr)
      surfaces = std::max(surfaces, options.before->getSurfaceCount());
    page.shown = Range{0.0, double(std::max<std::size_t>(surfaces, 1) - 1)};
  }
  return page;
}

// The page's JSON head: what the script needs to decode and label the data.
void writeMeta(std::ostream& out, const std::string& title,
               const ColourName& colour, const PageScales& page,
               const ViewOptions& options, const std::string& message,
               const std::vector<view::ViewLayer>& layers) {
  out << "<script type=\"application/json\" id=\"quax-meta\">\n{\"title\": "
      << jsonString(title) << ",\n\"colour\": " << jsonString(colour.name)
      << ", \"legend\": " << jsonString(colour.legend)
      << ", \"palette\": " << jsonString(colour.palette) << ",\n\"range\": ["
      << number(page.shown.low) << ", " << number(page.shown.high)
      << "], \"valueLow\": " << number(page.values.low)
      << ", \"valueStep\": " << number(page.valueStep) << ",\n\"low\": ["
      << number(page.low[0]) << ", " << number(page.low[1]) << ", "
      << number(page.low[2]) << "], \"scale\": [" << number(page.scale[0])
      << ", " << number(page.scale[1]) << ", " << number(page.scale[2])
      << "],\n\"maxPoints\": " << options.maxPoints
      << ", \"firstFramePoints\": " << options.firstFramePoints
      << ", \"overlapRadius\": " << number(options.overlapRadius)
      << ", \"message\": " << jsonString(message) << ",\n\"layers\": [";
  for (std::size_t l = 0; l < layers.size(); ++l) {
    const view::ViewLayer& layer = layers[l];
    out << (l ? ",\n" : "\n") << "{\"name\": " << jsonString(layer.name)
        << ", \"points\": " << layer.totalPoints
        << ", \"shown\": " << layer.size()
        << ", \"frames\": " << (layer.frameStarts.size() - 1)
        << ", \"surfaces\": [";
    for (std::size_t s = 0; s + 1 < layer.surfaceFrames.size(); ++s) {
      out << (s ? ", " : "") << "[" << layer.surfaceFrames[s] << ", "
          << layer.surfaceFrames[s + 1] << "]";
    }
    out << "]}";
  }
  out << "]}\n</script>\n";
}

// Layer l's positions, values and frame starts as base64 blocks; returns how
// many of its values are finite.
std::size_t writeLayerData(std::ostream& out, const view::ViewLayer& layer,
                           std::size_t l, const PageScales& page) {
  out << "<script type=\"application/octet-stream\" id=\"quax-positions-"
      << l << "\">";
  {
    Base64Writer data(out);
    for (std::size_t i = 0; i < layer.xyz.size(); ++i) {
      const int a = int(i % 3);
      const double v = layer.xyz[i];
      double q = page.scale[a] > 0.0 ? (v - page.low[a]) / page.scale[a] : 0.0;
      if (!(q >= 0.0)) q = 0.0;  // also NaN
      const auto step = std::uint32_t(std::min(kPositionSteps, q + 0.5));
      data.byte(std::uint8_t(step));
      data.byte(std::uint8_t(step >> 8));
      data.byte(std::uint8_t(step >> 16));
    }
  }
  out << "</script>\n<script type=\"application/octet-stream\" "
         "id=\"quax-values-"
      << l << "\">";
  std::size_t valued = 0;
  {
    Base64Writer data(out);
    for (double v : layer.values) {
      std::uint16_t q = kNoValue;
      if (std::isfinite(v)) {
        ++valued;
        q = page.valueStep > 0.0
                ? std::uint16_t(std::min(
                      kValueSteps, (v - page.values.low) / page.valueStep + 0.5))
                : 0;
      }
      data.byte(std::uint8_t(q));
      data.byte(std::uint8_t(q >> 8));
    }
  }
  out << "</script>\n<script type=\"application/octet-stream\" "
         "id=\"quax-frames-"
      << l << "\">";
  {
    Base64Writer data(out);
    for (std::uint32_t start : layer.frameStarts) {
      for (int b = 0; b < 4; ++b) data.byte(std::uint8_t(start >> (8 * b)));
    }
  }
  out << "</script>\n";
  return valued;
}

}  // namespace

ViewReport writeScanView(const ScanSet& set, const ViewOptions& options,
                         std::ostream& out) {
  const ColourName& colour = describe(options.colour);
  checkOptions(set, options);
  std::vector<view::ViewLayer> layers;
  layers.push_back(view::gatherLayer(
      set, options, options.before != nullptr ? "after" : "scan"));
  if (options.before != nullptr) {
    layers.push_back(view::gatherLayer(*options.before, options, "before"));
  }
  const std::string message =
      layers[0].totalPoints < 2 ? emptyMessage(set, layers[0]) : std::string();
  const PageScales page = scalesOf(layers, set, options);

  ViewReport report;
  report.points = layers[0].totalPoints;
  report.shown = layers[0].size();
  if (layers.size() > 1) {
    report.beforePoints = layers[1].totalPoints;
    report.beforeShown = layers[1].size();
  }

  const std::string title = options.title.empty() ? "Scan set" : options.title;
  out << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
         "<meta name=\"generator\" content=\"QUAXView, three.js r"
      << view::kThreeJsRevision << "\">\n<title>" << htmlText(title)
      << "</title>\n<style>\n";
  view::kPageCss.write(out);
  out << "</style>\n</head>\n<body>\n";
  view::kPageHtml.write(out);
  writeMeta(out, title, colour, page, options, message, layers);
  for (std::size_t l = 0; l < layers.size(); ++l) {
    const std::size_t valued = writeLayerData(out, layers[l], l, page);
    if (l == 0) report.valued = valued;
  }
  out << "<script>\n/* three.js r" << view::kThreeJsRevision
      << " (threejs.org), MIT License, Copyright (c) three.js authors */\n";
  view::kThreeJs.write(out);
  out << "\n</script>\n<script>\n";
  view::kOrbitControlsJs.write(out);
  out << "\n</script>\n<script>\n";
  view::kPageJs.write(out);
  out << "\n</script>\n</body>\n</html>\n";
  return report;
}

}  // namespace QUAX
