// SPDX-License-Identifier: MIT
// Reads arbitrary bytes as a short line of points on a small grid (in a
// coordinate plane, in a tilted plane or off any plane, near the origin or
// far out) and runs the filters' fast paths on it against the step-by-step
// algorithms of the filters' tests: the average filter's pass, one lane and
// four; the chordal deviation filter's walks, one lane and four, and the
// N-point search's trials (one object for all limits) at a sequence of
// limits, many of them at a point's deviation from a chord or one unit in the
// last place beside it; and the N-point search. Every run must give the
// step-by-step points, to the bit, or throw what that throws, however the
// runs before it left the trials' memos.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <vector>

#include "../tests/scan/filters/FilterTestSupport.h"
#include "../tests/scan/filters/ReferenceFilters.h"
#include "scan/filters/AverageFilterWide.h"
#include "scan/filters/FilterAccess.h"
#include "scan/filters/ScanAverageFilter.h"
#include "scan/filters/ScanChordalDeviationFilter.h"
#include "scan/filters/ScanNPointFilter.h"
#include "scan/filters/chordal/ChordalTrials.h"
#include "scan/filters/chordal/FourLaneThinning.h"
#include "scan/model/ScanLine.h"

namespace {

using QUAX::reference::Point;
using QUAX::reference::Points;
using QUAX::test::outcomeOf;
using QUAX::test::positionsOf;

void require(bool holds, const char* what) {
  if (!holds) {
    std::fprintf(stderr, "property broken: %s\n", what);
    std::abort();
  }
}

// The bytes, read one at a time; 0 once they run out.
struct Bytes {
  const std::uint8_t* data;
  std::size_t size;
  std::size_t at = 0;
  std::uint8_t next() { return at < size ? data[at++] : 0; }
  bool left() const { return at < size; }
};

void requireSame(const QUAX::test::Outcome& got,
                 const QUAX::test::Outcome& expected, const char* what) {
  require(got.error == expected.error, what);
  if (got.error.empty()) {
    require(QUAX::test::sameBits(got.points, expected.points), what);
  }
}

// The scale of the grid, from bits 3-5 of the input's first byte.
double scaleOf(std::uint8_t shape) {
  static const double kScales[8] = {1.0, 1e-3, 1e3, 1e-6, 1e6, 1.0, 1e-9, 1e9};
  return kScales[(shape >> 3) & 7];
}

Points lineOf(Bytes& bytes, std::uint8_t shape, std::size_t count) {
  const double scale = scaleOf(shape);
  const int plane = shape & 3;
  Points line;
  double x = 0.0;
  for (std::size_t i = 0; i < count; ++i) {
    x += static_cast<std::int8_t>(bytes.next()) / 16.0;
    const double y = static_cast<std::int8_t>(bytes.next()) / 16.0;
    const double z = static_cast<std::int8_t>(bytes.next()) / 16.0;
    switch (plane) {
      case 0:  // the x-z plane
      case 1:  // the x-z plane, turned into a tilted plane below
        line.emplace_back(x * scale, 0.0, z * scale);
        break;
      case 2:  // off any plane
        line.emplace_back(x * scale, y * scale, z * scale);
        break;
      default:  // the x-z plane far from the origin
        line.emplace_back(1e4 + x * scale, 0.0, -3e3 + z * scale);
        break;
    }
  }
  return plane == 1 ? QUAX::test::turned(line, 3) : line;
}

// A limit from two bytes: the deviation of a point from a chord from the
// first point, one unit in the last place below or above it, or a power of
// ten.
double limitOf(const Points& line, std::uint8_t choice, std::uint8_t where) {
  const std::size_t n = line.size();
  if (choice % 4 == 3) return std::pow(10.0, static_cast<int>(where % 12) - 8);
  const std::size_t i = 1 + where % (n - 2);
  const QUAX::reference::Vector chord = line[i + 1] - line[0];
  double deviation = 0.0;
  try {
    const QUAX::_GeoLine<double> along(line[0], chord);
    const std::size_t point = 1 + (where / 8u) % i;
    deviation = (line[point] - along.project(line[point])).length();
  } catch (const std::exception&) {
    return 1.0;
  }
  if (choice % 4 == 1) return std::nextafter(deviation, 0.0);
  if (choice % 4 == 2) return std::nextafter(deviation, 1e300);
  return deviation;
}

}  // namespace

