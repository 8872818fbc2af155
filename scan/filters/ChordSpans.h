// SPDX-License-Identifier: MIT
// Internal: the chordal deviation thinning's test of long spans, inlined
// into the one-lane and the four-lane walk alike.
#ifndef QUAX_SCAN_FILTERS_CHORDSPANS_H_
#define QUAX_SCAN_FILTERS_CHORDSPANS_H_

#include <cmath>
#include <cstddef>

#include "geomath/GeoPoint.h"
#include "geomath/MathVector.h"
#include "scan/filters/ChordalDeviation.h"
#include "scan/filters/FilterGeometry.h"

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
class ChordSpans {
 public:
  // For the positions p[0] ... p[n - 1] (n >= 3) and the limit; readies the
  // buffers of `work`, which must outlive this object.
  ChordSpans(const _GeoPoint<double>* p, std::size_t n, double deviationLimit,
             ChordalWork& work);

  // The first j in anchor + 1 ... i with p[j] at least the limit from
  // `line`, or n when there is none. The steps of one anchor come in
  // increasing i; each step the walk passes over is told by skip(i).
  QUAX_SPANS_INLINE std::size_t firstReaching(std::size_t anchor, std::size_t i,
                                              const ChordLine& line);

  // Step i was passed over (the next point lies on the anchor): p[i] joins
  // no bound there, so its block is tested point by point when next needed.
  void skip(std::size_t i);

 private:
  using Point = _GeoPoint<double>;
  using Vector = _MathVector<double>;

  // Blocks of 2^kBlockShift points, groups of 2^kGroupShift blocks.
  static constexpr std::size_t kBlockShift = 3;
  static constexpr std::size_t kBlockMask = (std::size_t{1} << kBlockShift) - 1;
  static constexpr std::size_t kGroupShift = 3;
  // A relative allowance for the rounding of the bound itself.
  static constexpr double kBoundSlack = 1e-9;

  // The larger of two values, not a number when either is not: a block with
  // a coordinate that is not a number is then always tested point by point.
  // Written to compile to selects rather than branches, whose outcomes
  // follow the data.
  static double maxOf(double a, double b) {
    const double larger = a > b ? a : b;  // b when either is not a number
    return a == a ? larger : a;
  }

  // The squared turn |u - reference| of a chord from a block's reference.
  static double turnOf(const Vector& u, const ChordBlock& block) {
    const double tx = u.x() - block.ux;
    const double ty = u.y() - block.uy;
    const double tz = u.z() - block.uz;
    return tx * tx + ty * ty + tz * tz;
  }

  // The deviation of `q` from the line through `origin` along the unit `u`,
  // as the projection computes it.
  static double deviationFrom(const Point& origin, const Vector& u,
                              const Point& q) {
    const Point foot = origin + u * ((q - origin).dot(u));
    return std::sqrt(squaredLength(q - foot));
  }

  const _GeoPoint<double>* _p;
  std::size_t _none;  // n: no anchor, no point
  DistanceBound _deviation;
  double _rounding;
  double _below;  // a bound below this passes its points untested
  ChordalWork& _work;
};

