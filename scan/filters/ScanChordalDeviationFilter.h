// SPDX-License-Identifier: MIT
// The chordal deviation filter: thins a scan line to the points that shape it.
#ifndef QUAX_SCAN_FILTERS_SCANCHORDALDEVIATIONFILTER_H_
#define QUAX_SCAN_FILTERS_SCANCHORDALDEVIATIONFILTER_H_

#include <cstddef>
#include <string>
#include <vector>

#include "geomath/GeoPoint.h"
#include "scan/QUAXScanExport.h"
#include "scan/filters/ScanLineFilter.h"
#include "scan/filters/WorkPool.h"

namespace QUAX {

// Keeps a line's first and last point and, between them, walking from the
// last kept point (the anchor), keeps a further point as soon as some point
// since the anchor lies at least the deviation limit away from the chord from
// the anchor to the next point, or as soon as that chord reaches the maximum
// span. Lines of fewer than three points stay as they are.
//
// Only positions are written: the line is cut to the kept count and point m
// takes the position of the m-th kept point, keeping its own extension items.
//
// Settings:
//
//     <ScanChordalDeviationFilter>
//     <DeviationLimit value="0.5"/>
//     <MaxSpan value="2000"/>
//     </ScanChordalDeviationFilter>
//
// Thread safety: filterScanLine and applyFilter on one const filter may run on
// several threads at once: each call leases work buffers of its own from the
// filter (see WorkPool), so calls share nothing but the settings. No settings
// may be read into a filter while it filters.
class QUAX_SCAN_API ScanChordalDeviationFilter : public ScanLineFilter {
 public:
  static const std::wstring _scanChordalDeviationFilterKey;
  static const double _defaultMaxSpan;              // 2000.0
  static const std::size_t _defaultMaxPointCounts;  // 8000

  // Lines of up to `maxPointCounts` points are filtered without allocating;
  // a longer line grows the working buffer once. Throws
  // EScanNonPositiveDeviationLimit for a limit <= 0 (checked first), then
  // EScanNonPositiveMaxSpan for a span <= 0.
  explicit ScanChordalDeviationFilter(
      double deviationLimit, double maxSpan = _defaultMaxSpan,
      std::size_t maxPointCounts = _defaultMaxPointCounts);
  ScanChordalDeviationFilter(const ScanChordalDeviationFilter& other);
  ScanChordalDeviationFilter& operator=(
      const ScanChordalDeviationFilter& other);
  ~ScanChordalDeviationFilter() override;

  static double getDefaultMaxSpan();
  static std::size_t getDefaultMaxPointCounts();

  // Filters one line in place. REQUIRES: `line` is not null. Throws
  // EMathZeroVector for a chord shorter than the zero-vector tolerance yet
  // longer than the machine epsilon, leaving the line unchanged.
  void filterScanLine(_ScanLine<double, _ScanPoint<double>>* line) const;

 private:
  void writeSettings(std::wostream& os) const override;
  void readSettings(std::wistream& is) override;
  void filterLine(_ScanLine<double, _ScanPoint<double>>* line) const override;
  // The thinning, four points at a time where `wide` and the processor allow.
  void thinLine(_ScanLine<double, _ScanPoint<double>>* line, bool wide) const;
  friend struct ChordalDeviationFilterAccess;  // the tests run both walks

  struct WorkBuffers;  // the positions of one run, thinned in place

  double _deviationLimit;
  double _maxSpan;
  // Positions a call can hold without allocating; copies reserve as many.
  std::size_t _reservedPoints;
  WorkPool<WorkBuffers> _work;
};

}  // namespace QUAX

#endif  // QUAX_SCAN_FILTERS_SCANCHORDALDEVIATIONFILTER_H_
