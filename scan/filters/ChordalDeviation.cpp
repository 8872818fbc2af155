// SPDX-License-Identifier: MIT
#include "scan/filters/ChordalDeviation.h"

#include <cmath>
#include <limits>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

#include "scan/filters/ChordSpans.h"
#include "scan/filters/ChordalDeviationWide.h"

namespace QUAX {

namespace {

using Point = _GeoPoint<double>;
using Vector = _MathVector<double>;

// Spans shorter than this are tested point by point: the blocks pay off only
// on longer ones.
constexpr std::size_t kPlainSpan = 8;

}  // namespace

double deviationRounding(const Point* p, std::size_t n) {
  // The largest magnitude per axis, and a sum that is not a number once a
  // coordinate is not finite (0 times infinity is not a number either).
  double sx = 0.0;
  double sy = 0.0;
  double sz = 0.0;
  double finite = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    const double x = std::fabs(p[i].x());
    const double y = std::fabs(p[i].y());
    const double z = std::fabs(p[i].z());
    sx = x > sx ? x : sx;
    sy = y > sy ? y : sy;
    sz = z > sz ? z : sz;
    finite += x * 0.0 + y * 0.0 + z * 0.0;
  }
  return deviationRounding(sx, sy, sz, finite);
}

double deviationRounding(double largestX, double largestY, double largestZ,
                         double finite) {
  const double largestXZ = largestX > largestZ ? largestX : largestZ;
  const double largestYZ = largestY > largestZ ? largestY : largestZ;
  const double scale = (largestX > largestY ? largestXZ : largestYZ) + finite;
  // A deviation is made of a difference of positions, a dot product, a foot
  // point and a length, each rounded once per coordinate: its error, and that
  // of the bound of a turned chord, stays far below 64 units of the largest
  // coordinate's last place.
  return 1024.0 * std::numeric_limits<double>::epsilon() * scale +
         std::numeric_limits<double>::min();
}

ChordSpans::ChordSpans(const Point* p, std::size_t n, double deviationLimit,
                       ChordalWork& work)
    : _p(p),
      _none(n),
      _deviation(deviationLimit),
      _rounding(deviationRounding(p, n)),
      // A limit that is not a positive number leaves every block to the
      // per-point test.
      _below(deviationLimit * (1.0 - kBoundSlack) - _rounding),
      _work(work) {
  const std::size_t blockCount = (n >> kBlockShift) + 1;
  const std::size_t groupCount = (blockCount >> kGroupShift) + 1;
  if (work.blocks.size() < blockCount) work.blocks.resize(blockCount);
  if (work.groups.size() < groupCount) work.groups.resize(groupCount);
  for (std::size_t b = 0; b < blockCount; ++b) work.blocks[b].anchor = _none;
  for (std::size_t g = 0; g < groupCount; ++g) work.groups[g].anchor = _none;
  work.whole.anchor = _none;
  work.closed.anchor = _none;
}

void ChordSpans::skip(std::size_t i) {
  _work.blocks[i >> kBlockShift].anchor = _none;
}

