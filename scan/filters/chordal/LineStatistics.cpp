// SPDX-License-Identifier: MIT
#include "scan/filters/chordal/LineStatistics.h"

#include <cmath>
#include <limits>

#include "geomath/MathErrors.h"
#include "scan/filters/FilterGeometry.h"
#include "scan/filters/simd/Lanes.h"

namespace QUAX {

namespace {

using Point = _GeoPoint<double>;
using Vector = _MathVector<double>;

// Adds one triple's share to the statistics: the segment from p[i] to
// p[i + 1], and the deviation of p[i + 1] from the chord of p[i] and p[i + 2],
// whose length is `length`.
class TripleCounter {
 public:
  TripleCounter(DeviationStatistics& stats, double* deviations)
      : _stats(stats), _deviations(deviations) {}

  void operator()(double segment, double length, double deviation,
                  std::size_t i) const {
    _stats.length = _stats.length + segment;
    // p[i + 2] on p[i]: _GeoLine refuses the direction as degenerate. Not a
    // number in `deviations`: no limit, not even -inf, is reached, and the
    // thinning passes the point over whatever the limit.
    if (length < kEpsilon) {
      if (_deviations != nullptr) {
        _deviations[i] = std::numeric_limits<double>::quiet_NaN();
      }
      return;
    }
    if (length < zeroVectorTolerance<double>()) throw EMathZeroVector();
    if (_deviations != nullptr) _deviations[i] = deviation;
    _stats.sum = _stats.sum + deviation;
    ++_stats.count;
    if (deviation > _stats.maximum) _stats.maximum = deviation;
    if (deviation < _stats.minimum) _stats.minimum = deviation;
  }

  // Two triples from lanes, the first lane's first.
  void operator()(Lanes2 segments, Lanes2 lengths, Lanes2 deviations,
                  std::size_t i) const {
    double segment[2];
    double length[2];
    double deviation[2];
    segments.store(segment);
    lengths.store(length);
    deviations.store(deviation);
    (*this)(segment[0], length[0], deviation[0], i);
    (*this)(segment[1], length[1], deviation[1], i + 1);
  }

 private:
  DeviationStatistics& _stats;
  double* _deviations;
};

// The two triples from p[i] and p[i + 1], by axis.
struct TwoTriples {
  Lanes2 x0, y0, z0, x1, y1, z1, x2, y2, z2;
};

TwoTriples twoTriples(const Point* p, std::size_t i) {
  const Point& p0 = p[i];
  const Point& p1 = p[i + 1];
  const Point& p2 = p[i + 2];
  const Point& p3 = p[i + 3];
  return TwoTriples{Lanes2::of(p0.x(), p1.x()), Lanes2::of(p0.y(), p1.y()),
                    Lanes2::of(p0.z(), p1.z()), Lanes2::of(p1.x(), p2.x()),
                    Lanes2::of(p1.y(), p2.y()), Lanes2::of(p1.z(), p2.z()),
                    Lanes2::of(p2.x(), p3.x()), Lanes2::of(p2.y(), p3.y()),
                    Lanes2::of(p2.z(), p3.z())};
}

}  // namespace

DeviationStatistics deviationStatistics(const Point* p, std::size_t n,
                                        double* deviations) {
  DeviationStatistics stats;
  const TripleCounter countTriple(stats, deviations);
  std::size_t i = 0;
  // Two triples at a time, each lane with the operations of ChordLine and
  // _MathVector::length() below in the same order (the lanes' square roots
  // and quotients round as the scalar ones do); the sums are then taken in
  // order.
  for (; i + 3 < n; i += 2) {
    const TwoTriples t3 = twoTriples(p, i);
    auto norm = [](Lanes2 x, Lanes2 y, Lanes2 z) {
      return sqrtOf(x * x + y * y + z * z);
    };
    const Lanes2 ox = t3.x1 - t3.x0;  // offset of the middle point
    const Lanes2 oy = t3.y1 - t3.y0;
    const Lanes2 oz = t3.z1 - t3.z0;
    const Lanes2 dx = t3.x2 - t3.x0;
    const Lanes2 dy = t3.y2 - t3.y0;
    const Lanes2 dz = t3.z2 - t3.z0;
    const Lanes2 length = norm(dx, dy, dz);
    const Lanes2 ux = dx / length;
    const Lanes2 uy = dy / length;
    const Lanes2 uz = dz / length;
    const Lanes2 t = ox * ux + oy * uy + oz * uz;
    const Lanes2 deviation =
        norm(t3.x1 - (t3.x0 + ux * t), t3.y1 - (t3.y0 + uy * t),
             t3.z1 - (t3.z0 + uz * t));
    countTriple(norm(ox, oy, oz), length, deviation, i);
  }
  for (; i + 2 < n; ++i) {
    const double segment = (p[i + 1] - p[i]).length();
    const Vector direction = p[i + 2] - p[i];
    const double length = direction.length();
    double deviation = 0.0;
    if (!(length < zeroVectorTolerance<double>())) {  // or not a number
      const ChordLine chord(p[i], direction, length);
      deviation = p[i + 1].distanceTo(chord.project(p[i + 1]));
    }
    countTriple(segment, length, deviation, i);
  }
  return stats;
}

// In the plane the third axis's differences, products and squares are all
// zero, and adding a zero leaves each sum as it was: the same operations on
// the two other axes, in the same order, give the same values to the bit.
DeviationStatistics deviationStatistics(const PlaneCoordinates& plane,
                                        std::size_t n, double* deviations) {
  DeviationStatistics stats;
  const TripleCounter countTriple(stats, deviations);
  const double* a = plane.a;
  const double* b = plane.b;
  std::size_t i = 0;
  for (; i + 3 < n; i += 2) {
    const Lanes2 a0 = Lanes2::load(a + i);
    const Lanes2 b0 = Lanes2::load(b + i);
    const Lanes2 a1 = Lanes2::load(a + i + 1);
    const Lanes2 b1 = Lanes2::load(b + i + 1);
    const Lanes2 a2 = Lanes2::load(a + i + 2);
    const Lanes2 b2 = Lanes2::load(b + i + 2);
    auto norm = [](Lanes2 u, Lanes2 v) { return sqrtOf(u * u + v * v); };
    const Lanes2 oa = a1 - a0;
    const Lanes2 ob = b1 - b0;
    const Lanes2 da = a2 - a0;
    const Lanes2 db = b2 - b0;
    const Lanes2 length = norm(da, db);
    const Lanes2 ua = da / length;
    const Lanes2 ub = db / length;
    const Lanes2 t = oa * ua + ob * ub;
    const Lanes2 deviation = norm(a1 - (a0 + ua * t), b1 - (b0 + ub * t));
    countTriple(norm(oa, ob), length, deviation, i);
  }
  for (; i + 2 < n; ++i) {
    const double oa = a[i + 1] - a[i];
    const double ob = b[i + 1] - b[i];
    const double da = a[i + 2] - a[i];
    const double db = b[i + 2] - b[i];
    const double length = std::sqrt(da * da + db * db);
    const double ua = da / length;
    const double ub = db / length;
    const double t = oa * ua + ob * ub;
    const double fa = a[i + 1] - (a[i] + ua * t);
    const double fb = b[i + 1] - (b[i] + ub * t);
    countTriple(std::sqrt(oa * oa + ob * ob), length,
                std::sqrt(fa * fa + fb * fb), i);
  }
  return stats;
}

}  // namespace QUAX
