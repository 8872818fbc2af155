// SPDX-License-Identifier: MIT
// The chordal trials off a plane: steps bounded from the offsets of their
// points from the anchor, one at a time or four at once, and decided point
// by point where a bound does not pass a limit.
#include <cmath>
#include <limits>

#include "scan/filters/Rounding.h"
#include "scan/filters/chordal/ChordalTrials.h"
#include "scan/filters/chordal/DeviationSweeps.h"
#include "scan/filters/chordal/TurnChain.h"
#include "scan/filters/simd/Lanes.h"

namespace QUAX {

// Off the plane: bounds the step, whose chord has the squared length
// `squared`, from |q|^2 |c|^2 - (q.c)^2 on the offsets q of its points from
// the anchor (made once per anchor as its steps are met), and keeps the
// bound where a limit is in the band (`passBelow`, its surelyBelow, above
// 0): half the operations of the chord line's sweep per point, and no root.
// Divided by |c|^2, the products differ from the chord line's sums by at
// most kOffsetSquareUlps eps |q|^2 + r (2 |q| + r), r the rounding of one
// deviation and |q| at most the path walked from the anchor. A bound that
// does not pass a limit leaves the step to passesByOffsets.
bool ChordalTrials::boundByOffsets(AnchorMemo& memo, std::size_t anchor,
                                   std::size_t step,
                                   const _MathVector<double>& chord,
                                   double squared, double passBelow) {
  if (!(passBelow > 0.0)) return false;
  takeOffsetsUpTo(anchor, step);
  const double bound = offsetBound(
      anchor, step,
      largestOffsetSquare(offsets(), chord.x(), chord.y(), chord.z(), squared,
                          anchor + 1, step + 1, _wide),
      squared);
  const std::size_t k = step - anchor - 1;
  infoOf(memo)[k].bounded = true;
  largestOf(memo)[k] = bound;
  return true;
}

// The offsets from the anchor of the points up to `step`, for boundByOffsets
// and sweepAhead (kept while the steps met are the same anchor's).
void ChordalTrials::takeOffsetsUpTo(std::size_t anchor, std::size_t step) {
  if (_offsetsAnchor != anchor) {
    _offsetsAnchor = anchor;
    _offsetsTo = anchor + 1;
  }
  if (_offsetsTo > step) return;
  takeOffsets(_xs.data(), _ys.data(), _zs.data(), _xs[anchor], _ys[anchor],
              _zs[anchor], _offsetsTo, step + 1, offsets(), _wide);
  _offsetsTo = step + 1;
}

// The bound of the step's largest sum from the largest product that
// largestOffsetSquare gives it and the chord's squared length (see
// boundByOffsets).
double ChordalTrials::offsetBound(std::size_t anchor, std::size_t step,
                                  double largest, double squared) const {
  return offsetBoundOf(largest, squared, reachOf(anchor, step),
                       _turnRounding);
}

// Off the plane with four lanes: sweeps the unmeasured steps of `anchor`
// from index k on, four at a time, keeping their bounds as boundByOffsets
// does, as long as they pass the limit: a step whose bound does not pass is
// left to passSteps, which decides it point by point. Returns the index to
// go on from (that step's): k itself where the steps
// there do not suit the sweep (fewer than two in a row, not all shorter
// than TurnChain's, or chords not clear), for measure.
std::size_t ChordalTrials::sweepAhead(std::size_t anchor, std::size_t k,
                                      const Limit& limit, Passage& passage) {
#ifdef QUAX_WIDE_LANES
  AnchorMemo& memo = _anchors[anchor];
  const std::size_t known = memo.known;
  const std::size_t base = anchor + 1;
  for (;;) {
    // Step index k covers k + 1 points.
    if (k + 4 >= TurnChain::kFewestPoints) return k;
    std::size_t count = 1;
    while (count < 4 && k + count < known &&
           std::isnan(largestOf(memo)[k + count])) {
      ++count;
    }
    if (count < 2) return k;
    takeOffsetsUpTo(anchor, base + k + count - 1);
    FourOffsetSweep sweep;
    sweep.xs = _xs.data();
    sweep.ys = _ys.data();
    sweep.zs = _zs.data();
    sweep.offsets = offsets();
    sweep.walked = _walked.data();
    sweep.walkedRoom = _walkedRoom;
    sweep.rounding = _turnRounding;
    sweep.anchor = anchor;
    sweep.firstStep = base + k;
    sweep.count = count;
    sweep.chordLow = _chordLow;
    sweep.chordHigh = _chordHigh;
    double bounds[4];
    const std::size_t clear = sweepFourOffsetSteps(sweep, bounds);
    if (clear < 2) return k;
    // Every bound is kept; a step whose bound does not pass the limit is
    // decided by passSteps, point by point.
    for (std::size_t c = 0; c < clear; ++c) {
      StepInfo& info = infoOf(memo)[k + c];
      info.start();
      info.bounded = true;
      largestOf(memo)[k + c] = bounds[c];
    }
    for (std::size_t c = 0; c < clear; ++c, ++k) {
      if (!(bounds[c] < limit.surelyBelow)) return k;
      passage.passed = bounds[c] > passage.passed ? bounds[c] : passage.passed;
    }
    if (k >= known || !std::isnan(largestOf(memo)[k])) return k;
  }
#else
  (void)anchor;
  (void)limit;
  (void)passage;
  return k;
#endif
}

// Off the plane: whether step `step` from `anchor`, whose bound does not pass
// the limit, passes it. Each point's own offsets bound its sum
// (firstBoundReaching); the chord line measures only the points whose bound
// does not pass the limit, in order, up to the first that reaches it: that
// point ends the span (passage.reached, as reachOffPlane finds it, with the
// largest of the sums and bounds before it as the lowest limit that finds
// it first). A step that passes keeps the largest of the sums measured and
// the other points' bounds as its bound.
bool ChordalTrials::passesByOffsets(AnchorMemo& memo, std::size_t anchor,
                                    std::size_t step, const Limit& limit,
                                    Passage& passage) {
  const _MathVector<double> chord = _p[step + 1] - _p[anchor];
  const std::size_t points = step - anchor;
  PointBoundsSweep sweep;
  sweep.xs = _xs.data();
  sweep.ys = _ys.data();
  sweep.zs = _zs.data();
  sweep.ox = _xs[anchor];
  sweep.oy = _ys[anchor];
  sweep.oz = _zs[anchor];
  sweep.cx = chord.x();
  sweep.cy = chord.y();
  sweep.cz = chord.z();
  sweep.cc = squaredLength(chord);
  sweep.reach = reachOf(anchor, step);
  sweep.rounding = _turnRounding;
  const ChordLine line(_p[anchor], chord, chord.length());
  double before = -std::numeric_limits<double>::infinity();
  for (std::size_t j = 0;; ++j) {
    j = firstBoundReaching(sweep, anchor + 1 + j, step + 1, limit.surelyBelow,
                           before, _wide) -
        (anchor + 1);
    if (j == points) break;
    const double sum = squaredDeviation(_xs.data(), _ys.data(), _zs.data(),
                                        anchor + 1 + j, line);
    if (sum >= limit.surelyBelow &&
        (sum >= limit.highSquare || std::sqrt(sum) >= limit.value)) {
      passage.reached.index = anchor + 1 + j;
      passage.reached.lowest =
          before == -std::numeric_limits<double>::infinity()
              ? before
              : before * (1.0 + kRootSquareMargin);
      passage.reached.highest = sum * (1.0 - kRootSquareMargin);
      return false;
    }
    before = sum > before ? sum : before;
  }
  largestOf(memo)[step - anchor - 1] = before;
  return true;
}

}  // namespace QUAX
