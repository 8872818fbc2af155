// SPDX-License-Identifier: MIT
// Internal: the chordal deviation thinning's walk, written once for every
// way of testing its steps: one lane, four lanes, the count on short spans
// and the trials of the N-point search.
#ifndef QUAX_SCAN_FILTERS_CHORDAL_WALK_H_
#define QUAX_SCAN_FILTERS_CHORDAL_WALK_H_

#include <cstddef>

#include "geomath/GeoPoint.h"
#include "scan/filters/FilterGeometry.h"
#include "scan/filters/simd/Lanes.h"

// The walk runs once per line and its steps once per point: inlined into
// each caller, with the caller's test of a step inlined in turn (for four
// lanes, into a function compiled for them).
#define QUAX_WALK_INLINE QUAX_ALWAYS_INLINE

namespace QUAX {

// The walk. From the last kept point (the anchor, first p[0]), step i looks
// at the chord from p[anchor] to p[i + 1]: a chord at least the span long
// keeps p[i]; a chord on the anchor (shorter than the machine epsilon) passes
// p[i] over untested; otherwise the first p[j] since the anchor at least the
// limit away from the chord line keeps p[j - 1], or p[j] itself when p[j - 1]
// is the anchor. The kept point becomes the anchor and the walk goes on from
// the step after the one that kept it. The last point is always kept.

// Where a span from an anchor ends: the step that ends it and the point it
// keeps, or a keep of n (no end before the last point) or kGaveUp.
struct SpanEnd {
  std::size_t step;
  std::size_t keep;
};
constexpr std::size_t kGaveUp = ~std::size_t{0};

// The walk over spans. `spans` tells where each ends (endOf(anchor, i), from
// step i on), takes each kept point (keep(j)) and may stop the walk before
// a span (stops()). Returns false when the walk was stopped or gave up.
template <class Spans>
QUAX_WALK_INLINE bool walkSpans(Spans& spans, std::size_t n) {
  spans.keep(0);
  std::size_t anchor = 0;
  for (std::size_t i = 1; i + 1 < n;) {
    if (spans.stops()) return false;
    const SpanEnd end = spans.endOf(anchor, i);
    if (end.keep == kGaveUp) return false;
    if (end.keep >= n) break;
    spans.keep(end.keep);
    anchor = end.keep;
    i = end.step + 1;
  }
  spans.keep(n - 1);
  return true;
}

// The end of the span from `anchor`, found step by step from step i on.
// `steps` makes each step's chord (chord(anchor, i)), says whether it
// reaches the span (reachesSpan) or lies on the anchor (onAnchor), is told
// of each step passed over (skip(i)), finds the first point that reaches
// the limit (firstReaching(anchor, i, chord), n for none) and may give up
// (givesUp(anchor, i)).
template <class Steps>
QUAX_WALK_INLINE SpanEnd endOfSpan(Steps& steps, std::size_t anchor,
                                   std::size_t i, std::size_t n) {
  for (; i + 1 < n; ++i) {
    if (steps.givesUp(anchor, i)) return SpanEnd{i, kGaveUp};
    const auto chord = steps.chord(anchor, i);
    if (steps.reachesSpan(chord)) return SpanEnd{i, i};
    if (steps.onAnchor(chord)) {
      steps.skip(i);
      continue;
    }
    const std::size_t hit = steps.firstReaching(anchor, i, chord);
    if (hit != n) return SpanEnd{i, hit - 1 == anchor ? hit : hit - 1};
  }
  return SpanEnd{i, n};
}

// The plain test of a step: the first of p[from] ... p[to] at least the
// limit from `line`, or `none`.
QUAX_WALK_INLINE std::size_t firstReachingOnLine(
    const _GeoPoint<double>* p, std::size_t from, std::size_t to,
    const ChordLine& line, const DistanceBound& deviation, std::size_t none) {
  for (std::size_t j = from; j <= to; ++j) {
    if (deviation.reachedBy(p[j] - line.project(p[j]))) return j;
  }
  return none;
}

}  // namespace QUAX

#endif  // QUAX_SCAN_FILTERS_CHORDAL_WALK_H_