std::size_t thinByChordalDeviation(const Point* p, std::size_t n,
                                   double deviationLimit, double maxSpan,
                                   Point* out, ChordalWork& work, bool wide) {
  if (wide && chordalWideRuns(deviationLimit)) {
    return thinByChordalDeviationWide(p, n, deviationLimit, maxSpan, out, work);
  }
  const double epsilon = std::numeric_limits<double>::epsilon();
  const DistanceBound deviation(deviationLimit);
  ChordSpans spans(p, n, deviationLimit, work);
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
    if (span < epsilon) {
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
  const double gap = 4.0 * zeroVectorTolerance<double>();
  if (scratch.size() < n) scratch.resize(n);
  double* sorted = scratch.data();
  for (int axis = 0; axis < 3; ++axis) {
    for (std::size_t i = 0; i < n; ++i) {
      sorted[i] = axis == 0 ? p[i].x() : axis == 1 ? p[i].y() : p[i].z();
    }
    std::size_t moves = 8 * n;
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

namespace {

#if defined(__SSE2__) || defined(_M_X64)
// The square roots of two lanes as std::sqrt takes them: a Windows C library
// may round some roots otherwise than the processor's instruction does, so
// there each lane goes through std::sqrt as the scalar code does.
inline __m128d rootsOf(__m128d v) {
#ifdef _WIN32
  double lanes[2];
  _mm_storeu_pd(lanes, v);
  return _mm_set_pd(std::sqrt(lanes[1]), std::sqrt(lanes[0]));
#else
  return _mm_sqrt_pd(v);
#endif
}
#endif

}  // namespace

namespace {

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
    if (length < std::numeric_limits<double>::epsilon()) {
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

#if defined(__SSE2__) || defined(_M_X64)
  // Two triples from lanes, the first lane's first.
  void operator()(__m128d segments, __m128d lengths, __m128d deviations,
                  std::size_t i) const {
    double segment[2];
    double length[2];
    double deviation[2];
    _mm_storeu_pd(segment, segments);
    _mm_storeu_pd(length, lengths);
    _mm_storeu_pd(deviation, deviations);
    (*this)(segment[0], length[0], deviation[0], i);
    (*this)(segment[1], length[1], deviation[1], i + 1);
  }
#endif

 private:
  DeviationStatistics& _stats;
  double* _deviations;
};

}  // namespace

DeviationStatistics deviationStatistics(const Point* p, std::size_t n,
                                        double* deviations) {
  DeviationStatistics stats;
  const TripleCounter countTriple(stats, deviations);
  std::size_t i = 0;
#if defined(__SSE2__) || defined(_M_X64)
  // Two triples at a time, each lane with the operations of ChordLine and
  // _MathVector::length() below in the same order (the lanes' square roots
  // and quotients round as the scalar ones do); the sums are then taken in
  // order.
  for (; i + 3 < n; i += 2) {
    const __m128d x0 = _mm_set_pd(p[i + 1].x(), p[i].x());
    const __m128d y0 = _mm_set_pd(p[i + 1].y(), p[i].y());
    const __m128d z0 = _mm_set_pd(p[i + 1].z(), p[i].z());
    const __m128d x1 = _mm_set_pd(p[i + 2].x(), p[i + 1].x());
    const __m128d y1 = _mm_set_pd(p[i + 2].y(), p[i + 1].y());
    const __m128d z1 = _mm_set_pd(p[i + 2].z(), p[i + 1].z());
    const __m128d x2 = _mm_set_pd(p[i + 3].x(), p[i + 2].x());
    const __m128d y2 = _mm_set_pd(p[i + 3].y(), p[i + 2].y());
    const __m128d z2 = _mm_set_pd(p[i + 3].z(), p[i + 2].z());
    auto norm = [](__m128d x, __m128d y, __m128d z) {
      return rootsOf(_mm_add_pd(_mm_add_pd(_mm_mul_pd(x, x), _mm_mul_pd(y, y)),
                                _mm_mul_pd(z, z)));
    };
    const __m128d ox = _mm_sub_pd(x1, x0);  // offset of the middle point
    const __m128d oy = _mm_sub_pd(y1, y0);
    const __m128d oz = _mm_sub_pd(z1, z0);
    const __m128d dx = _mm_sub_pd(x2, x0);
    const __m128d dy = _mm_sub_pd(y2, y0);
    const __m128d dz = _mm_sub_pd(z2, z0);
    const __m128d length = norm(dx, dy, dz);
    const __m128d ux = _mm_div_pd(dx, length);
    const __m128d uy = _mm_div_pd(dy, length);
    const __m128d uz = _mm_div_pd(dz, length);
    const __m128d t = _mm_add_pd(
        _mm_add_pd(_mm_mul_pd(ox, ux), _mm_mul_pd(oy, uy)), _mm_mul_pd(oz, uz));
    const __m128d deviation =
        norm(_mm_sub_pd(x1, _mm_add_pd(x0, _mm_mul_pd(ux, t))),
             _mm_sub_pd(y1, _mm_add_pd(y0, _mm_mul_pd(uy, t))),
             _mm_sub_pd(z1, _mm_add_pd(z0, _mm_mul_pd(uz, t))));
    countTriple(norm(ox, oy, oz), length, deviation, i);
  }
#endif
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
#if defined(__SSE2__) || defined(_M_X64)
  for (; i + 3 < n; i += 2) {
    const __m128d a0 = _mm_loadu_pd(a + i);
    const __m128d b0 = _mm_loadu_pd(b + i);
    const __m128d a1 = _mm_loadu_pd(a + i + 1);
    const __m128d b1 = _mm_loadu_pd(b + i + 1);
    const __m128d a2 = _mm_loadu_pd(a + i + 2);
    const __m128d b2 = _mm_loadu_pd(b + i + 2);
    auto norm = [](__m128d u, __m128d v) {
      return rootsOf(_mm_add_pd(_mm_mul_pd(u, u), _mm_mul_pd(v, v)));
    };
    const __m128d oa = _mm_sub_pd(a1, a0);
    const __m128d ob = _mm_sub_pd(b1, b0);
    const __m128d da = _mm_sub_pd(a2, a0);
    const __m128d db = _mm_sub_pd(b2, b0);
    const __m128d length = norm(da, db);
    const __m128d ua = _mm_div_pd(da, length);
    const __m128d ub = _mm_div_pd(db, length);
    const __m128d t = _mm_add_pd(_mm_mul_pd(oa, ua), _mm_mul_pd(ob, ub));
    const __m128d deviation =
        norm(_mm_sub_pd(a1, _mm_add_pd(a0, _mm_mul_pd(ua, t))),
             _mm_sub_pd(b1, _mm_add_pd(b0, _mm_mul_pd(ub, t))));
    countTriple(norm(oa, ob), length, deviation, i);
  }
#endif
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

std::size_t countKeptOnShortSpans(const Point* p, std::size_t n,
                                  double deviationLimit, double maxSpan,
                                  const double* deviations,
                                  std::size_t longestSpan,
                                  const PlaneCoordinates* plane) {
  const double epsilon = std::numeric_limits<double>::epsilon();
  const DistanceBound deviation(deviationLimit);
  const DistanceBound spanReached(maxSpan);
  const DistanceBound epsilonReached(epsilon);
  const DistanceBound toleranceReached(zeroVectorTolerance<double>());
  // In the plane, a squared cross product below `clearBelow` (above
  // `clearAbove`) times the chord's squared length is a deviation below (at
  // or beyond) the limit, with room for the allowance and for the rounding of
  // these products; in between, the chord line decides.
  const bool crossed = plane != nullptr && deviation.banded();
  const double slack = 32.0 * epsilon;
  const double clearBelow = deviation.lower() * (1.0 - slack);
  const double clearAbove = deviation.upper() * (1.0 + slack);
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
      const double room = squared * plane->allowance + 1e-300;
      const double below = clearBelow * squared - room;
      const double above = clearAbove * squared + room;
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
