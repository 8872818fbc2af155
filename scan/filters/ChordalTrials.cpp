// SPDX-License-Identifier: MIT
#include "scan/filters/ChordalTrials.h"

#include <cmath>
#include <limits>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

#include "geomath/MathErrors.h"
#include "scan/filters/ChordalDeviation.h"
#include "scan/filters/FilterGeometry.h"

namespace QUAX {

namespace {

using Point = _GeoPoint<double>;
using Vector = _MathVector<double>;

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kUnmeasured = std::numeric_limits<double>::quiet_NaN();
constexpr std::uint32_t kNoHits = 0xffffffffu;

#if defined(__SSE2__) || defined(_M_X64)
// The larger of two lanes (the second where they compare unordered).
inline double largerLane(__m128d v) {
  double lanes[2];
  _mm_storeu_pd(lanes, v);
  return lanes[0] > lanes[1] ? lanes[0] : lanes[1];
}
#endif

// The largest squared deviation of the points from ... to - 1 from `line`,
// each computed as ChordLine::project and _MathVector::length() compute it
// (without the root); -inf when none is a number. Two points at a time where
// SSE2 is there: its lanes round as the scalar operations do.
double largestSquaredDeviation(const double* xs, const double* ys,
                               const double* zs, std::size_t from,
                               std::size_t to, const ChordLine& line,
                               double* squares) {
  const double ox = line.origin.x();
  const double oy = line.origin.y();
  const double oz = line.origin.z();
  const double dx = line.direction.x();
  const double dy = line.direction.y();
  const double dz = line.direction.z();
  double best = -kInfinity;
  std::size_t j = from;
#if defined(__SSE2__) || defined(_M_X64)
  if (to - from >= 2) {
    const __m128d vox = _mm_set1_pd(ox);
    const __m128d voy = _mm_set1_pd(oy);
    const __m128d voz = _mm_set1_pd(oz);
    const __m128d vdx = _mm_set1_pd(dx);
    const __m128d vdy = _mm_set1_pd(dy);
    const __m128d vdz = _mm_set1_pd(dz);
    __m128d largest = _mm_set1_pd(-kInfinity);
    for (; j + 2 <= to; j += 2) {
      const __m128d px = _mm_loadu_pd(xs + j);
      const __m128d py = _mm_loadu_pd(ys + j);
      const __m128d pz = _mm_loadu_pd(zs + j);
      const __m128d t =
          _mm_add_pd(_mm_add_pd(_mm_mul_pd(_mm_sub_pd(px, vox), vdx),
                                _mm_mul_pd(_mm_sub_pd(py, voy), vdy)),
                     _mm_mul_pd(_mm_sub_pd(pz, voz), vdz));
      const __m128d fx = _mm_sub_pd(px, _mm_add_pd(vox, _mm_mul_pd(vdx, t)));
      const __m128d fy = _mm_sub_pd(py, _mm_add_pd(voy, _mm_mul_pd(vdy, t)));
      const __m128d fz = _mm_sub_pd(pz, _mm_add_pd(voz, _mm_mul_pd(vdz, t)));
      const __m128d squared =
          _mm_add_pd(_mm_add_pd(_mm_mul_pd(fx, fx), _mm_mul_pd(fy, fy)),
                     _mm_mul_pd(fz, fz));
      _mm_storeu_pd(squares + (j - from), squared);
      // maxpd gives its second operand when the first is not a number.
      largest = _mm_max_pd(squared, largest);
    }
    best = largerLane(largest);
  }
#endif
  for (; j < to; ++j) {
    const double t = (xs[j] - ox) * dx + (ys[j] - oy) * dy + (zs[j] - oz) * dz;
    const double fx = xs[j] - (ox + dx * t);
    const double fy = ys[j] - (oy + dy * t);
    const double fz = zs[j] - (oz + dz * t);
    const double squared = fx * fx + fy * fy + fz * fz;
    squares[j - from] = squared;
    if (squared > best) best = squared;
  }
  return best;
}

// The squared deviation of point j from `line`, as the loop above takes it.
double squaredDeviation(const double* xs, const double* ys, const double* zs,
                        std::size_t j, const ChordLine& line) {
  const double ox = line.origin.x();
  const double oy = line.origin.y();
  const double oz = line.origin.z();
  const double dx = line.direction.x();
  const double dy = line.direction.y();
  const double dz = line.direction.z();
  const double t = (xs[j] - ox) * dx + (ys[j] - oy) * dy + (zs[j] - oz) * dz;
  const double fx = xs[j] - (ox + dx * t);
  const double fy = ys[j] - (oy + dy * t);
  const double fz = zs[j] - (oz + dz * t);
  return fx * fx + fy * fy + fz * fz;
}

// Whether every value is the same number.
bool allSame(const std::vector<double>& values) {
  for (const double v : values) {
    if (!(v == values[0])) return false;
  }
  return true;
}

}  // namespace

void ChordalTrials::reset(const Point* p, std::size_t n, double maxSpan) {
  for (const std::uint32_t a : _touched) {
    AnchorMemo& memo = _anchors[a];
    memo.largest.clear();
    memo.info.clear();
    memo.hits.clear();
    memo.from = kNoSpan;
  }
  _touched.clear();
  if (_anchors.size() < n) _anchors.resize(n);
  _xs.resize(n);
  _ys.resize(n);
  _zs.resize(n);
  _squares.resize(n);
  _squaresAnchor = n;  // none
  _squaresStep = n;
  for (std::size_t i = 0; i < n; ++i) {
    _xs[i] = p[i].x();
    _ys[i] = p[i].y();
    _zs[i] = p[i].z();
  }
  _p = p;
  _n = n;
  _spanReached = DistanceBound(maxSpan);
  choosePlane();
}

// A profile of a line scanner lies in a plane of two axes: its third
// coordinate is the same for every point. The chord and every offset from the
// anchor then have 0 there, the chord line's deviations are those in the
// plane, and a step is measured by cross products: |q x c|^2 is the squared
// deviation of q from chord c times |c|^2, here for 6 operations per point
// instead of 22, and differs from what the chord line gives (times |c|^2) by
// less than _planeAllowance |c|^2, from the rounding of both (see
// deviationRounding for the chord line's; the cross product's stays below
// 5 eps |q|^2 |c|^2, with |q| at most the diagonal of the points' box). Lines
// with coordinates beyond 1e60 (or not numbers) are measured by the chord
// line alone, so that no square overflows.
void ChordalTrials::choosePlane() {
  _planeA = nullptr;
  _planeB = nullptr;
  if (allSame(_ys)) {
    _planeA = _xs.data();
    _planeB = _zs.data();
  } else if (allSame(_xs)) {
    _planeA = _ys.data();
    _planeB = _zs.data();
  } else if (allSame(_zs)) {
    _planeA = _xs.data();
    _planeB = _ys.data();
  } else {
    return;
  }
  double lowA = _planeA[0];
  double highA = _planeA[0];
  double lowB = _planeB[0];
  double highB = _planeB[0];
  double largest = 0.0;
  // A coordinate that is not a number makes the sum not a number.
  for (std::size_t i = 0; i < _n; ++i) {
    lowA = _planeA[i] < lowA ? _planeA[i] : lowA;
    highA = _planeA[i] > highA ? _planeA[i] : highA;
    lowB = _planeB[i] < lowB ? _planeB[i] : lowB;
    highB = _planeB[i] > highB ? _planeB[i] : highB;
    const double size =
        std::fabs(_xs[i]) + std::fabs(_ys[i]) + std::fabs(_zs[i]);
    largest = size > largest || size != size ? size : largest;
  }
  if (!(largest <= 1e60)) {  // not a number either
    _planeA = nullptr;
    _planeB = nullptr;
    return;
  }
  const double diagonal = std::sqrt((highA - lowA) * (highA - lowA) +
                                    (highB - lowB) * (highB - lowB));
  const double rounding = deviationRounding(_p, _n);
  _planeAllowance = 2.02 * (rounding * (2.0 * diagonal + rounding) +
                            64.0 * std::numeric_limits<double>::epsilon() *
                                diagonal * diagonal);
}

// Fills _squares with the squared cross products of the offsets of the points
// since `anchor` up to `step` with the chord to p[step + 1], in the plane, and
// returns the largest.
double ChordalTrials::crossSquares(std::size_t anchor, std::size_t step) {
  const double* a = _planeA;
  const double* b = _planeB;
  const double oa = a[anchor];
  const double ob = b[anchor];
  const double ca = a[step + 1] - oa;
  const double cb = b[step + 1] - ob;
  const std::size_t from = anchor + 1;
  const std::size_t to = step + 1;
  double* crossed = _squares.data();
  double best = 0.0;
  std::size_t j = from;
#if defined(__SSE2__) || defined(_M_X64)
  {
    const __m128d voa = _mm_set1_pd(oa);
    const __m128d vob = _mm_set1_pd(ob);
    const __m128d vca = _mm_set1_pd(ca);
    const __m128d vcb = _mm_set1_pd(cb);
    auto squaresAt = [&](std::size_t at) {
      const __m128d qa = _mm_sub_pd(_mm_loadu_pd(a + at), voa);
      const __m128d qb = _mm_sub_pd(_mm_loadu_pd(b + at), vob);
      const __m128d w = _mm_sub_pd(_mm_mul_pd(qa, vcb), _mm_mul_pd(qb, vca));
      const __m128d squared = _mm_mul_pd(w, w);
      _mm_storeu_pd(crossed + (at - from), squared);
      return squared;
    };
    // Two running maxima, so that each waits on every other pair only.
    __m128d largest = _mm_setzero_pd();
    __m128d other = _mm_setzero_pd();
    for (; j + 4 <= to; j += 4) {
      largest = _mm_max_pd(squaresAt(j), largest);
      other = _mm_max_pd(squaresAt(j + 2), other);
    }
    if (j + 2 <= to) {
      largest = _mm_max_pd(squaresAt(j), largest);
      j += 2;
    }
    largest = _mm_max_pd(largest, other);
    best = largerLane(largest);
  }
#endif
  for (; j < to; ++j) {
    const double w = (a[j] - oa) * cb - (b[j] - ob) * ca;
    crossed[j - from] = w * w;
    if (w * w > best) best = w * w;
  }
  _squaresAnchor = anchor;
  _squaresStep = step;
  return best;
}

// Measures step `step` from `anchor` as the plain walk tests it: the chord's
// span first, then a chord on the anchor passed over, then the largest
// deviation of the points since the anchor, kept as its sum of squares: the
// distance DistanceBound compares is the square root of that sum, which is
// correctly rounded and monotonic, so "root of the largest >= limit" is the
// plain walk's "some point reaches the limit". The roots are taken only
// where a limit comes close (see run), and the running maxima in point order
// later, for the steps that end a span (see findHits).
void ChordalTrials::measure(std::size_t anchor, std::size_t step) {
  AnchorMemo& memo = _anchors[anchor];
  const std::size_t k = step - anchor - 1;
  StepInfo& info = memo.info[k];
  info.hitsBegin = kNoHits;
  info.hitsCount = 0;
  info.kind = StepKind::kDeviation;
  // The chord's length is compared by its square where that decides; a
  // length that is not a number reaches nothing and passes every test.
  const Vector chord = _p[step + 1] - _p[anchor];
  const double squared =
      chord.x() * chord.x() + chord.y() * chord.y() + chord.z() * chord.z();
  const bool number = squared == squared;
  if (number && _spanReached.reachedBy(chord)) {
    info.kind = StepKind::kSpan;
    memo.largest[k] = kInfinity;
    return;
  }
  if (number && !_epsilonReached.reachedBy(chord)) {
    memo.largest[k] = -kInfinity;
    return;
  }
  if (number && !_toleranceReached.reachedBy(chord)) {
    info.kind = StepKind::kFault;  // ChordLine throws EMathZeroVector
    memo.largest[k] = kInfinity;
    return;
  }
  if (_planeA != nullptr) {
    // In the plane, an upper bound of the largest sum from the cross
    // products (see choosePlane), above it by a few parts in 1e9 at most:
    // the walk has the exact one found where a limit falls at or under its
    // root. The sum of squares stands for |c|^2 within the last factor.
    memo.largest[k] = (crossSquares(anchor, step) +
                       squared * _planeAllowance + 1e-300) /
                      squared *
                      (1.0 + 40.0 * std::numeric_limits<double>::epsilon());
    return;
  }
  const double span = chord.length();
  const ChordLine line(_p[anchor], chord, span);
  const double largest =
      largestSquaredDeviation(_xs.data(), _ys.data(), _zs.data(), anchor + 1,
                              step + 1, line, _squares.data());
  _squaresAnchor = anchor;
  _squaresStep = step;
  memo.largest[k] = largest;
}

// The running maxima, in point order, of the deviations of step `step` from
// `anchor`, as the plain walk meets them: the first point at or beyond any
// limit is one of them. They are taken on the sums of squares, whose roots
// keep their order. Returns the largest sum.
double ChordalTrials::findHits(std::size_t anchor, std::size_t step) {
  AnchorMemo& memo = _anchors[anchor];
  StepInfo& info = memo.info[step - anchor - 1];
  info.hitsBegin = static_cast<std::uint32_t>(memo.hits.size());
  const Vector chord = _p[step + 1] - _p[anchor];
  const double span = chord.length();
  // The sums of squares (or cross products) are still there when the step
  // was the last one measured, as it is when it ends the span of the run
  // that met it first.
  const bool measured = _squaresAnchor == anchor && _squaresStep == step;
  double largest = -kInfinity;
  // The sums of squares first; their roots once all are found.
  // The fields are stored one by one: a Hit built whole on the stack and
  // copied in is read back as 16 bytes from two narrower stores, which the
  // processor cannot forward and stalls on.
  auto hitAt = [&](std::size_t j, double squared) {
    if (squared > largest) {
      largest = squared;
      Hit& hit = memo.hits.emplace_back();
      hit.deviation = squared;
      hit.index = static_cast<std::uint32_t>(j);
    }
  };
  if (_planeA != nullptr) {
    // A point whose cross product falls short of an earlier one's by more
    // than the allowance deviates less than that point: it is no running
    // maximum, and only the others are measured by the chord line.
    if (!measured) crossSquares(anchor, step);
    const double allowance = span * span * _planeAllowance + 1e-300;
    const ChordLine line(_p[anchor], chord, span);
    double runningCross = -kInfinity;
    for (std::size_t j = anchor + 1; j <= step; ++j) {
      const double crossed = _squares[j - anchor - 1];
      if (crossed >= runningCross - allowance) {
        hitAt(j, squaredDeviation(_xs.data(), _ys.data(), _zs.data(), j, line));
      }
      if (crossed > runningCross) runningCross = crossed;
    }
  } else {
    if (!measured) {
      largestSquaredDeviation(_xs.data(), _ys.data(), _zs.data(), anchor + 1,
                              step + 1, ChordLine(_p[anchor], chord, span),
                              _squares.data());
      _squaresAnchor = anchor;
      _squaresStep = step;
    }
    for (std::size_t j = anchor + 1; j <= step; ++j) {
      hitAt(j, _squares[j - anchor - 1]);
    }
  }
  info.hitsCount =
      static_cast<std::uint32_t>(memo.hits.size()) - info.hitsBegin;
  for (std::size_t h = info.hitsBegin; h < memo.hits.size(); ++h) {
    memo.hits[h].deviation = std::sqrt(memo.hits[h].deviation);
  }
  return largest;
}

std::int64_t ChordalTrials::run(double deviationLimit, std::size_t stopAbove) {
  const std::size_t n = _n;
  // A limit that is not a number is never reached: only the span ends a
  // chord then.
  const bool noLimit = std::isnan(deviationLimit);
  // Sums below this are surely below the limit's square, with room for the
  // rounding of the square; limits whose square may leave the normal range
  // leave every step to the root.
  const bool banded = deviationLimit > 1e-150 && deviationLimit < 1e150;
  const double clearBelow =
      banded ? deviationLimit * deviationLimit *
                   (1.0 - 16.0 * std::numeric_limits<double>::epsilon())
             : -kInfinity;
  _kept.clear();
  _kept.push_back(0);
  std::size_t anchor = 0;
  std::size_t i = 1;
  while (i + 1 < n) {
    // With the last point, more than stopAbove are kept.
    if (_kept.size() >= stopAbove)
      return static_cast<std::int64_t>(stopAbove) + 1;
    AnchorMemo& memo = _anchors[anchor];
    // The span walked last from here, when this limit walks it the same way.
    if (memo.from == i && deviationLimit > memo.above &&
        deviationLimit <= memo.upTo) {
      _kept.push_back(static_cast<std::uint32_t>(memo.keep));
      anchor = memo.keep;
      i = memo.end + 1;
      continue;
    }
    const std::size_t from = i;
    const std::size_t base = anchor + 1;
    const std::size_t steps = n - 1 - base;  // steps this anchor can meet
    std::size_t k = i - base;
    // The largest sum of the steps passed.
    double above = -kInfinity;
    // Passes the steps below the limit; stops at the first step that ends
    // the span, and measures the unmeasured ones (not a number) on the way.
    for (;;) {
      const std::size_t known = memo.largest.size();
      const double* largest = memo.largest.data();
      if (noLimit) {
        while (k < known && !std::isnan(largest[k]) &&
               memo.info[k].kind == StepKind::kDeviation) {
          ++k;
        }
      } else {
        for (; k < known && largest[k] < clearBelow; ++k) {
          above = largest[k] > above ? largest[k] : above;
        }
      }
      if (k >= known) {
        if (k == steps) break;
        if (known == 0) _touched.push_back(static_cast<std::uint32_t>(anchor));
        std::size_t grown = known * 2 > k + 16 ? known * 2 : k + 16;
        if (grown > steps) grown = steps;
        memo.largest.resize(grown, kUnmeasured);
        memo.info.resize(grown);
        continue;
      }
      const double value = largest[k];
      if (std::isnan(value)) {
        measure(anchor, base + k);
        continue;
      }
      if (noLimit) break;
      const StepInfo& info = memo.info[k];
      // A bound in the plane that reaches the limit: the exact largest sum,
      // the last of the running maxima, decides.
      if (_planeA != nullptr && info.kind == StepKind::kDeviation &&
          info.hitsBegin == kNoHits && value != -kInfinity) {
        memo.largest[k] = findHits(anchor, base + k);
        continue;
      }
      // A sum near the limit's square: its root decides. A chord passed over
      // passes whatever the limit.
      if (value == -kInfinity ||
          (info.kind == StepKind::kDeviation && std::sqrt(value) < deviationLimit)) {
        above = value > above ? value : above;
        ++k;
        continue;
      }
      break;
    }
    if (k == steps) break;  // no further point kept before the last
    i = base + k;
    StepInfo& info = memo.info[k];
    std::size_t keep = i;
    if (info.kind == StepKind::kFault) throw EMathZeroVector();
    // The limits that walk this span the same way: above the root of every
    // step passed (and the running maximum before the one reached), up to the
    // one reached. The margin covers the rounding of the root and of the
    // limit's square, and a bound of a step passed only narrows them.
    above = above == -kInfinity
                ? -kInfinity
                : std::sqrt(above) *
                      (1.0 + 16.0 * std::numeric_limits<double>::epsilon());
    double upTo = kInfinity;
    if (info.kind == StepKind::kDeviation) {
      if (info.hitsBegin == kNoHits) findHits(anchor, i);
      const Hit* first = memo.hits.data() + info.hitsBegin;
      const Hit* hit = first;
      while (!(hit->deviation >= deviationLimit)) ++hit;
      keep = hit->index - 1 == anchor ? hit->index : hit->index - 1;
      upTo = hit->deviation;
      if (hit != first && hit[-1].deviation > above) {
        above = hit[-1].deviation;
      }
    }
    if (!noLimit) {
      memo.from = from;
      memo.above = above;
      memo.upTo = upTo;
      memo.end = i;
      memo.keep = keep;
    }
    _kept.push_back(static_cast<std::uint32_t>(keep));
    anchor = keep;
    ++i;
  }
  _kept.push_back(static_cast<std::uint32_t>(n - 1));
  return static_cast<std::int64_t>(_kept.size());
}

}  // namespace QUAX
