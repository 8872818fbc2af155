// SPDX-License-Identifier: MIT
#include "scan/filters/chordal/Thinning.h"

#include <cmath>
#include <limits>

#include "geomath/MathErrors.h"
#include "scan/filters/FilterGeometry.h"
#include "scan/filters/Rounding.h"
#include "scan/filters/chordal/FourLaneThinning.h"
#include "scan/filters/chordal/LongSpans.h"
#include "scan/filters/chordal/Walk.h"

namespace QUAX {

namespace {

using Point = _GeoPoint<double>;
using Vector = _MathVector<double>;

// Spans shorter than this are tested point by point: the blocks pay off only
// on longer ones.
constexpr std::size_t kPlainSpan = 8;

// chordsNeverFault gives up sorting an axis after this many moves per point.
constexpr std::size_t kSortMovesPerPoint = 8;

// The walk's steps on one lane: the chord line from the anchor, whose points
// are tested one by one on short spans and by LongSpans on long ones; the
// kept points are written out.
class OneLaneSteps {
 public:
  OneLaneSteps(const Point* p, std::size_t n, double deviationLimit,
               double maxSpan, Point* out, ChordalWork& work)
      : _p(p),
        _n(n),
        _out(out),
        _maxSpan(maxSpan),
        _deviation(deviationLimit),
        _spans(p, n, deviationLimit, work) {}

  struct Chord {
    Vector along;
    double span;  // its length
  };
  Chord chord(std::size_t anchor, std::size_t i) const {
    const Vector along = _p[i + 1] - _p[anchor];
    return Chord{along, along.length()};
  }
  bool reachesSpan(const Chord& chord) const { return chord.span >= _maxSpan; }
  // _GeoLine would refuse the direction as degenerate.
  static bool onAnchor(const Chord& chord) { return chord.span < kEpsilon; }
  void skip(std::size_t i) { _spans.skip(i); }
  static bool givesUp(std::size_t, std::size_t) { return false; }
  std::size_t firstReaching(std::size_t anchor, std::size_t i,
                            const Chord& chord) {
    const ChordLine line(_p[anchor], chord.along, chord.span);
    if (i - anchor < kPlainSpan) {
      return firstReachingOnLine(_p, anchor + 1, i, line, _deviation, _n);
    }
    return _spans.firstReaching(anchor, i, line);
  }

  SpanEnd endOf(std::size_t anchor, std::size_t i) {
    return endOfSpan(*this, anchor, i, _n);
  }
  static bool stops() { return false; }
  void keep(std::size_t j) { _out[_kept++] = _p[j]; }
  std::size_t kept() const { return _kept; }

 private:
  const Point* _p;
  std::size_t _n;
  Point* _out;
  std::size_t _kept = 0;
  double _maxSpan;
  DistanceBound _deviation;
  LongSpans _spans;
};

// The walk's steps counted where the limit keeps most points: the first step
// from each anchor is decided by the deviations the statistics measured, the
// few later ones point by point; in the plane by cross products where they
// fall clear of the limit, by the chord line where they come within the
// allowance of it. Chords are compared by their squared lengths where those
// decide, as DistanceBound does.
class ShortSpanCount {
 public:
  ShortSpanCount(const Point* p, std::size_t n, double deviationLimit,
                 double maxSpan, const double* deviations,
                 std::size_t longestSpan, const PlaneCoordinates* plane)
      : _p(p),
        _n(n),
        _deviations(deviations),
        _limit(deviationLimit),
        // The first step from an anchor is decided whatever the longest.
        _longest(longestSpan > 1 ? longestSpan : 1),
        _plane(plane),
        _deviation(deviationLimit),
        _spanReached(maxSpan),
        _crossed(plane != nullptr && _deviation.banded()),
        // In the plane, a squared cross product below `_surelyBelow` (above
        // `_surelyBeyond`) times the chord's squared length is a deviation
        // below (at or beyond) the limit, with room for the allowance and
        // for the rounding of these products; in between, the chord line
        // decides.
        _surelyBelow(_deviation.lower() * (1.0 - kCrossMargin)),
        _surelyBeyond(_deviation.upper() * (1.0 + kCrossMargin)) {}

  using Chord = Vector;
  Chord chord(std::size_t anchor, std::size_t i) const {
    return _p[i + 1] - _p[anchor];
  }
  bool reachesSpan(const Chord& chord) const {
    return _spanReached.reachedBy(chord);
  }
  bool onAnchor(const Chord& chord) const {
    return !_epsilonReached.reachedBy(chord);
  }
  static void skip(std::size_t) {}
  bool givesUp(std::size_t anchor, std::size_t i) const {
    return i - anchor > _longest;
  }
  QUAX_WALK_INLINE std::size_t firstReaching(std::size_t anchor, std::size_t i,
                                             const Chord& chord) const;

  SpanEnd endOf(std::size_t anchor, std::size_t i) {
    return endOfSpan(*this, anchor, i, _n);
  }
  static bool stops() { return false; }
  void keep(std::size_t) { ++_kept; }
  std::size_t kept() const { return _kept; }

 private:
  const Point* _p;
  std::size_t _n;
  const double* _deviations;
  double _limit;
  std::size_t _longest;
  const PlaneCoordinates* _plane;
  DistanceBound _deviation;
  DistanceBound _spanReached;
  DistanceBound _epsilonReached{kEpsilon};
  DistanceBound _toleranceReached{zeroVectorTolerance<double>()};
  bool _crossed;
  double _surelyBelow;
  double _surelyBeyond;
  std::size_t _kept = 0;
};

// The first step from an anchor tests p[i] alone, whose deviation the
// statistics hold: both compare the same numbers as the thinning's, and a
// chord that would throw has thrown in the statistics already.
QUAX_WALK_INLINE std::size_t ShortSpanCount::firstReaching(
    std::size_t anchor, std::size_t i, const Chord& chord) const {
  if (i == anchor + 1) return _deviations[anchor] >= _limit ? i : _n;
  if (!_toleranceReached.reachedBy(chord)) throw EMathZeroVector();
  std::size_t j = anchor + 1;
  if (_crossed) {
    const double* a = _plane->a;
    const double* b = _plane->b;
    const double squared = squaredLength(chord);
    const double room = squared * _plane->allowance + kUnderflowRoom;
    const double below = _surelyBelow * squared - room;
    const double above = _surelyBeyond * squared + room;
    const double oa = a[anchor];
    const double ob = b[anchor];
    const double ca = a[i + 1] - oa;
    const double cb = b[i + 1] - ob;
    for (; j <= i; ++j) {
      const double w = (a[j] - oa) * cb - (b[j] - ob) * ca;
      if (w * w < below) continue;
      if (w * w > above) return j;
      break;
    }
    if (j > i) return _n;
  }
  const ChordLine line(_p[anchor], chord, chord.length());
  return firstReachingOnLine(_p, j, i, line, _deviation, _n);
}

}  // namespace

std::size_t thinByChordalDeviation(const Point* p, std::size_t n,
                                   double deviationLimit, double maxSpan,
                                   Point* out, ChordalWork& work, bool wide) {
  if (wide && chordalWideRuns(deviationLimit)) {
    return thinByChordalDeviationWide(p, n, deviationLimit, maxSpan, out, work);
  }
  OneLaneSteps steps(p, n, deviationLimit, maxSpan, out, work);
  walkSpans(steps, n);
  return steps.kept();
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
  ShortSpanCount count(p, n, deviationLimit, maxSpan, deviations, longestSpan,
                       plane);
  return walkSpans(count, n) ? count.kept() : 0;
}

}  // namespace QUAX
