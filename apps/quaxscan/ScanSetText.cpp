// SPDX-License-Identifier: MIT
// Plain-text scan files: one point "x y z" per line, a blank line after each
// frame, a second one after each surface.
#include <cmath>
#include <cstdint>
#include <ostream>
#include <vector>

#include "apps/quaxscan/ScanSetFormats.h"
#include "apps/quaxscan/ScanSetIO.h"

namespace quaxscan {
namespace detail {

void writeText(const QUAX::ScanSet& set, std::ostream& out) {
  std::string buffer =
      "# QUAX scan set written by quaxscan: x y z per point; a blank line "
      "ends a frame, a second one a surface\n";
  for (std::size_t s = 0; s < set.getSurfaceCount(); ++s) {
    const QUAX::ScanSurface* surface = set.getSurface(s);
    if (s > 0) buffer += '\n';
    for (std::size_t f = 0; f < surface->getFrameCount(); ++f) {
      const QUAX::ScanFrame* frame = surface->getFrame(f);
      if (!frame->hasScanLine()) continue;
      const QUAX::ScanLine* line = frame->getScanLine();
      if (line->getPointCount() == 0) continue;
      for (std::size_t i = 0; i < line->getPointCount(); ++i) {
        const QUAX::_GeoPoint<double>& p = line->getPoint(i)->position();
        appendNumber(buffer, p.x());
        buffer += ' ';
        appendNumber(buffer, p.y());
        buffer += ' ';
        appendNumber(buffer, p.z());
        buffer += '\n';
        flushIfLarge(buffer, out);
      }
      buffer += '\n';
    }
  }
  out.write(buffer.data(), std::streamsize(buffer.size()));
}

}  // namespace detail

using namespace detail;

std::unique_ptr<QUAX::ScanSet> readText(std::string_view bytes,
                                        const std::string& name) {
  std::vector<PointRecord> points;
  LineReader lines(bytes);
  std::string_view line;
  std::uint32_t surface = 0, frame = 0;
  std::size_t blanks = 0;
  bool surfaceHasPoints = false, frameHasPoints = false;
  while (lines.next(line)) {
    if (isBlank(line)) {
      ++blanks;
      continue;
    }
    std::string_view rest = line;
    while (!rest.empty() && isSpace(rest.front())) rest.remove_prefix(1);
    if (rest.front() == '#') continue;
    const std::string where = name + ":" + std::to_string(lines.number());
    if (blanks >= 2 && surfaceHasPoints) {
      if (surface == std::uint32_t(INT32_MAX)) {
        throw ScanFileError(where + ": too many surfaces");
      }
      ++surface;
      frame = 0;
      surfaceHasPoints = frameHasPoints = false;
    } else if (blanks >= 1 && frameHasPoints) {
      if (frame == std::uint32_t(INT32_MAX)) {
        throw ScanFileError(where + ": too many frames");
      }
      ++frame;
      frameHasPoints = false;
    }
    blanks = 0;
    const auto w = words(rest);
    double xyz[3];
    if (w.size() != 3) {
      throw ScanFileError(where + ": expected three numbers 'x y z', found " +
                          std::to_string(w.size()) + " words");
    }
    for (int i = 0; i < 3; ++i) {
      if (!parseDouble(w[std::size_t(i)], xyz[i]) || !std::isfinite(xyz[i])) {
        throw ScanFileError(where + ": " + shownText(w[std::size_t(i)]) +
                            " is not a finite number");
      }
    }
    points.push_back(
        PointRecord{xyz[0], xyz[1], xyz[2], surface, frame, 0, 0, 0});
    surfaceHasPoints = frameHasPoints = true;
  }
  if (points.empty()) throw ScanFileError(name + ": no points");
  return buildSet(points, SetLayout{}, name);
}

}  // namespace quaxscan
