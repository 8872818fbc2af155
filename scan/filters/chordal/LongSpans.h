// SPDX-License-Identifier: MIT
// Internal: the chordal deviation thinning's test of long spans, inlined
// into the one-lane and the four-lane walk alike.
#ifndef QUAX_SCAN_FILTERS_CHORDAL_LONGSPANS_H_
#define QUAX_SCAN_FILTERS_CHORDAL_LONGSPANS_H_

#include <cmath>
#include <cstddef>

#include "geomath/GeoPoint.h"
#include "geomath/MathVector.h"
#include "scan/filters/FilterGeometry.h"
#include "scan/filters/Rounding.h"
#include "scan/filters/chordal/SpanBound.h"
#include "scan/filters/chordal/ThinningWork.h"

// The step runs once per point of the line: inlined, the walk's state stays
// in registers across it.
#if defined(__GNUC__) || defined(__clang__)
#define QUAX_SPANS_INLINE inline __attribute__((always_inline))
#else
#define QUAX_SPANS_INLINE inline
#endif

namespace QUAX {

// The test of one step of the thinning on a span of many points, by the
// bounds of ChordBlock: for the chord line from p[anchor] to p[i + 1], the
// first p[j] since the anchor at least the limit away from it, found as
// testing every p[j] in order finds it, at a cost near-linear in the span
// over the steps of one anchor. Shared by the one-lane and four-lane walks.
//
// Per step the chord from the anchor to the next point changes; each block of
// the span checks its bound against the new chord, and only a block whose
// bound reaches the limit (less the rounding allowance) has its points tested
// exactly, in order, as the plain walk tests them. A block so tested takes
// the new chord as its reference. Above the blocks, one summary bounds all
// whole groups of the span and one the closed blocks of the open group, so
// that a step whose chord turns little checks three bounds. The first point
// at or beyond the limit is therefore the plain walk's, and the kept points
// are the same.
class LongSpans {
 public:
  // For the positions p[0] ... p[n - 1] (n >= 3) and the limit; readies the
  // buffers of `work`, which must outlive this object.
  LongSpans(const _GeoPoint<double>* p, std::size_t n, double deviationLimit,
            ChordalWork& work);

  // The first j in anchor + 1 ... i with p[j] at least the limit from
  // `line`, or n when there is none. The steps of one anchor come in
  // increasing i; each step the walk passes over is told by skip(i).
  QUAX_SPANS_INLINE std::size_t firstReaching(std::size_t anchor, std::size_t i,
                                              const ChordLine& line);

  // Step i was passed over (the next point lies on the anchor): p[i] joins
  // no bound there, so its block is tested point by point when next needed.
  void skip(std::size_t i);

  // The limit less the rounding of the deviations, below which a bound
  // passes its points untested.
  double below() const noexcept { return _below; }

 private:
  using Point = _GeoPoint<double>;
  using Vector = _MathVector<double>;

  // Blocks of 2^kBlockShift points, groups of 2^kGroupShift blocks.
  static constexpr std::size_t kBlockShift = 3;
  static constexpr std::size_t kBlockMask = (std::size_t{1} << kBlockShift) - 1;
  static constexpr std::size_t kGroupShift = 3;

  // One step: its anchor and last point, its chord line, and the first point
  // found to reach the limit (n while none is).
  struct Step {
    std::size_t anchor;
    std::size_t i;
    const ChordLine& line;
    std::size_t hit;
  };

  // The deviation of `q` from the line through `origin` along the unit `u`,
  // as the projection computes it.
  static double deviationFrom(const Point& origin, const Vector& u,
                              const Point& q) {
    return std::sqrt(squaredDeviationFrom(origin, u, q));
  }

  // A bound with the step's chord as its reference, of deviations up to
  // `largest` (each bound with its own rounding, so the regrouping adds its
  // own allowance) and squared reaches up to `reach`.
  ChordBlock summary(const Step& step, double largest, double reach) const {
    const Vector& u = step.line.direction;
    return ChordBlock{u.x(), u.y(),
                      u.z(), largest * (1.0 + kBoundSlack) + _rounding,
                      reach, step.anchor};
  }

  QUAX_SPANS_INLINE void join(const Step& step);
  QUAX_SPANS_INLINE bool holds(const ChordBlock& unit, const Step& step,
                               double* bound) const;
  QUAX_SPANS_INLINE bool blockReaches(std::size_t b, Step& step, double* bound);
  QUAX_SPANS_INLINE bool blocksReach(std::size_t from, std::size_t to,
                                     ChordBlock& unit, Step& step);
  QUAX_SPANS_INLINE void wholeGroupsReach(std::size_t firstBlock,
                                          std::size_t openGroup, Step& step);

