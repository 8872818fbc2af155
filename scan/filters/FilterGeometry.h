// SPDX-License-Identifier: MIT
// Internal: the chord line and distance tests of the filters.
#ifndef QUAX_SCAN_FILTERS_FILTERGEOMETRY_H_
#define QUAX_SCAN_FILTERS_FILTERGEOMETRY_H_

#include <cmath>
#include <limits>

#include "geomath/GeoPoint.h"
#include "geomath/MathErrors.h"
#include "geomath/MathVector.h"
#include "scan/filters/Rounding.h"
#include "scan/filters/simd/Lanes.h"

namespace QUAX {

// The squared length of v, summed as _MathVector::length() sums it before
// its root.
inline double squaredLength(const _MathVector<double>& v) noexcept {
  return v.x() * v.x() + v.y() * v.y() + v.z() * v.z();
}

// A line through `origin` along a unit `direction`, made and projected onto
// with exactly the arithmetic of _GeoLine, without its repeated length
// computations: the filters make one per point, so the two square roots
// saved matter, and the results stay the same to the bit.
struct ChordLine {
  // The length of `direction` is `length`, already found at least the machine
  // epsilon (below it _GeoLine refuses the direction as degenerate). Throws
  // EMathZeroVector, as the normalization does, below the zero-vector
  // tolerance.
  ChordLine(const _GeoPoint<double>& from, const _MathVector<double>& along,
            double length)
      : origin(from), direction(along) {
    if (length < zeroVectorTolerance<double>()) throw EMathZeroVector();
    direction /= length;
  }

  // The line through `from` along `unit`, a direction already divided by its
  // length as the constructor above divides it.
  ChordLine(const _GeoPoint<double>& from, const _MathVector<double>& unit)
      : origin(from), direction(unit) {}

  // The foot point o + d.((p - o).d).
  _GeoPoint<double> project(const _GeoPoint<double>& p) const noexcept {
    return origin + direction * ((p - origin).dot(direction));
  }

  _GeoPoint<double> origin;
  _MathVector<double> direction;
};

// A chord line as lanes (of Lanes2, Lanes4, or a double for one point): a
// point o of it and its unit direction d.
template <class L>
struct LineLanes {
  L ox, oy, oz;
  L dx, dy, dz;
};

// `line` in every lane.
template <class L>
QUAX_ALWAYS_INLINE LineLanes<L> lanesOf(const ChordLine& line) {
  return LineLanes<L>{
      allLanes<L>(line.origin.x()),    allLanes<L>(line.origin.y()),
      allLanes<L>(line.origin.z()),    allLanes<L>(line.direction.x()),
      allLanes<L>(line.direction.y()), allLanes<L>(line.direction.z())};
}

// The squared distance of p from its foot o + d ((p - o).d) on `line`, each
// operation rounded as ChordLine::project and squaredLength round it, so
// that one lane, two or four give the same bits.
template <class L>
QUAX_ALWAYS_INLINE L squaredDeviationOf(const L& px, const L& py, const L& pz,
                                        const LineLanes<L>& line) {
  const L t = (px - line.ox) * line.dx + (py - line.oy) * line.dy +
              (pz - line.oz) * line.dz;
  const L fx = px - (line.ox + line.dx * t);
  const L fy = py - (line.oy + line.dy * t);
  const L fz = pz - (line.oz + line.dz * t);
  return fx * fx + fy * fy + fz * fz;
}

// Compares the length of a vector, as _MathVector::length() computes it, with
// a fixed bound, taking the square root only when the squared length is too
// close to the squared bound to decide. The square root is correctly
// rounded and monotonic, so a squared length at least bound^2 gives a length
// of at least the bound; with the margins below, a squared length outside
// [bound^2 (1 - 8 eps), bound^2 (1 + 8 eps)] lies more than one unit in the
// last place of the bound away from it after the root (kRootSquareMargin), so
// the answer is that of the root itself. Bounds whose square would leave the
// normal range are always compared by the root.
class DistanceBound {
 public:
  explicit DistanceBound(double bound) : _bound(bound) {
    _banded =
        std::isfinite(bound) && bound > kBandLowest && bound < kBandHighest;
    const double square = bound * bound;
    _lower = square * (1.0 - kRootSquareMargin);
    _upper = square * (1.0 + kRootSquareMargin);
  }

  // Whether v.length() >= bound.
  bool reachedBy(const _MathVector<double>& v) const {
    const double squared = squaredLength(v);
    if (_banded) {
      if (squared >= _upper) return true;
      if (squared <= _lower) return false;
    }
    return std::sqrt(squared) >= _bound;
  }

  // Whether v.length() <= bound.
  bool holds(const _MathVector<double>& v) const {
    const double squared = squaredLength(v);
    if (_banded) {
      if (squared <= _lower) return true;
      if (squared >= _upper) return false;
    }
    return std::sqrt(squared) <= _bound;
  }

  // Whether the band below applies; squared lengths at most lower() are
  // within the bound, at least upper() beyond it.
  bool banded() const noexcept { return _banded; }
  double lower() const noexcept { return _lower; }
  double upper() const noexcept { return _upper; }

 private:
  double _bound;
  double _lower = 0.0;
  double _upper = 0.0;
  bool _banded = false;
};

}  // namespace QUAX

#endif  // QUAX_SCAN_FILTERS_FILTERGEOMETRY_H_
