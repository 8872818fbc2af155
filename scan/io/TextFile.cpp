// SPDX-License-Identifier: MIT
// Plain-text scan files: one point "x y z" per line, a blank line after each
// frame, a second one after each surface.
#include <cmath>
#include <cstdint>
#include <ostream>
#include <vector>

#include "scan/io/ScanFileFormats.h"
#include "scan/io/ScanFile.h"
#include "scan/io/TextRows.h"

namespace QUAX {
namespace scanfile {

const char kTextHeading[] =
    "# QUAX scan set written by quaxscan: x y z per point; a blank line "
    "ends a frame, a second one a surface\n";

void appendTextRows(std::string& out, const ScanLine& line) {
  for (std::size_t i = 0; i < line.getPointCount(); ++i) {
    const _GeoPoint<double>& p = line.getPoint(i)->position();
    appendNumber(out, p.x());
    out += ' ';
    appendNumber(out, p.y());
    out += ' ';
    appendNumber(out, p.z());
    out += '\n';
  }
  out += '\n';
}

void writeText(const ScanSet& set, std::ostream& out) {
  std::string buffer = kTextHeading;
  for (std::size_t s = 0; s < set.getSurfaceCount(); ++s) {
    const ScanSurface* surface = set.getSurface(s);
    if (s > 0) buffer += '\n';
    for (std::size_t f = 0; f < surface->getFrameCount(); ++f) {
      const ScanFrame* frame = surface->getFrame(f);
      if (!frame->hasScanLine()) continue;
      const ScanLine* line = frame->getScanLine();
      if (line->getPointCount() == 0) continue;
      appendTextRows(buffer, *line);
      flushIfLarge(buffer, out);
    }
  }
  out.write(buffer.data(), std::streamsize(buffer.size()));
}

bool TextRows::read(std::string_view line, std::size_t number,
                    PointRecord& p) {
  if (isBlank(line)) {
    ++_blanks;
    return false;
  }
  std::string_view rest = line;
  while (!rest.empty() && isSpace(rest.front())) rest.remove_prefix(1);
  if (rest.front() == '#') return false;
  const auto where = [&] { return _name + ":" + std::to_string(number); };
  if (_blanks >= 2 && _surfaceHasPoints) {
    if (_surface == std::uint32_t(INT32_MAX)) {
      throw EScanFileError(where() + ": too many surfaces");
    }
    ++_surface;
    _frame = 0;
    _surfaceHasPoints = _frameHasPoints = false;
  } else if (_blanks >= 1 && _frameHasPoints) {
    if (_frame == std::uint32_t(INT32_MAX)) {
      throw EScanFileError(where() + ": too many frames");
    }
    ++_frame;
    _frameHasPoints = false;
  }
  _blanks = 0;
  // The count is checked before the numbers.
  double xyz[3];
  std::size_t bad = 3;
  std::string_view badWord;
  const std::size_t n =
      eachWord(rest, 3, [&](std::size_t i, std::string_view w) {
        if ((!parseDouble(w, xyz[i]) || !std::isfinite(xyz[i])) && bad == 3) {
          bad = i;
          badWord = w;
        }
      });
  if (n != 3) {
    throw EScanFileError(where() + ": expected three numbers 'x y z', found " +
                         std::to_string(n) + " words");
  }
  if (bad < 3) {
    throw EScanFileError(where() + ": " + shownText(badWord) +
                         " is not a finite number");
  }
  p = PointRecord{xyz[0], xyz[1], xyz[2], _surface, _frame, 0, 0, 0};
  _surfaceHasPoints = _frameHasPoints = true;
  return true;
}

std::unique_ptr<ScanSet> readText(std::string_view bytes,
                                  const std::string& name) {
  std::vector<PointRecord> points;
  LineReader lines(bytes);
  TextRows rows(name);
  std::string_view line;
  PointRecord p;
  while (lines.next(line)) {
    if (rows.read(line, lines.number(), p)) points.push_back(p);
  }
  if (points.empty()) throw EScanFileError(name + ": no points");
  return buildSet(points, SetLayout{}, name);
}

}  // namespace scanfile

}  // namespace QUAX
