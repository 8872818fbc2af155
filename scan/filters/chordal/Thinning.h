// SPDX-License-Identifier: MIT
// Internal: the chordal deviation thinning on plain positions, shared by the
// chordal deviation filter and the N-point filter's search.
#ifndef QUAX_SCAN_FILTERS_CHORDAL_THINNING_H_
#define QUAX_SCAN_FILTERS_CHORDAL_THINNING_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "geomath/GeoPoint.h"
#include "scan/filters/chordal/LineStatistics.h"
#include "scan/filters/chordal/ThinningWork.h"

namespace QUAX {

// Thins the positions p[0] ... p[n - 1] (n >= 3) and writes the kept ones to
// out[0] ... out[k - 1]; returns k. The first and the last position are kept.
// Walking from the last kept position (the anchor), p[i] is kept when the
// chord from the anchor to p[i + 1] is at least `maxSpan` long; otherwise the
// first p[j] since the anchor at least `deviationLimit` from that chord (the
// infinite line) keeps p[j - 1], or p[j] itself when p[j - 1] is the anchor.
// A p[i + 1] on the anchor drops p[i] untested.
//
// The result is that of testing every p[j] at every step, to the bit, at a
// cost near-linear in n: points are tested one by one only in blocks whose
// bound (see ChordBlock) comes within rounding of the limit. Where `wide`,
// the processor and the limit allow it (see FourLaneThinning.h), the
// walk sets up four chords and tests four points at a time, with the same
// result.
//
// `out` may be `p` itself: kept indexes grow strictly and never fall behind
// their slot, and a slot is overwritten only once nothing reads it any more.
// Throws EMathZeroVector for a chord of a length between the machine epsilon
// and the zero-vector tolerance; `out` then holds a partial result.
std::size_t thinByChordalDeviation(const _GeoPoint<double>* p, std::size_t n,
                                   double deviationLimit, double maxSpan,
                                   _GeoPoint<double>* out, ChordalWork& work,
                                   bool wide = true);

// Whether no chord between two of the positions p[0] ... p[n - 1] can have a
// length at which the chord line throws EMathZeroVector (from the machine
// epsilon up to the zero-vector tolerance): true when, along one axis, the
// sorted coordinates lie at least four times the tolerance apart. Sorts a
// copy of one axis at a time into `scratch` by insertion, giving up on an
// axis after a few moves per point, so that it costs O(n) on a line that
// runs along one axis with local back-steps, as a scanner's profile does.
bool chordsNeverFault(const _GeoPoint<double>* p, std::size_t n,
                      std::vector<double>& scratch);

// The number of points thinByChordalDeviation keeps, found the same way on a
// line where the limit keeps most points: the first step from each anchor is
// decided by `deviations` (as deviationStatistics writes them), and the few
// later steps point by point; with `plane`, by cross products where they
// fall clear of the limit, by the chord line where they come within the
// allowance of it. Gives up, returning 0, at a span of more than
// `longestSpan` points, where the thinning's bounds pay off. Throws
// EMathZeroVector as the thinning does.
std::size_t countKeptOnShortSpans(const _GeoPoint<double>* p, std::size_t n,
                                  double deviationLimit, double maxSpan,
                                  const double* deviations,
                                  std::size_t longestSpan,
                                  const PlaneCoordinates* plane = nullptr);

}  // namespace QUAX

#endif  // QUAX_SCAN_FILTERS_CHORDAL_THINNING_H_
