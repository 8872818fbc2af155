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

// Spans of fewer points than this are tested four points at a time (from
// kBoundedSpan points on, only where the span's bound leaves a step in
// doubt); on longer ones the blocks of LongSpans pay off.
constexpr std::size_t kWideSpan = 128;

// Steps this close to the anchor are tested point by point (two four-lane
// tests at most), the bound's upkeep would cost more.
constexpr std::size_t kBoundedSpan = 24;

// The most steps tested point by point before the span's bound is checked
// again after it failed.
constexpr std::size_t kLongestBackoff = 4;

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

// The span's bound turned to the four chords: bit l of `clear` set where it
// holds for step first + l, with the points up to first + l joined (their
// largest squared deviation from the reference and squared reach, by lane);
// for the bound's anchor and version.
struct FourClears {
  double largest[4];
  double reach[4];
  int clear;
  std::size_t anchor;
  std::size_t first;
  std::size_t version;
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
// decided as DistanceBound::reachedBy decides it. With none found and
// `kLargest`, `largest` receives the largest squared deviation (or, where
// one is not a number, another) and `reach` the largest squared distance
// from the anchor (not a number where one is not).
template <bool kLargest>
QUAX_AVX2 std::size_t firstReachingFourAtATime(
    const double* xs, const double* ys, const double* zs, std::size_t anchor,
    std::size_t i, double ux, double uy, double uz,
    const DistanceBound& deviation, double limit, std::size_t none,
    double& largest, double& reach) {
  const LineLanes<Lanes4> line{Lanes4::all(xs[anchor]), Lanes4::all(ys[anchor]),
                               Lanes4::all(zs[anchor]), Lanes4::all(ux),
                               Lanes4::all(uy),         Lanes4::all(uz)};
  const Lanes4 lower = Lanes4::all(deviation.lower());
  Lanes4 top = Lanes4::all(0.0);
  Lanes4 far = top;
  Lanes4 unordered = top;
  for (std::size_t j = anchor + 1; j <= i; j += 4) {
    const Lanes4 px = Lanes4::load(xs + j);
    const Lanes4 py = Lanes4::load(ys + j);
    const Lanes4 pz = Lanes4::load(zs + j);
    Lanes4 squared = squaredDeviationOf(px, py, pz, line);
    const std::size_t count = i - j + 1;
    const int inSpan = count >= 4 ? 15 : (1 << count) - 1;
    int maybe = bitsOf(notAtMost(squared, lower)) & inSpan;
    if (kLargest) {
      const Lanes4 rx = px - line.ox;
      const Lanes4 ry = py - line.oy;
      const Lanes4 rz = pz - line.oz;
      Lanes4 r = rx * rx + ry * ry + rz * rz;
      if (count < 4) {
        const Lanes4 mask = Lanes4::maskOf(inSpan);
        squared = where(mask, squared);
        r = where(mask, r);
      }
      top = maxOf(top, squared);
      far = maxOf(far, r);
      unordered = unordered | notEqual(r, r);
    }
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
  if (kLargest) {
    largest = largestOf(top);
    reach = bitsOf(unordered) != 0 ? std::numeric_limits<double>::quiet_NaN()
                                   : largestOf(far);
  }
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
    _checked.anchor = n;
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
      const bool bounded = i - anchor >= kBoundedSpan;
      if (bounded && clears(anchor, i)) return _n;
      double largest = 0.0;
      double reach = 0.0;
      if (!bounded || i + 1 < _retryAt) {
        return firstReachingFourAtATime<false>(
            _xs, _ys, _zs, anchor, i, unit.x(), unit.y(), unit.z(), _deviation,
            _limit, _n, largest, reach);
      }
      // Tested point by point, the step becomes the bound's reference.
      const std::size_t hit = firstReachingFourAtATime<true>(
          _xs, _ys, _zs, anchor, i, unit.x(), unit.y(), unit.z(), _deviation,
          _limit, _n, largest, reach);
      if (hit == _n) _bound.rebase(anchor, i, unit, largest, reach);
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

  // Whether the span's bound clears step i (one of the four chords'), its
  // points joined: checked for the four steps at once, again once the
  // reference has changed. After a step the bound does not clear, the next
  // one is checked, then, while they keep failing, one in two, four, ...:
  // on a line noisy near the limit the bound seldom holds.
  QUAX_AVX2 bool clears(std::size_t anchor, std::size_t i) {
    if (_bound.anchor() != anchor) {
      _retryAt = 0;
      _backoff = 1;
      return false;
    }
    if (i < _retryAt) return false;
    if (_checked.anchor != anchor || _checked.first != _chords.first ||
        _checked.version != _bound.version()) {
      checkFour(anchor);
    }
    const std::size_t l = i - _chords.first;
    if (((_checked.clear >> l) & 1) != 0) {
      _bound.take(i, _checked.largest[l], _checked.reach[l]);
      _backoff = 1;
      return true;
    }
    _retryAt = _backoff < kLongestBackoff ? i + _backoff : _n;
    _backoff *= 2;
    return false;
  }
  QUAX_AVX2 void checkFour(std::size_t anchor);

  const Point* _p;
  std::size_t _n;
  Point* _out;
  std::size_t _kept = 0;
  double _maxSpan;
  double _limit;
  DistanceBound _deviation;
  LongSpans _spans;
  SpanBound _bound;
  FourClears _checked;
  std::size_t _retryAt = 0;  // the next step whose bound is checked
  std::size_t _backoff = 1;
  double* _xs = nullptr;
  double* _ys = nullptr;
  double* _zs = nullptr;
  FourChords _chords;
};

// The points of the four steps not yet joined are measured from the
// reference four at a time, their running maxima taken, and the bound turned
// to each step's chord as turnedBoundHolds turns it. A point whose squares
// are not numbers fails its step and those after it.
QUAX_AVX2 void FourLaneSteps::checkFour(std::size_t anchor) {
  const std::size_t first = _chords.first;
  _bound.joinUpTo(first - 1);
  const Vector& u = _bound.reference();
  const LineLanes<Lanes4> line{
      Lanes4::all(_xs[anchor]), Lanes4::all(_ys[anchor]),
      Lanes4::all(_zs[anchor]), Lanes4::all(u.x()),
      Lanes4::all(u.y()),       Lanes4::all(u.z())};
  const Lanes4 px = Lanes4::load(_xs + first);
  const Lanes4 py = Lanes4::load(_ys + first);
  const Lanes4 pz = Lanes4::load(_zs + first);
  const Lanes4 rx = px - line.ox;
  const Lanes4 ry = py - line.oy;
  const Lanes4 rz = pz - line.oz;
  // The lanes of points joined already (after a step tested point by point)
  // count as zeros.
  const std::size_t done =
      first > _bound.joined() ? 0 : _bound.joined() - first + 1;
  const Lanes4 joining = Lanes4::maskOf(done >= 4 ? 0 : (15 << done) & 15);
  const Lanes4 deviations =
      where(joining, squaredDeviationOf(px, py, pz, line));
  const Lanes4 reaches = where(joining, rx * rx + ry * ry + rz * rz);
  int unordered =
      bitsOf(notEqual(deviations, deviations) | notEqual(reaches, reaches));
  unordered |= unordered << 1;
  unordered |= unordered << 2;
  const Lanes4 largest =
      maxOf(runningLargest(deviations), Lanes4::all(_bound.largest()));
  const Lanes4 reach =
      maxOf(runningLargest(reaches), Lanes4::all(_bound.reach()));
  const Lanes4 tx = Lanes4::load(_chords.x) - line.dx;
  const Lanes4 ty = Lanes4::load(_chords.y) - line.dy;
  const Lanes4 tz = Lanes4::load(_chords.z) - line.dz;
  const Lanes4 drift = reach * (tx * tx + ty * ty + tz * tz);
  const Lanes4 slack = Lanes4::all(_bound.below()) - sqrtOf(largest);
  const Lanes4 holds =
      greater(slack, Lanes4::all(0.0)) &
      less(drift, slack * slack * Lanes4::all(1.0 - kBoundSlack));
  largest.store(_checked.largest);
  reach.store(_checked.reach);
  _checked.clear = bitsOf(holds) & ~unordered;
  _checked.anchor = anchor;
  _checked.first = first;
  _checked.version = _bound.version();
}

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