// The first byte chooses the plane (bits 0-1), the lanes (bit 2) and the
// scale (bits 3-5); after four more (the span, N, the average's window and
// proximity, and the count of points), three bytes per point give the step
// along x and the two cross coordinates, in sixteenths. Pairs of bytes after
// them choose the limits.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  using namespace QUAX;
  Bytes bytes{data, size};
  const std::uint8_t shape = bytes.next();
  const std::uint8_t spanChoice = bytes.next();
  const std::uint8_t target = bytes.next();
  const std::uint8_t window = bytes.next();
  const std::size_t count = 3 + bytes.next() % 128;
  const Points line = lineOf(bytes, shape, count);

  // The average: an odd window of 1 to 19 points, a proximity limit from a
  // twentieth of a grid unit to far beyond the line, the filter's weights.
  static const double kProximities[4] = {0.05, 0.3, 2.0, 1e3};
  const int n = 1 + 2 * (window % 10);
  const double r = kProximities[(window >> 4) & 3] * scaleOf(shape);
  const ScanAverageFilter average(n, r);
  const std::vector<int> weights = test::weightsOf(average);
  Points expected;
  const test::Outcome want = outcomeOf([&] {
    reference::averageInto(line, n, r, weights, expected);
    return expected;
  });
  for (const bool wide : {false, averageWideSupported()}) {
    ScanLine got = test::makeLine(line);
    requireSame(outcomeOf([&] {
                  AverageFilterAccess::filterPass(average, &got, wide);
                  return positionsOf(got);
                }),
                want, "the average keeps the step-by-step pass's points");
    // Also the points written before an exception.
    require(test::sameBits(positionsOf(got), expected),
            "the average writes the step-by-step pass's points");
  }
  static const double kSpans[4] = {2000.0, 3.0, 0.5, 1e12};
  const double span = kSpans[spanChoice % 4];

  // One trials object for every limit, as the search uses it.
  static ChordalTrials trials;
  trials.reset(line.data(), line.size(), span, (shape & 4) != 0);
  for (int run = 0; run < 12 && bytes.left(); ++run) {
    const std::uint8_t choice = bytes.next();
    const double limit = limitOf(line, choice, bytes.next());
    if (!(limit > 0.0)) continue;
    const test::Outcome plain = outcomeOf(
        [&] { return reference::chordalDeviation(line, limit, span); });
    const ScanChordalDeviationFilter filter(limit, span, line.size());
    for (const bool wide : {false, true}) {
      if (wide && !chordalWideRuns(limit)) continue;
      requireSame(outcomeOf([&] {
                    ScanLine scanLine = test::makeLine(line);
                    ChordalDeviationFilterAccess::thinLine(filter, &scanLine,
                                                           wide);
                    return positionsOf(scanLine);
                  }),
                  plain, "the filter keeps the step-by-step walk's points");
    }
    requireSame(outcomeOf([&] {
                  Points kept;
                  trials.run(limit);
                  for (const auto k : trials.kept()) kept.push_back(line[k]);
                  return kept;
                }),
                plain,
                "a run of the trials keeps the step-by-step walk's points");
  }

  // The search for N points, on the shorter lines (the step-by-step search
  // runs the plain walk up to 104 times); the filter leaves the cut line
  // where it throws EScanNPointFilterPointsNotExact, the reference throws
  // alone.
  if (line.size() > 64) return 0;
  const int wanted = 3 + target % 24;
  const ScanNPointFilter filter(wanted, ScanNPointFilter::CHORDAL_DEVIATION);
  requireSame(outcomeOf([&] { return test::filtered(filter, line); }),
              outcomeOf([&] { return reference::chordalSearch(line, wanted); }),
              "the search keeps the step-by-step search's points");
  return 0;
}
