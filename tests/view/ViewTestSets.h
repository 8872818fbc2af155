// SPDX-License-Identifier: MIT
// Scan sets built point by point for the view's tests, and the pieces of a
// written page read back.
#ifndef QUAX_TESTS_VIEW_VIEWTESTSETS_H_
#define QUAX_TESTS_VIEW_VIEWTESTSETS_H_

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "scan/model/ScanFrame.h"
#include "scan/model/ScanLine.h"
#include "scan/model/ScanSet.h"
#include "scan/model/ScanSurface.h"

namespace viewtest {

struct Xyz {
  double x, y, z;
};
// A scan line as its points; a surface as its lines.
using Frame = std::vector<Xyz>;
struct Surface {
  std::vector<Frame> frames;
  std::vector<bool> noLine;  // frames without a scan line (by index)
};

inline std::unique_ptr<QUAX::ScanSet> makeSet(
    const std::vector<Surface>& surfaces) {
  auto set = std::make_unique<QUAX::ScanSet>();
  for (const Surface& s : surfaces) {
    auto surface = std::make_unique<QUAX::ScanSurface>();
    for (std::size_t f = 0; f < s.frames.size(); ++f) {
      if (f < s.noLine.size() && s.noLine[f]) {
        surface->appendFrame(std::make_unique<QUAX::ScanFrame>());
        continue;
      }
      auto line = std::make_unique<QUAX::ScanLine>();
      for (const Xyz& p : s.frames[f]) {
        line->appendPoint(QUAX::_GeoPoint<double>(p.x, p.y, p.z));
      }
      surface->appendFrame(std::make_unique<QUAX::ScanFrame>(std::move(line)));
    }
    surface->setComplete();
    set->addSurface(std::move(surface));
  }
  return set;
}

// A grid of frames along y, lines along x, at height z.
inline Surface plane(double x0, double x1, int xCount, double y0, double y1,
                     int yCount, double z) {
  Surface s;
  s.frames.resize(yCount);
  for (int j = 0; j < yCount; ++j) {
    for (int i = 0; i < xCount; ++i) {
      s.frames[j].push_back({x0 + (x1 - x0) * i / (xCount - 1),
                             y0 + (y1 - y0) * j / (yCount - 1), z});
    }
  }
  return s;
}

// The text between `<script ... id="<id>">` and `</script>`.
inline std::string block(const std::string& page, const std::string& id) {
  const std::size_t tag = page.find("id=\"" + id + "\">");
  if (tag == std::string::npos) return std::string();
  const std::size_t begin = page.find('>', tag) + 1;
  return page.substr(begin, page.find("</script>", begin) - begin);
}

inline std::vector<std::uint8_t> base64(const std::string& text) {
  static const std::string digits =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::vector<std::uint8_t> out;
  std::uint32_t bits = 0;
  int have = 0;
  for (char c : text) {
    const std::size_t v = digits.find(c);
    if (v == std::string::npos) continue;  // '=' and white space
    bits = (bits << 6) | std::uint32_t(v);
    if ((have += 6) >= 8) out.push_back(std::uint8_t(bits >> (have -= 8)));
  }
  return out;
}

// The number after `"key": ` in the page's meta block (the first one).
inline double metaNumber(const std::string& page, const std::string& key,
                         std::size_t index = 0) {
  const std::string meta = block(page, "quax-meta");
  std::size_t at = meta.find("\"" + key + "\": ");
  if (at == std::string::npos) return NAN;
  at += key.size() + 4;
  if (meta[at] == '[') ++at;
  for (std::size_t i = 0; i < index; ++i) at = meta.find(',', at) + 1;
  return std::strtod(meta.c_str() + at, nullptr);
}

}  // namespace viewtest

#endif  // QUAX_TESTS_VIEW_VIEWTESTSETS_H_
