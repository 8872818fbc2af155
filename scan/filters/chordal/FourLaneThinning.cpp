// SPDX-License-Identifier: MIT
#include "scan/filters/chordal/FourLaneThinning.h"

#include <cmath>
#include <limits>

#include "geomath/MathErrors.h"
#include "scan/filters/FilterGeometry.h"
#include "scan/filters/Rounding.h"
#include "scan/filters/chordal/LongSpans.h"
#include "scan/filters/chordal/SpanBound.h"
#include "scan/filters/chordal/Walk.h"
#include "scan/filters/simd/Lanes.h"

namespace QUAX {

#ifdef QUAX_WIDE_LANES

namespace {

using Point = _GeoPoint<double>;
using Vector = _MathVector<double>;

// Spans of fewer points than this are tested four points at a time at every
// step (eight tests at most); on longer ones the bounds of LongSpans pay
// off.
constexpr std::size_t kWideSpan = 128;

// The walk keeps the chords of four steps from one anchor: their lengths and
// unit directions by lane, lane l for step first + l.
struct FourChords {
  double length[4];
  double x[4];
  double y[4];
  double z[4];
  std::size_t anchor;
  std::size_t first;
};

// The chords from p[anchor] to p[i + 1] ... p[i + 4], each as the chord line
// makes it: the difference, its length as _MathVector::length() takes it and
// the difference divided by that length.
QUAX_AVX2 void setUp(FourChords& chords, const double* xs, const double* ys,
                     const double* zs, std::size_t anchor, std::size_t i) {
  const Lanes4 cx = Lanes4::load(xs + i + 1) - Lanes4::all(xs[anchor]);
  const Lanes4 cy = Lanes4::load(ys + i + 1) - Lanes4::all(ys[anchor]);
  const Lanes4 cz = Lanes4::load(zs + i + 1) - Lanes4::all(zs[anchor]);
  const Lanes4 length = sqrtOf(cx * cx + cy * cy + cz * cz);
  length.store(chords.length);
  (cx / length).store(chords.x);
  (cy / length).store(chords.y);
  (cz / length).store(chords.z);
  chords.anchor = anchor;
  chords.first = i;
}

// The first j in anchor + 1 ... i whose deviation from the chord line
// through p[anchor] along (ux, uy, uz) reaches the limit, or `none`: each
// lane computes the deviation as ChordLine::project and DistanceBound do,
// and a lane whose squared deviation lies above the band's lower end is
// decided as DistanceBound::reachedBy decides it. With none found,
// `largest` receives the largest squared deviation (or, where one is not a
// number, another).
QUAX_AVX2 std::size_t firstReachingFourAtATime(
    const double* xs, const double* ys, const double* zs, std::size_t anchor,
    std::size_t i, double ux, double uy, double uz,
    const DistanceBound& deviation, double limit, std::size_t none,
    double& largest) {
  const LineLanes<Lanes4> line{Lanes4::all(xs[anchor]), Lanes4::all(ys[anchor]),
                               Lanes4::all(zs[anchor]), Lanes4::all(ux),
                               Lanes4::all(uy),         Lanes4::all(uz)};
  const Lanes4 lower = Lanes4::all(deviation.lower());
  Lanes4 top = Lanes4::all(0.0);
  for (std::size_t j = anchor + 1; j <= i; j += 4) {
    Lanes4 squared = squaredDeviationOf(
        Lanes4::load(xs + j), Lanes4::load(ys + j), Lanes4::load(zs + j), line);
    const std::size_t count = i - j + 1;
    const int inSpan = count >= 4 ? 15 : (1 << count) - 1;
    int maybe = bitsOf(notAtMost(squared, lower)) & inSpan;
    if (count < 4) squared = where(Lanes4::maskOf(inSpan), squared);
    top = maxOf(top, squared);
    if (maybe == 0) continue;
    double lanes[4];
    squared.store(lanes);
    for (; maybe != 0; maybe &= maybe - 1) {
      const int l = __builtin_ctz(static_cast<unsigned>(maybe));
      if (lanes[l] >= deviation.upper() || std::sqrt(lanes[l]) >= limit) {
        return j + static_cast<std::size_t>(l);
      }
    }
  }
  largest = largestOf(top);
  return none;
}

// The walk's steps four lanes at a time: the chords from the anchor to four
// next points are set up at once, and the points of a span of fewer than
// kWideSpan are tested four at a time where the span's bound leaves them in
// doubt; longer spans are left to LongSpans.
// The kept points are written out.
class FourLaneSteps {
 public:
  QUAX_AVX2 FourLaneSteps(const Point* p, std::size_t n, double deviationLimit,
                          double maxSpan, Point* out, ChordalWork& work)
      : _p(p),
        _n(n),
        _out(out),
        _maxSpan(maxSpan),
        _limit(deviationLimit),
        _deviation(deviationLimit),
        _spans(p, n, deviationLimit, work),
        _bound(p, n, _spans.below()) {
    copyByAxis(work);
    _chords.anchor = n;
    _chords.first = 0;
  }

