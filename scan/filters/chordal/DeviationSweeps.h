// SPDX-License-Identifier: MIT
// Internal: the sweeps that measure a chord from an anchor against every
// point since the anchor, for the chordal trials, on the coordinates copied
// by axis.
#ifndef QUAX_SCAN_FILTERS_CHORDAL_DEVIATIONSWEEPS_H_
#define QUAX_SCAN_FILTERS_CHORDAL_DEVIATIONSWEEPS_H_

#include <cstddef>

#include "scan/filters/FilterGeometry.h"
#include "scan/filters/Rounding.h"
#include "scan/filters/simd/Lanes.h"

namespace QUAX {

// The largest squared deviation of the points from ... to - 1 from `line`,
// each computed as ChordLine::project and _MathVector::length() compute it
// (without the root), into `squares` from index 0; -inf when none is a
// number. Four points at a time where `wide` and the processor allow it (the
// coordinates and `squares` then have room for three more), else two: the
// lanes round as the scalar operations do.
double largestSquaredDeviation(const double* xs, const double* ys,
                               const double* zs, std::size_t from,
                               std::size_t to, const ChordLine& line,
                               double* squares, bool wide);

// The squared deviation of point j from `line`, as largestSquaredDeviation
// takes it.
double squaredDeviation(const double* xs, const double* ys, const double* zs,
                        std::size_t j, const ChordLine& line);

// The first of values[from] ... values[to - 1] at least `threshold` (a
// value that is not a number is not), or `to` if none; `before` becomes the
// largest of itself and the values before it (those that are numbers).
// Four values at a time where `wide` and the processor allow it (`values`
// then has room for three more).
std::size_t firstAtLeast(const double* values, std::size_t from, std::size_t to,
                         double threshold, double& before, bool wide);

// Off a plane: the offsets q of points from one anchor, by axis, and their
// squared lengths |q|^2, each at its point's index.
struct AnchorOffsets {
  double* x;
  double* y;
  double* z;
  double* squared;
};

// Writes the offsets of the points from ... to - 1 from the anchor at (ox,
// oy, oz), and their squared lengths, into q. Four points at a time where
// `wide` and the processor allow it (the coordinates and q then have room
// for three more, which may be written too).
void takeOffsets(const double* xs, const double* ys, const double* zs,
                 double ox, double oy, double oz, std::size_t from,
                 std::size_t to, const AnchorOffsets& q, bool wide);

// The largest |q|^2 |c|^2 - (q.c)^2 of the points from ... to - 1, and at
// least 0, c being a chord from the anchor and cc its squared length: their
// squared distance from the chord's line times cc, without the foot point
// and the chord's root, in about half the operations of
// largestSquaredDeviation, within a few eps of |q|^2 cc of the true product
// (ChordalTrials::boundByOffsets allows for that). Four points at a time where
// `wide` and the processor allow it (the offsets then have room for three
// more), else two.
double largestOffsetSquare(const AnchorOffsets& q, double cx, double cy,
                           double cz, double cc, std::size_t from,
                           std::size_t to, bool wide);

// The bound of a step's largest squared deviation from the `largest` that
// largestOffsetSquare gives its chord, of squared length `squared`: within
// kOffsetSquareUlps eps reach^2 plus the chord line's own rounding
// r (2 reach + r), `reach` bounding the points' distance from the anchor and
// r being the rounding of one deviation (see kOffsetSquareUlps).
template <class L>
QUAX_ALWAYS_INLINE L offsetBoundOf(L largest, L squared, L reach,
                                   double rounding) {
  const L r = allLanes<L>(rounding);
  const L allowance =
      (allLanes<L>(kOffsetSquareUlps * kEpsilon) * reach * reach +
       r * (allLanes<L>(2.0) * reach + r)) *
          allLanes<L>(kPlaneAllowanceSpare) +
      allLanes<L>(kUnderflowRoom);
  return (largest / squared + allowance) * allLanes<L>(1.0 + kBoundSlack);
}

// The first of the points from ... to - 1 whose own bound (offsetBoundOf
// the point alone) reaches `threshold`, or `to` if none; `before` becomes
// the largest of itself and the bounds of the points before it. The offsets
// are taken from the anchor at (ox, oy, oz) as takeOffsets takes them; c is
// the chord (cx, cy, cz) of squared length cc, `reach` bounds the points'
// distance from the anchor and `rounding` is that of one deviation. Four
// points at a time where `wide` and the processor allow it (the coordinates
// then have room for three more).
struct PointBoundsSweep {
  const double* xs;
  const double* ys;
  const double* zs;
  double ox, oy, oz;
  double cx, cy, cz, cc;
  double reach;
  double rounding;
};
std::size_t firstBoundReaching(const PointBoundsSweep& sweep, std::size_t from,
                               std::size_t to, double threshold, double& before,
                               bool wide);

// In a coordinate plane of axes a and b: the largest squared cross product
// q x c of the points from ... to - 1 (q their offsets from the anchor
// (oa, ob), c the chord (ca, cb)). Four points at a time where `wide` and
// the processor allow it (the coordinates then have room for three more),
// each product then fused with the difference it is taken from; else two
// with SSE2. Both are within the allowance of kCrossProductUlps.
double largestCrossSquare(const double* a, const double* b, double oa,
                          double ob, double ca, double cb, std::size_t from,
                          std::size_t to, bool wide);

// In the plane of largestCrossSquare, with its products: the first of
// the points from ... to - 1 whose squared cross product reaches
// `threshold`, or `to` if none. Its product goes to `crossed`, and `before`
// becomes the largest of its own value and the products of the points before
// it. Four points at a time where `wide` and the processor allow it (the
// coordinates then have room for three more).
std::size_t firstCrossReaching(const double* a, const double* b, double oa,
                               double ob, double ca, double cb,
                               std::size_t from, std::size_t to,
                               double threshold, double& crossed,
                               double& before, bool wide);

// Up to four steps that follow each other, from the anchor `anchor` in the
// plane of axes a and b: step s's chord runs to point s + 1 and covers the
// points from anchor + 1 up to s. Only chords whose squared length lies
// strictly between `chordLow` and `chordHigh` are swept, the first ones up to
// the first that does not.
struct FourStepSweep {
  const double* a;
  const double* b;
  std::size_t anchor;
  std::size_t firstStep;
  std::size_t count;  // 1 to 4
  double chordLow;
  double chordHigh;
  double allowance;
  double room;  // kUnderflowRoom in a coordinate plane
  double factor;
};

#ifdef QUAX_WIDE_LANES
// largestCrossSquare's four-lane sweep for up to four steps at once, each
// point loaded once for them all. Returns how many steps from the first one
// have clear chords; with two or more, bounds[c] is (m + s allowance +
// room) (factor / s) for those steps, m being the largest product
// that largestCrossSquare gives step c's chord and s = ca * ca + cb * cb its
// squared length. The coordinates have room for three points past the last
// step's chord. Needs the processor's AVX2 and FMA (fusedLanesSupported).
QUAX_AVX2_FMA std::size_t measureFourSteps(const FourStepSweep& sweep,
                                           double* bounds);
#endif

// Off a plane, up to four steps that follow each other from the anchor
// `anchor`: step s's chord runs to point s + 1 and covers the points from
// anchor + 1 up to s, whose offsets from the anchor are in `offsets`. Only
// chords whose squared length lies strictly between `chordLow` and
// `chordHigh` are swept, the first ones up to the first that does not.
// walked[s] - walked[anchor] + walkedRoom bounds the distance of step s's
// points from the anchor, `rounding` is that of one deviation (see
// offsetBoundOf).
struct FourOffsetSweep {
  const double* xs;
  const double* ys;
  const double* zs;
  AnchorOffsets offsets;
  const double* walked;
  double walkedRoom;
  double rounding;
  std::size_t anchor;
  std::size_t firstStep;
  std::size_t count;  // 1 to 4
  double chordLow;
  double chordHigh;
};

#ifdef QUAX_WIDE_LANES
// largestOffsetSquare's sweep for up to four steps at once, each point loaded
// once for them all. Returns how many steps from the first one have clear
// chords; with two or more, bounds[c] is offsetBoundOf step c's largest
// product and squared chord length (as squaredLength takes it). The offsets
// and `walked` have room for three points past the last step's. Needs the
// processor's AVX2 and FMA (fusedLanesSupported).
QUAX_AVX2_FMA std::size_t sweepFourOffsetSteps(const FourOffsetSweep& sweep,
                                               double* bounds);
#endif

}  // namespace QUAX

#endif  // QUAX_SCAN_FILTERS_CHORDAL_DEVIATIONSWEEPS_H_
