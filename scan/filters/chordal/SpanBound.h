// SPDX-License-Identifier: MIT
// Internal: the bound of a chord's turn, and one such bound for the whole
// span from an anchor, which lets the four-lane walk pass over most steps of
// spans of a few dozen points untested.
#ifndef QUAX_SCAN_FILTERS_CHORDAL_SPANBOUND_H_
#define QUAX_SCAN_FILTERS_CHORDAL_SPANBOUND_H_

#include <cmath>
#include <cstddef>

#include "geomath/GeoPoint.h"
#include "geomath/MathVector.h"
#include "scan/filters/FilterGeometry.h"
#include "scan/filters/Rounding.h"

namespace QUAX {

// The larger of two values, not a number when either is not: a bound over a
// coordinate that is not a number then never holds. Written to compile to
// selects rather than branches, whose outcomes follow the data.
inline double maxOrNaN(double a, double b) {
  const double larger = a > b ? a : b;  // b when either is not a number
  return a == a ? larger : a;
}

// The squared turn |u - (ux, uy, uz)| of a chord from a reference direction.
inline double turnFrom(const _MathVector<double>& u, double ux, double uy,
                       double uz) {
  const double tx = u.x() - ux;
  const double ty = u.y() - uy;
  const double tz = u.z() - uz;
  return tx * tx + ty * ty + tz * tz;
}

// The deviation of `q` from the line through `origin` along the unit `u`,
// squared, as the projection and _MathVector::length() compute it before the
// root.
inline double squaredDeviationFrom(const _GeoPoint<double>& origin,
                                   const _MathVector<double>& u,
                                   const _GeoPoint<double>& q) {
  const _GeoPoint<double> foot = origin + u * ((q - origin).dot(u));
  return squaredLength(q - foot);
}

// Whether points whose deviations from a reference chord through the anchor
// are at most `deviation`, and whose squared distances from the anchor are at
// most `reachSquared`, all stay below `below` from a chord turned from the
// reference by the squared `turn`: each moves by at most its distance times
// the turn (|r x u'| <= |r x u| + |r| |u' - u| for unit u, u'). `below` is
// the limit less the rounding of the deviations (deviationRounding), and the
// comparison of squares leaves kBoundSlack for its own. `bound`, when given,
// receives the bound deviation + |r| |u' - u|.
inline bool turnedBoundHolds(double deviation, double reachSquared, double turn,
                             double below, double* bound) {
  const double slack = below - deviation;
  const double drift = reachSquared * turn;
  if (!(slack > 0.0 && drift < slack * slack * (1.0 - kBoundSlack))) {
    return false;
  }
  if (bound) *bound = deviation + std::sqrt(drift);
  return true;
}

// One bound for all the points of the span from an anchor: their largest
// squared deviation from the chord of the step last tested point by point
// (the reference), and their largest squared distance from the anchor. A
// later step joins its new points, measured from the reference, and passes
// when the bound, turned to its chord, holds (turnedBoundHolds); a step whose
// bound does not is tested point by point and, when no point reaches the
// limit, becomes the reference. The four-lane walk checks four steps at once
// (see FourLaneThinning.cpp) and takes the bound of the one that passes.
class SpanBound {
 public:
  // For the positions p[0] ... p[n - 1] and a limit less its rounding.
  SpanBound(const _GeoPoint<double>* p, std::size_t n, double below)
      : _p(p), _below(below), _anchor(n) {}

  // The anchor whose span is bound (n: none yet), the last point joined,
  // the reference, and the largest squared deviation from it and squared
  // distance from the anchor.
  std::size_t anchor() const noexcept { return _anchor; }
  std::size_t joined() const noexcept { return _joined; }
  double below() const noexcept { return _below; }
  const _MathVector<double>& reference() const noexcept { return _u; }
  double largest() const noexcept { return _largest; }
  double reach() const noexcept { return _reach; }
  // Changes whenever the reference does.
  std::size_t version() const noexcept { return _version; }

  // The points after the last joined one up to p[i] join the bound.
  void joinUpTo(std::size_t i) {
    for (std::size_t j = _joined + 1; j <= i; ++j) {
      reachOf(j);
      _largest =
          maxOrNaN(_largest, squaredDeviationFrom(_p[_anchor], _u, _p[j]));
    }
    _joined = i > _joined ? i : _joined;
  }

  // The points up to p[i] joined, as the four-lane check found them.
  void take(std::size_t i, double largest, double reach) {
    _joined = i;
    _largest = largest;
    _reach = reach;
  }

  // The step from `anchor` to p[i] along the unit `u` was tested point by
  // point, its points' largest squared deviation being `largest` (or more)
  // and their largest squared distance from the anchor `reach`, and none
  // reached the limit: it becomes the reference.
  void rebase(std::size_t anchor, std::size_t i, const _MathVector<double>& u,
              double largest, double reach) {
    _anchor = anchor;
    _u = u;
    _joined = i;
    _largest = largest;
    _reach = reach;
    ++_version;
  }

 private:
  void reachOf(std::size_t j) {
    _reach = maxOrNaN(_reach, squaredLength(_p[j] - _p[_anchor]));
  }

  const _GeoPoint<double>* _p;
  double _below;
  std::size_t _anchor;
  std::size_t _joined = 0;
  std::size_t _version = 0;
  _MathVector<double> _u;
  double _largest = 0.0;  // squared
  double _reach = 0.0;    // squared
};

}  // namespace QUAX

#endif  // QUAX_SCAN_FILTERS_CHORDAL_SPANBOUND_H_