// Per step the chord from the anchor to the next point changes; each block of
// the span checks its bound against the new chord, and only a block whose
// bound reaches the limit (less the rounding allowance) has its points tested
// exactly, in order, as the plain walk tests them. A block so tested takes
// the new chord as its reference. Above the blocks, one summary bounds all
// whole groups of the span and one the closed blocks of the open group, so
// that a step whose chord turns little checks three bounds. The first point
// at or beyond the limit is therefore the plain walk's, and the kept points
// are the same.
QUAX_SPANS_INLINE std::size_t ChordSpans::firstReaching(std::size_t anchor,
                                                        std::size_t i,
                                                        const ChordLine& line) {
  const Point* p = _p;
  const std::size_t none = _none;
  const DistanceBound& deviation = _deviation;
  const double rounding = _rounding;
  const double below = _below;
  ChordalWork& work = _work;
  ChordBlock* blocks = work.blocks.data();
  ChordBlock* groups = work.groups.data();
  const Point& origin = line.origin;
  const Vector& u = line.direction;

  // p[i] joins the span and its block.
  {
    ChordBlock& block = blocks[i >> kBlockShift];
    const double reach = squaredLength(p[i] - origin);
    if (i == anchor + 1 || (i & kBlockMask) == 0) {
      block = ChordBlock{u.x(), u.y(), u.z(), deviationFrom(origin, u, p[i]),
                         reach, anchor};
    } else if (block.anchor == anchor) {
      const Vector reference(block.ux, block.uy, block.uz);
      block.deviation =
          maxOf(block.deviation, deviationFrom(origin, reference, p[i]));
      block.reachSquared = maxOf(block.reachSquared, reach);
    }
  }

  // Whether `unit` (a block, a group or a summary) holds for this anchor
  // and its bound stays below the limit; `bound`, when given, receives
  // that bound of its deviations from the chord.
  auto holds = [&](const ChordBlock& unit, double* bound) {
    if (unit.anchor != anchor) return false;
    const double slack = below - unit.deviation;
    const double drift = unit.reachSquared * turnOf(u, unit);
    if (!(slack > 0.0 && drift < slack * slack * (1.0 - kBoundSlack))) {
      return false;
    }
    if (bound) *bound = unit.deviation + std::sqrt(drift);
    return true;
  };

  // Tests block b: false when its bound stays below the limit or its
  // points, tested one by one, do; true when a point reaches the limit
  // (`hit` is then set). `bound` receives an upper bound of the block's
  // deviations from the chord.
  std::size_t hit = none;
  auto blockReaches = [&](std::size_t b, double* bound) {
    ChordBlock& block = blocks[b];
    if (holds(block, bound)) return false;
    // The points of the block in the span, tested as the plain walk does.
    const std::size_t first =
        b << kBlockShift > anchor + 1 ? b << kBlockShift : anchor + 1;
    const std::size_t last = (b << kBlockShift) + kBlockMask < i
                                 ? (b << kBlockShift) + kBlockMask
                                 : i;
    double largest = 0.0;
    double reach = 0.0;
    for (std::size_t j = first; j <= last; ++j) {
      const Vector off = p[j] - line.project(p[j]);
      if (deviation.reachedBy(off)) {
        hit = j;
        return true;
      }
      largest = maxOf(largest, squaredLength(off));
      reach = maxOf(reach, squaredLength(p[j] - origin));
    }
    block = ChordBlock{u.x(), u.y(), u.z(), std::sqrt(largest), reach, anchor};
    if (bound) *bound = block.deviation;
    return false;
  };

  // Tests blocks from ... to - 1 in order, as blockReaches does, and
  // bounds them afresh as one unit (the chord is its reference) unless a
  // point reaches the limit. Bounds of bounds: each regrouping adds its
  // own rounding allowance.
  auto blocksReach = [&](std::size_t from, std::size_t to, ChordBlock& unit) {
    double largest = 0.0;
    double reach = 0.0;
    double bound = 0.0;
    for (std::size_t b = from; b < to; ++b) {
      if (blockReaches(b, &bound)) return true;
      largest = maxOf(largest, bound);
      reach = maxOf(reach, blocks[b].reachSquared);
    }
    unit = ChordBlock{u.x(), u.y(),
                      u.z(), largest * (1.0 + kBoundSlack) + rounding,
                      reach, anchor};
    return false;
  };

  // The span's points fall in three parts: whole groups of blocks, the
  // closed blocks of the open group, and the block of p[i]. The whole
  // groups are passed over by one summary of them all and the closed
  // blocks by one of theirs while those hold; a part whose summary does
  // not is tested unit by unit and summarized afresh.
  const std::size_t firstBlock = (anchor + 1) >> kBlockShift;
  const std::size_t lastBlock = i >> kBlockShift;
  const std::size_t firstGroup = firstBlock >> kGroupShift;
  const std::size_t openGroup = lastBlock >> kGroupShift;
  if (firstGroup < openGroup &&
      !(work.wholeEnd == openGroup && holds(work.whole, nullptr))) {
    double largest = 0.0;
    double reach = 0.0;
    for (std::size_t g = firstGroup; g < openGroup; ++g) {
      ChordBlock& group = groups[g];
      double bound = 0.0;
      if (!holds(group, &bound)) {
        const std::size_t from =
            g << kGroupShift > firstBlock ? g << kGroupShift : firstBlock;
        if (blocksReach(from, (g + 1) << kGroupShift, group)) break;
        bound = group.deviation;
      }
      largest = maxOf(largest, bound);
      reach = maxOf(reach, group.reachSquared);
    }
    if (hit == none) {
      work.whole = ChordBlock{u.x(), u.y(),
                              u.z(), largest * (1.0 + kBoundSlack) + rounding,
                              reach, anchor};
      work.wholeEnd = openGroup;
    }
  }
  if (hit == none) {
    const std::size_t from = openGroup << kGroupShift > firstBlock
                                 ? openGroup << kGroupShift
                                 : firstBlock;
    if (from < lastBlock &&
        !(work.closedEnd == lastBlock && holds(work.closed, nullptr))) {
      if (!blocksReach(from, lastBlock, work.closed)) {
        work.closedEnd = lastBlock;
      }
    }
  }
  if (hit == none) blockReaches(lastBlock, nullptr);
  return hit;
}

}  // namespace QUAX

#endif  // QUAX_SCAN_FILTERS_CHORDSPANS_H_
