// SPDX-License-Identifier: MIT
#include "scan/filters/ChordalTrials.h"

#include <cmath>
#include <limits>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

#include "geomath/MathErrors.h"
#include "scan/filters/FilterGeometry.h"

namespace QUAX {

namespace {

using Point = _GeoPoint<double>;
using Vector = _MathVector<double>;

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kUnmeasured = std::numeric_limits<double>::quiet_NaN();
constexpr std::uint32_t kNoHits = 0xffffffffu;

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
    double lanes[2];
    _mm_storeu_pd(lanes, largest);
    best = lanes[0] > lanes[1] ? lanes[0] : lanes[1];
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
  _maxSpan = maxSpan;
}

// Measures step `step` from `anchor` as the plain walk tests it: the chord's
// span first, then a chord on the anchor passed over, then the largest
// deviation of the points since the anchor, with the distance as
// DistanceBound compares it (the square root of the same sum of squares), so
// that "largest >= limit" is the plain walk's "some point reaches the limit".
// The square root is correctly rounded and monotonic, so the root of the
// largest sum is the largest root; the running maxima in point order are
// found later, for the steps that end a span (see hitsOf).
void ChordalTrials::measure(std::size_t anchor, std::size_t step) {
  AnchorMemo& memo = _anchors[anchor];
  const std::size_t k = step - anchor - 1;
  StepInfo& info = memo.info[k];
  info.hitsBegin = kNoHits;
  info.hitsCount = 0;
  info.kind = StepKind::kDeviation;
  const Vector chord = _p[step + 1] - _p[anchor];
  const double span = chord.length();
  if (span >= _maxSpan) {
    info.kind = StepKind::kSpan;
    memo.largest[k] = kInfinity;
    return;
  }
  if (span < std::numeric_limits<double>::epsilon()) {
    memo.largest[k] = -kInfinity;
    return;
  }
  if (span < zeroVectorTolerance<double>()) {
    info.kind = StepKind::kFault;  // ChordLine throws EMathZeroVector
    memo.largest[k] = kInfinity;
    return;
  }
  const ChordLine line(_p[anchor], chord, span);
  const double squared =
      largestSquaredDeviation(_xs.data(), _ys.data(), _zs.data(), anchor + 1,
                              step + 1, line, _squares.data());
  _squaresAnchor = anchor;
  _squaresStep = step;
  memo.largest[k] = squared == -kInfinity ? -kInfinity : std::sqrt(squared);
}

// The running maxima, in point order, of the deviations of step `step` from
// `anchor`, as the plain walk meets them: the first point at or beyond any
// limit is one of them. They are taken on the sums of squares, whose roots
// keep their order.
void ChordalTrials::findHits(std::size_t anchor, std::size_t step) {
  AnchorMemo& memo = _anchors[anchor];
  StepInfo& info = memo.info[step - anchor - 1];
  info.hitsBegin = static_cast<std::uint32_t>(memo.hits.size());
  // The sums of squares are still there when the step was the last one
  // measured, as it is when it ends the span of the run that met it first.
  if (_squaresAnchor != anchor || _squaresStep != step) {
    const Vector chord = _p[step + 1] - _p[anchor];
    largestSquaredDeviation(
        _xs.data(), _ys.data(), _zs.data(), anchor + 1, step + 1,
        ChordLine(_p[anchor], chord, chord.length()), _squares.data());
    _squaresAnchor = anchor;
    _squaresStep = step;
  }
  double largest = -kInfinity;
  for (std::size_t j = anchor + 1; j <= step; ++j) {
    const double squared = _squares[j - anchor - 1];
    if (squared > largest) {
      largest = squared;
      memo.hits.push_back(
          Hit{std::sqrt(squared), static_cast<std::uint32_t>(j)});
    }
  }
  info.hitsCount =
      static_cast<std::uint32_t>(memo.hits.size()) - info.hitsBegin;
}

std::int64_t ChordalTrials::run(double deviationLimit) {
  const std::size_t n = _n;
  // A limit that is not a number is never reached: only the span ends a
  // chord then.
  const bool noLimit = std::isnan(deviationLimit);
  _kept.clear();
  _kept.push_back(0);
  std::size_t anchor = 0;
  std::size_t i = 1;
  while (i + 1 < n) {
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
        while (k < known && largest[k] < deviationLimit) ++k;
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
      if (!std::isnan(largest[k])) break;
      measure(anchor, base + k);
    }
    if (k == steps) break;  // no further point kept before the last
    i = base + k;
    StepInfo& info = memo.info[k];
    std::size_t keep = i;
    if (info.kind == StepKind::kFault) throw EMathZeroVector();
    // The limits that walk this span the same way: above every step passed
    // (and the running maximum before the one reached), up to the one
    // reached.
    double above = -kInfinity;
    for (std::size_t passed = from - base; passed < k; ++passed) {
      if (memo.largest[passed] > above) above = memo.largest[passed];
    }
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
