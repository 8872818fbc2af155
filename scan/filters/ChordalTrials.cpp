// SPDX-License-Identifier: MIT
#include "scan/filters/ChordalTrials.h"

#include <cmath>
#include <limits>

#include "geomath/MathErrors.h"
#include "scan/filters/FilterGeometry.h"

namespace QUAX {

namespace {

using Point = _GeoPoint<double>;
using Vector = _MathVector<double>;

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kUnmeasured = std::numeric_limits<double>::quiet_NaN();

}  // namespace

void ChordalTrials::reset(const Point* p, std::size_t n, double maxSpan) {
  for (const std::uint32_t a : _touched) {
    AnchorMemo& memo = _anchors[a];
    memo.largest.clear();
    memo.info.clear();
    memo.hits.clear();
  }
  _touched.clear();
  if (_anchors.size() < n) _anchors.resize(n);
  _p = p;
  _n = n;
  _maxSpan = maxSpan;
}

// Measures step `step` from `anchor` as the plain walk tests it: the chord's
// span first, then a chord on the anchor passed over, then the deviation of
// every point since the anchor, with the distance as DistanceBound compares
// it (the square root of the same sum of squares), so that "largest >= limit"
// is the plain walk's "some point reaches the limit".
void ChordalTrials::measure(std::size_t anchor, std::size_t step) {
  AnchorMemo& memo = _anchors[anchor];
  const std::size_t k = step - anchor - 1;
  StepInfo& info = memo.info[k];
  info.hitsBegin = static_cast<std::uint32_t>(memo.hits.size());
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
  double largest = -kInfinity;
  for (std::size_t j = anchor + 1; j <= step; ++j) {
    const Vector off = _p[j] - line.project(_p[j]);
    const double d =
        std::sqrt(off.x() * off.x() + off.y() * off.y() + off.z() * off.z());
    if (d > largest) {
      largest = d;
      memo.hits.push_back(Hit{d, static_cast<std::uint32_t>(j)});
    }
  }
  info.hitsCount =
      static_cast<std::uint32_t>(memo.hits.size()) - info.hitsBegin;
  memo.largest[k] = largest;
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
    const StepInfo& info = memo.info[k];
    std::size_t keep = i;
    if (info.kind == StepKind::kFault) throw EMathZeroVector();
    if (info.kind == StepKind::kDeviation) {
      const Hit* hit = memo.hits.data() + info.hitsBegin;
      while (!(hit->deviation >= deviationLimit)) ++hit;
      keep = hit->index - 1 == anchor ? hit->index : hit->index - 1;
    }
    _kept.push_back(static_cast<std::uint32_t>(keep));
    anchor = keep;
    ++i;
  }
  _kept.push_back(static_cast<std::uint32_t>(n - 1));
  return static_cast<std::int64_t>(_kept.size());
}

}  // namespace QUAX
