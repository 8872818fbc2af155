// SPDX-License-Identifier: MIT
// Internal: what the N-point search measures of a line before it thins it.
#ifndef QUAX_SCAN_FILTERS_CHORDAL_LINESTATISTICS_H_
#define QUAX_SCAN_FILTERS_CHORDAL_LINESTATISTICS_H_

#include <cstddef>
#include <cstdint>

#include "geomath/GeoPoint.h"

namespace QUAX {

// The deviation statistics of a line, from which the N-point search starts:
// the path length from p[0] to p[n - 2] (the last segment is left out) and
// the distances of each p[i + 1] from the line through p[i] and p[i + 2]
// (triples whose ends coincide are passed over).
struct DeviationStatistics {
  double length = 0.0;
  double minimum = 999999.99;
  double maximum = -999999.99;
  double sum = 0.0;
  std::int64_t count = 0;  // deviations measured; the mean is sum / count
};

// Throws EMathZeroVector as thinByChordalDeviation does. With `deviations`,
// also writes there, for each i = 0 ... n - 3, the distance of p[i + 1] from
// the line through p[i] and p[i + 2], or not a number for a triple passed
// over: the very value the thinning tests at the first step from p[i].
DeviationStatistics deviationStatistics(const _GeoPoint<double>* p,
                                        std::size_t n,
                                        double* deviations = nullptr);

// A line whose points all share one coordinate: the other two by axis, and
// the allowance per squared chord length within which the squared cross
// product of an offset from the anchor with the chord differs from the
// squared deviation from the chord line times the squared chord length (see
// ChordalTrials, which finds it).
struct PlaneCoordinates {
  const double* a = nullptr;
  const double* b = nullptr;
  double allowance = 0.0;
};

// deviationStatistics for a line in a coordinate plane, from its other two
// coordinates: the same values, to the bit.
DeviationStatistics deviationStatistics(const PlaneCoordinates& plane,
                                        std::size_t n,
                                        double* deviations = nullptr);

}  // namespace QUAX

#endif  // QUAX_SCAN_FILTERS_CHORDAL_LINESTATISTICS_H_
