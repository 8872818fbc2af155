// SPDX-License-Identifier: MIT
#include "scan/filters/chordal/Thinning.h"

#include <cmath>
#include <limits>

#include "geomath/MathErrors.h"
#include "scan/filters/FilterGeometry.h"
#include "scan/filters/Rounding.h"
#include "scan/filters/chordal/FourLaneThinning.h"
#include "scan/filters/chordal/LongSpans.h"

namespace QUAX {

namespace {

using Point = _GeoPoint<double>;
using Vector = _MathVector<double>;

// Spans shorter than this are tested point by point: the blocks pay off only
// on longer ones.
constexpr std::size_t kPlainSpan = 8;

// chordsNeverFault gives up sorting an axis after this many moves per point.
constexpr std::size_t kSortMovesPerPoint = 8;

}  // namespace

std::size_t thinByChordalDeviation(const Point* p, std::size_t n,
                                   double deviationLimit, double maxSpan,
                                   Point* out, ChordalWork& work, bool wide) {
  if (wide && chordalWideRuns(deviationLimit)) {
    return thinByChordalDeviationWide(p, n, deviationLimit, maxSpan, out, work);
  }
  const DistanceBound deviation(deviationLimit);
  LongSpans spans(p, n, deviationLimit, work);
  const std::size_t none = n;
  std::size_t kept = 0;
  std::size_t anchor = 0;
  out[kept++] = p[0];
  for (std::size_t i = 1; i + 1 < n; ++i) {
    const Vector chord = p[i + 1] - p[anchor];
    const double span = chord.length();
    if (span >= maxSpan) {
      out[kept++] = p[i];
      anchor = i;
      continue;
    }
    // The next point on the anchor: _GeoLine would refuse the direction as
    // degenerate, and p[i] is passed over untested.
    if (span < kEpsilon) {
      spans.skip(i);
      continue;
    }
    const ChordLine line(p[anchor], chord, span);
    std::size_t hit = none;
    if (i - anchor < kPlainSpan) {
      for (std::size_t j = anchor + 1; j <= i; ++j) {
        if (deviation.reachedBy(p[j] - line.project(p[j]))) {
          hit = j;
          break;
        }
      }
    } else {
      hit = spans.firstReaching(anchor, i, line);
    }
    if (hit != none) {
      const std::size_t keep = hit - 1 == anchor ? hit : hit - 1;
      out[kept++] = p[keep];
      anchor = keep;
    }
  }
  out[kept++] = p[n - 1];
  return kept;
}

bool chordsNeverFault(const Point* p, std::size_t n,
                      std::vector<double>& scratch) {
  // Two positions whose coordinates differ by at least the gap along an axis
  // are at least that far apart, and their chord, rounded, is longer than
  // the tolerance.
  const double gap = kFaultGapTolerances * zeroVectorTolerance<double>();
  if (scratch.size() < n) scratch.resize(n);
  double* sorted = scratch.data();
  for (int axis = 0; axis < 3; ++axis) {
    for (std::size_t i = 0; i < n; ++i) {
      sorted[i] = axis == 0 ? p[i].x() : axis == 1 ? p[i].y() : p[i].z();
    }
    std::size_t moves = kSortMovesPerPoint * n;
    bool apart = true;
    for (std::size_t i = 1; i < n && apart; ++i) {
      const double value = sorted[i];
      std::size_t j = i;
      for (; j > 0 && sorted[j - 1] > value; --j) {
        sorted[j] = sorted[j - 1];
        if (--moves == 0) break;
      }
      sorted[j] = value;
      apart = moves != 0;
    }
    for (std::size_t i = 1; i < n && apart; ++i) {
      apart = sorted[i] - sorted[i - 1] >= gap;  // false when not a number
    }
    if (apart) return true;
  }
  return false;
}

std::size_t countKeptOnShortSpans(const Point* p, std::size_t n,
                                  double deviationLimit, double maxSpan,
                                  const double* deviations,
                                  std::size_t longestSpan,
                                  const PlaneCoordinates* plane) {
  const DistanceBound deviation(deviationLimit);
  const DistanceBound spanReached(maxSpan);
  const DistanceBound epsilonReached(kEpsilon);
  const DistanceBound toleranceReached(zeroVectorTolerance<double>());
  // In the plane, a squared cross product below `surelyBelow` (above
  // `surelyBeyond`) times the chord's squared length is a deviation below (at
  // or beyond) the limit, with room for the allowance and for the rounding of
  // these products; in between, the chord line decides.
  const bool crossed = plane != nullptr && deviation.banded();
  const double surelyBelow = deviation.lower() * (1.0 - kCrossMargin);
  const double surelyBeyond = deviation.upper() * (1.0 + kCrossMargin);
  std::size_t kept = 1;
  std::size_t anchor = 0;
  for (std::size_t i = 1; i + 1 < n; ++i) {
    const Vector chord = p[i + 1] - p[anchor];
    if (i == anchor + 1) {
      // Kept either way: by the span, or by p[i] itself when it reaches the
      // limit (the point before it is the anchor). Both tests compare the
      // same numbers as the thinning's, and a chord that would throw has
      // thrown in the statistics already.
      if (spanReached.reachedBy(chord) ||
          deviations[anchor] >= deviationLimit) {
        ++kept;
        anchor = i;
      }
      continue;
    }
    if (i - anchor > longestSpan) return 0;
    if (spanReached.reachedBy(chord)) {
      ++kept;
      anchor = i;
      continue;
    }
    if (!epsilonReached.reachedBy(chord)) continue;
    if (!toleranceReached.reachedBy(chord)) throw EMathZeroVector();
    // The first point since the anchor that reaches the limit (n: none).
    std::size_t hit = n;
    std::size_t j = anchor + 1;
    if (crossed) {
      const double squared = squaredLength(chord);
      const double room = squared * plane->allowance + kUnderflowRoom;
      const double below = surelyBelow * squared - room;
      const double above = surelyBeyond * squared + room;
      const double oa = plane->a[anchor];
      const double ob = plane->b[anchor];
      const double ca = plane->a[i + 1] - oa;
      const double cb = plane->b[i + 1] - ob;
      for (; j <= i; ++j) {
        const double w = (plane->a[j] - oa) * cb - (plane->b[j] - ob) * ca;
        if (w * w < below) continue;
        if (w * w > above) hit = j;
        break;
      }
    }
    if (hit == n && j <= i) {
      const ChordLine line(p[anchor], chord, chord.length());
      for (; j <= i; ++j) {
        if (deviation.reachedBy(p[j] - line.project(p[j]))) {
          hit = j;
          break;
        }
      }
    }
    if (hit != n) {
      ++kept;
      anchor = hit - 1 == anchor ? hit : hit - 1;
    }
  }
  return kept + 1;
}

}  // namespace QUAX
