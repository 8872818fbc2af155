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
#include "scan/filters/WorkPool.h"

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
//
//     <ScanNPointFilter>
//     <NumberOfPoints value="20"/>
//     <Algorithm value="1"/>
//     </ScanNPointFilter>
//
// Thread safety: filterScanLine and applyFilter on one const filter may run on
// several threads at once: each call leases work buffers of its own from the
// filter (see WorkPool), so calls share nothing but the settings. No settings
// may be read into a filter while it filters.
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

  struct WorkBuffers;  // the chosen positions and the search's trials

  void filterEqualIndex(_ScanLine<double, _ScanPoint<double>>* line,
                        WorkBuffers& work) const;
  void filterEqualArcLength(_ScanLine<double, _ScanPoint<double>>* line,
                            WorkBuffers& work) const;
  void searchChordalDeviation(_ScanLine<double, _ScanPoint<double>>* line,
                              WorkBuffers& work) const;

  std::int32_t _numberOfPoints;
  ScanNPointFilterAlgorithm _algorithm;
  // Positions a call can choose without allocating; copies reserve as many.
  std::size_t _reservedPoints;
  WorkPool<WorkBuffers> _work;
};

}  // namespace QUAX

#endif  // QUAX_SCAN_FILTERS_SCANNPOINTFILTER_H_
