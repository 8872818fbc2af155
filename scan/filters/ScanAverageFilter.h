// SPDX-License-Identifier: MIT
// The average filter: smooths a scan line across local chords.
#ifndef QUAX_SCAN_FILTERS_SCANAVERAGEFILTER_H_
#define QUAX_SCAN_FILTERS_SCANAVERAGEFILTER_H_

#include <cstdint>
#include <string>
#include <vector>

#include "scan/QUAXScanExport.h"
#include "scan/filters/ScanLineFilter.h"
#include "scan/filters/WorkPool.h"

namespace QUAX {

// Moves each point of a line perpendicular to a local chord, to the
// Gaussian-weighted mean distance of its neighbours from that chord; a point
// never moves along its chord, and no point is added or removed.
//
// For point i the window holds the n points i - n/2 ... i + n - 1 - n/2. The
// chord runs through the mean of the window's backward half (up to i) and the
// mean of its forward half (from i); only neighbours within the proximity
// limit (inclusive) take part, so a gap in the profile stops the pass: when
// fewer than two points of a forward half qualify, that point and all later
// ones keep their positions. Neighbours are read from the line as it was
// before the call.
//
// Applied through applyFilter; settings:
//
//     <ScanAverageFilter>
//     <NeighborhoodSize value="5"/>
//     <ProximityLimit value="500"/>
//     <Weights value="5"/>   (n lines, window positions in order)
//     </ScanAverageFilter>
//
// Thread safety: one filter may filter lines of several threads at once (not
// while settings are read); each pass works in buffers of its own.
class QUAX_SCAN_API ScanAverageFilter : public ScanLineFilter {
 public:
  static const std::wstring _scanAverageFilterKey;  // "ScanAverageFilter"
  static const double _defaultProximityLimit;       // 500.0

  // Throws EScanNeighborhoodSizeOutOfRange for n < 1,
  // EScanNeighborhoodSizeNotOddNumber for an even n (checked before the
  // limit) and EScanNonPositiveProximityLimit for r <= 0. The weights are
  // the integer part of 100 exp(-x^2 / 2 sigma^2), x = -n/2 ... n/2,
  // sigma = n / 6: 5 48 100 48 5 for n = 5.
  ScanAverageFilter(std::int32_t neighborhoodSize, double proximityLimit);
  ScanAverageFilter(const ScanAverageFilter& other);
  ScanAverageFilter& operator=(const ScanAverageFilter& other);
  ~ScanAverageFilter() override;

  static double getDefaultProximityLimit();

 private:
  void setNeighborhoodSize(std::int32_t neighborhoodSize);
  void computeWeights();

  void writeSettings(std::wostream& os) const override;
  // Stores each value as read; the weights are taken as written. A negative
  // size throws std::length_error and a size above 1000000 (a window far
  // beyond any scan line, whose weights alone would take gigabytes for the
  // largest sizes) EScanIOBadAttribute, both after the limit is stored.
  void readSettings(std::wistream& is) override;
  void filterLine(_ScanLine<double, _ScanPoint<double>>* line) const override;
  // The pass, four points at a time where `wide` and the window allow,
  // otherwise two; both give the same bits.
  void filterPass(_ScanLine<double, _ScanPoint<double>>* line, bool wide) const;
  friend struct AverageFilterAccess;  // the tests run both passes

  struct Scratch;  // the buffers of one pass

  std::int32_t _neighborhoodSize;
  double _proximityLimit;
  std::vector<std::int32_t> _weights;
  // Buffers of finished passes, kept for the next ones so that filtering
  // allocates nothing once they have grown; threads sharing the filter never
  // share a buffer. No part of the settings: copies start without any.
  WorkPool<Scratch> _scratch;
};

}  // namespace QUAX

#endif  // QUAX_SCAN_FILTERS_SCANAVERAGEFILTER_H_
