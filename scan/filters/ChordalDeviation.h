// SPDX-License-Identifier: MIT
// Internal: the chordal deviation thinning on plain positions, shared by the
// chordal deviation filter and the N-point filter's search.
#ifndef QUAX_SCAN_FILTERS_CHORDALDEVIATION_H_
#define QUAX_SCAN_FILTERS_CHORDALDEVIATION_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "geomath/GeoPoint.h"
#include "scan/filters/FilterGeometry.h"

namespace QUAX {

// What the thinning knows about a block of consecutive points of the current
// span: the largest deviation of its points from a reference chord direction
// through the anchor, and their largest squared distance from the anchor.
// When the chord turns by |u - reference|, no point of the block moves away
// from it by more than that distance times the turn, so a block far enough
// below the limit needs no per-point test.
struct ChordBlock {
  double ux, uy, uz;    // the reference direction (unit)
  double deviation;     // largest deviation from it (NaN: unknown)
  double reachSquared;  // largest squared distance from the anchor
  std::size_t anchor;   // the anchor these hold for
};

// Buffers of one thinning run, reused from run to run.
struct ChordalWork {
  std::vector<ChordBlock> blocks;
  std::vector<ChordBlock> groups;  // of 8 blocks, bounded by their bounds
  // Summaries: of the span's whole groups (those before group wholeEnd),
  // and of the closed blocks of the open group (before block closedEnd).
  ChordBlock whole{};
  ChordBlock closed{};
  std::size_t wholeEnd = 0;
  std::size_t closedEnd = 0;
  std::vector<double> lanes;  // the four-lane walk's coordinates by axis
};

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
// the processor and the limit allow it (see ChordalDeviationWide.h), the
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

// An absolute bound on the rounding of one deviation computed on the
// positions p[0] ... p[n - 1]: not finite when a coordinate is not.
double deviationRounding(const _GeoPoint<double>* p, std::size_t n);
// The same from the largest magnitude of the coordinates along each axis
// (taken as a > b ? a : b from 0) and the sum of every magnitude times 0
// (not a number once a coordinate is not finite).
double deviationRounding(double largestX, double largestY, double largestZ,
                         double finite);

// Whether no chord between two of the positions p[0] ... p[n - 1] can have a
// length at which the chord line throws EMathZeroVector (from the machine
// epsilon up to the zero-vector tolerance): true when, along one axis, the
// sorted coordinates lie at least four times the tolerance apart. Sorts a
// copy of one axis at a time into `scratch` by insertion, giving up on an
// axis after a few moves per point, so that it costs O(n) on a line that
// runs along one axis with local back-steps, as a scanner's profile does.
bool chordsNeverFault(const _GeoPoint<double>* p, std::size_t n,
                      std::vector<double>& scratch);

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

#endif  // QUAX_SCAN_FILTERS_CHORDALDEVIATION_H_