  const _GeoPoint<double>* _p;
  std::size_t _none;  // n: no anchor, no point
  DistanceBound _deviation;
  double _rounding;
  double _below;  // a bound below this passes its points untested
  ChordalWork& _work;
  ChordBlock* _blocks;  // the buffers of _work, sized for the line
  ChordBlock* _groups;
};

// p[i] joins the span and its block: the first point of a block (or of the
// span) starts its bound, later ones widen it while it holds for the anchor.
QUAX_SPANS_INLINE void LongSpans::join(const Step& step) {
  const std::size_t i = step.i;
  const Point& origin = step.line.origin;
  const Vector& u = step.line.direction;
  ChordBlock& block = _blocks[i >> kBlockShift];
  const double reach = squaredLength(_p[i] - origin);
  if (i == step.anchor + 1 || (i & kBlockMask) == 0) {
    block =
        ChordBlock{u.x(), u.y(),      u.z(), deviationFrom(origin, u, _p[i]),
                   reach, step.anchor};
  } else if (block.anchor == step.anchor) {
    const Vector reference(block.ux, block.uy, block.uz);
    block.deviation =
        maxOrNaN(block.deviation, deviationFrom(origin, reference, _p[i]));
    block.reachSquared = maxOrNaN(block.reachSquared, reach);
  }
}

// Whether `unit` (a block, a group or a summary) holds for this anchor and
// its bound stays below the limit; `bound`, when given, receives that bound
// of its deviations from the chord.
QUAX_SPANS_INLINE bool LongSpans::holds(const ChordBlock& unit,
                                        const Step& step, double* bound) const {
  if (unit.anchor != step.anchor) return false;
  const double turn = turnFrom(step.line.direction, unit.ux, unit.uy, unit.uz);
  return turnedBoundHolds(unit.deviation, unit.reachSquared, turn, _below,
                          bound);
}

// Tests block b: false when its bound stays below the limit or its points,
// tested one by one as the plain walk tests them, do; true when a point
// reaches the limit (step.hit is then set). `bound` receives an upper bound
// of the block's deviations from the chord.
QUAX_SPANS_INLINE bool LongSpans::blockReaches(std::size_t b, Step& step,
                                               double* bound) {
  ChordBlock& block = _blocks[b];
  if (holds(block, step, bound)) return false;
  const std::size_t start = b << kBlockShift;
  const std::size_t first = start > step.anchor + 1 ? start : step.anchor + 1;
  const std::size_t last =
      start + kBlockMask < step.i ? start + kBlockMask : step.i;
  const ChordLine& line = step.line;
  double largest = 0.0;
  double reach = 0.0;
  for (std::size_t j = first; j <= last; ++j) {
    const Vector off = _p[j] - line.project(_p[j]);
    if (_deviation.reachedBy(off)) {
      step.hit = j;
      return true;
    }
    largest = maxOrNaN(largest, squaredLength(off));
    reach = maxOrNaN(reach, squaredLength(_p[j] - line.origin));
  }
  const Vector& u = line.direction;
  block =
      ChordBlock{u.x(), u.y(), u.z(), std::sqrt(largest), reach, step.anchor};
  if (bound) *bound = block.deviation;
  return false;
}

// Tests blocks from ... to - 1 in order, as blockReaches does, and bounds
// them afresh as one unit unless a point reaches the limit.
QUAX_SPANS_INLINE bool LongSpans::blocksReach(std::size_t from, std::size_t to,
                                              ChordBlock& unit, Step& step) {
  double largest = 0.0;
  double reach = 0.0;
  double bound = 0.0;
  for (std::size_t b = from; b < to; ++b) {
    if (blockReaches(b, step, &bound)) return true;
    largest = maxOrNaN(largest, bound);
    reach = maxOrNaN(reach, _blocks[b].reachSquared);
  }
  unit = summary(step, largest, reach);
  return false;
}

// The whole groups of the span, those before `openGroup`, each passed over
// by its bound while it holds, else tested block by block and bounded
// afresh; then summarized as one unless a point reaches the limit.
QUAX_SPANS_INLINE void LongSpans::wholeGroupsReach(std::size_t firstBlock,
                                                   std::size_t openGroup,
                                                   Step& step) {
  double largest = 0.0;
  double reach = 0.0;
  for (std::size_t g = firstBlock >> kGroupShift; g < openGroup; ++g) {
    ChordBlock& group = _groups[g];
    double bound = 0.0;
    if (!holds(group, step, &bound)) {
      const std::size_t start = g << kGroupShift;
      const std::size_t from = start > firstBlock ? start : firstBlock;
      if (blocksReach(from, (g + 1) << kGroupShift, group, step)) return;
      bound = group.deviation;
    }
    largest = maxOrNaN(largest, bound);
    reach = maxOrNaN(reach, group.reachSquared);
  }
  _work.whole = summary(step, largest, reach);
  _work.wholeEnd = openGroup;
}

// The span's points fall in three parts: whole groups of blocks, the closed
// blocks of the open group, and the block of p[i]. The whole groups are
// passed over by one summary of them all and the closed blocks by one of
// theirs while those hold; a part whose summary does not is tested unit by
// unit and summarized afresh.
QUAX_SPANS_INLINE std::size_t LongSpans::firstReaching(std::size_t anchor,
                                                       std::size_t i,
                                                       const ChordLine& line) {
  Step step{anchor, i, line, _none};
  join(step);
  const std::size_t firstBlock = (anchor + 1) >> kBlockShift;
  const std::size_t lastBlock = i >> kBlockShift;
  const std::size_t openGroup = lastBlock >> kGroupShift;
  ChordalWork& work = _work;
  if ((firstBlock >> kGroupShift) < openGroup &&
      !(work.wholeEnd == openGroup && holds(work.whole, step, nullptr))) {
    wholeGroupsReach(firstBlock, openGroup, step);
    if (step.hit != _none) return step.hit;
  }
  const std::size_t start = openGroup << kGroupShift;
  const std::size_t from = start > firstBlock ? start : firstBlock;
  if (from < lastBlock &&
      !(work.closedEnd == lastBlock && holds(work.closed, step, nullptr))) {
    if (blocksReach(from, lastBlock, work.closed, step)) return step.hit;
    work.closedEnd = lastBlock;
  }
  blockReaches(lastBlock, step, nullptr);
  return step.hit;
}

}  // namespace QUAX

#endif  // QUAX_SCAN_FILTERS_CHORDAL_LONGSPANS_H_