  struct Chord {
    std::size_t lane;  // of _chords
    double span;       // its length
  };
  QUAX_AVX2 Chord chord(std::size_t anchor, std::size_t i) {
    if (_chords.anchor != anchor || i - _chords.first >= 4) {
      setUp(_chords, _xs, _ys, _zs, anchor, i);
    }
    const std::size_t l = i - _chords.first;
    return Chord{l, _chords.length[l]};
  }
  bool reachesSpan(const Chord& chord) const { return chord.span >= _maxSpan; }
  static bool onAnchor(const Chord& chord) { return chord.span < kEpsilon; }
  void skip(std::size_t i) { _spans.skip(i); }
  static bool givesUp(std::size_t, std::size_t) { return false; }
  QUAX_AVX2 std::size_t firstReaching(std::size_t anchor, std::size_t i,
                                      const Chord& chord) {
    if (chord.span < zeroVectorTolerance<double>()) throw EMathZeroVector();
    const std::size_t l = chord.lane;
    const Vector unit(_chords.x[l], _chords.y[l], _chords.z[l]);
    if (i - anchor < kWideSpan) {
      if (_bound.clears(anchor, i, unit)) return _n;
      double largest = 0.0;
      const std::size_t hit = firstReachingFourAtATime(
          _xs, _ys, _zs, anchor, i, unit.x(), unit.y(), unit.z(), _deviation,
          _limit, _n, largest);
      if (hit == _n) _bound.rebase(anchor, i, unit, largest);
      return hit;
    }
    return _spans.firstReaching(anchor, i, ChordLine(_p[anchor], unit));
  }

  QUAX_AVX2 SpanEnd endOf(std::size_t anchor, std::size_t i) {
    return endOfSpan(*this, anchor, i, _n);
  }
  static bool stops() { return false; }
  void keep(std::size_t j) { _out[_kept++] = _p[j]; }
  std::size_t kept() const { return _kept; }

 private:
  // The coordinates by axis, with four lanes of zeros after the last point
  // for the loads that reach past it (their lanes are never used).
  void copyByAxis(ChordalWork& work) {
    const std::size_t stride = _n + 4;
    if (work.lanes.size() < 3 * stride) work.lanes.resize(3 * stride);
    _xs = work.lanes.data();
    _ys = _xs + stride;
    _zs = _ys + stride;
    for (std::size_t i = 0; i < _n; ++i) {
      _xs[i] = _p[i].x();
      _ys[i] = _p[i].y();
      _zs[i] = _p[i].z();
    }
    for (std::size_t i = _n; i < stride; ++i) _xs[i] = _ys[i] = _zs[i] = 0.0;
  }

  const Point* _p;
  std::size_t _n;
  Point* _out;
  std::size_t _kept = 0;
  double _maxSpan;
  double _limit;
  DistanceBound _deviation;
  LongSpans _spans;
  SpanBound _bound;
  double* _xs = nullptr;
  double* _ys = nullptr;
  double* _zs = nullptr;
  FourChords _chords;
};

}  // namespace

bool chordalWideRuns(double deviationLimit) {
  return wideLanesSupported() && DistanceBound(deviationLimit).banded();
}

// The steps of thinByChordalDeviation in the same order with the same
// decisions.
QUAX_AVX2 std::size_t thinByChordalDeviationWide(const Point* p, std::size_t n,
                                                 double deviationLimit,
                                                 double maxSpan, Point* out,
                                                 ChordalWork& work) {
  FourLaneSteps steps(p, n, deviationLimit, maxSpan, out, work);
  walkSpans(steps, n);
  return steps.kept();
}

#else

bool chordalWideRuns(double) { return false; }

std::size_t thinByChordalDeviationWide(const _GeoPoint<double>*, std::size_t,
                                       double, double, _GeoPoint<double>*,
                                       ChordalWork&) {
  return 0;
}

#endif

}  // namespace QUAX
