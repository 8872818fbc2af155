// SPDX-License-Identifier: MIT
// The N-point filter: reduces a scan line to a fixed number of its points.
#ifndef QUAX_SCAN_FILTERS_SCANNPOINTFILTER_H_
#define QUAX_SCAN_FILTERS_SCANNPOINTFILTER_H_

#include <cstdint>
#include <string>
#include <vector>

#include "geomath/GeoPoint.h"
#include "scan/QUAXScanExport.h"
#include "scan/filters/ScanLineFilter.h"

namespace QUAX {

// Keeps N points of a line, chosen among its own points, first and last
// included:
//  - EQUAL_INDEX: the points at evenly spaced indexes (halves round up);
//  - EQUAL_ARC_LENGTH: the segment ends nearest to N - 1 evenly spaced
//    positions along the path, leaving out segments longer than 2000 (gaps);
//    throws EScanNPointFilterPointsNotExact, after cutting the line, when the
//    walk ends with another count;
//  - CHORDAL_DEVIATION: the chordal deviation filter with a deviation limit
//    searched so that exactly N points remain (secant steps, then halving, at
//    most 100 trials). Needs N + 3 points. Throws
//    EScanNonPositiveDeviationLimit for a line without any deviation (all
//    points on the chords of their neighbours), EScanNonPositiveMaxSpan for a
//    path of length 0, EScanNPointFilterSolutionNotFound after 100 trials and
//    EScanNPointFilterPointsNotExact when the search ended with too few.
// A line of fewer than N points throws EScanNPointFilterTooLarge. Only
// positions are written: the line is cut to the new count and each remaining
// point keeps its own extension items.
//
// Settings:
//   <ScanNPointFilter>
//   <NumberOfPoints value="20"/>
//   <Algorithm value="1"/>
//   </ScanNPointFilter>
// Thread safety: filtering writes the filter's working buffers, so one filter
// filters one line at a time; separate filters are independent.
class QUAX_SCAN_API ScanNPointFilter : public ScanLineFilter {
 public:
  enum ScanNPointFilterAlgorithm : std::uint32_t {
    EQUAL_INDEX = 0,
    EQUAL_ARC_LENGTH = 1,
    CHORDAL_DEVIATION = 2
  };

  static const std::wstring _scanNPointFilterKey;  // "ScanNPointFilter"

  // Throws EScanNonPositiveNumberOfPoints for N <= 0,
  // EScanNPointFilterTooSmall for N = 1 or 2 and
  // EScanUnknownNPointFilterAlgorithm for an algorithm outside the three.
  ScanNPointFilter(std::int32_t numberOfPoints,
                   ScanNPointFilterAlgorithm algorithm);
  ScanNPointFilter(const ScanNPointFilter& other);
  ScanNPointFilter& operator=(const ScanNPointFilter& other);
  ~ScanNPointFilter() override;

  // Filters one line in place. REQUIRES: `line` is not null. A count below 3
  // read from settings text is refused as the constructor refuses it; an
  // unknown algorithm read from settings text leaves the line unchanged.
  void filterScanLine(_ScanLine<double, _ScanPoint<double>>* line) const;

 private:
  void writeSettings(std::wostream& os) const override;
  void readSettings(std::wistream& is) override;
  void filterLine(_ScanLine<double, _ScanPoint<double>>* line) const override;

  void filterEqualIndex(_ScanLine<double, _ScanPoint<double>>* line) const;
  void filterEqualArcLength(_ScanLine<double, _ScanPoint<double>>* line) const;
  void searchChordalDeviation(
      _ScanLine<double, _ScanPoint<double>>* line) const;
  // Writes the first `count` slots of the working buffer into the line, cut
  // to `count` points.
  void writeLine(_ScanLine<double, _ScanPoint<double>>* line,
                 std::size_t count) const;

  std::int32_t _numberOfPoints;
  ScanNPointFilterAlgorithm _algorithm;
  // The chosen positions during one run; the search also keeps the line's
  // positions here. Contents mean nothing between runs.
  mutable std::vector<_GeoPoint<double>> _workingBuffer;
  mutable std::vector<_GeoPoint<double>> _searchPositions;
};

}  // namespace QUAX

#endif  // QUAX_SCAN_FILTERS_SCANNPOINTFILTER_H_
