// SPDX-License-Identifier: MIT
// Internal: the average filter's pass four points at a time, on processors
// with 256-bit lanes (AVX2), chosen at run time.
#ifndef QUAX_SCAN_FILTERS_AVERAGEFILTERWIDE_H_
#define QUAX_SCAN_FILTERS_AVERAGEFILTERWIDE_H_

#include <cstdint>

#include "scan/model/ScanLine.h"

namespace QUAX {

// The largest half-window the four-lane pass takes (n = 17); larger windows
// run two points at a time.
constexpr std::int64_t kMaxWideHalfWindow = 8;

// What one pass reads: the line's positions before the pass, by axis, each
// readable from index -(half + 1) to count + half + 3 (zeros outside the
// line), the window's weights (2 half + 1 of them) and the proximity limit
// with the band of squared distances that the square root alone decides
// (squared lengths at most `lower` are within the limit, at least `upper`
// beyond it).
struct AverageWideInput {
  const double* xs;
  const double* ys;
  const double* zs;
  std::int64_t count;
  std::int64_t half;
  const std::int32_t* weights;
  double limit;
  double lower;
  double upper;
};

// Whether this build and processor run averageWide.
bool averageWideSupported();

// The pass of the average filter, exactly as the point-by-point pass computes
// it (same arithmetic in every lane, so the same bits), four points at a
// time: writes each moved point into `line` and throws EMathDivisionByZero,
// after the points before it are written, at a point with a coordinate that
// is not a finite number. Needs averageWideSupported(), an odd window of
// half-width 1 to kMaxWideHalfWindow and a limit of the banded range.
void averageWide(const AverageWideInput& input,
                 _ScanLine<double, _ScanPoint<double>>* line);

}  // namespace QUAX

#endif  // QUAX_SCAN_FILTERS_AVERAGEFILTERWIDE_H_
