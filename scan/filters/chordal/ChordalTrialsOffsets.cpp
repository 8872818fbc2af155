// SPDX-License-Identifier: MIT
// The chordal trials off a plane: steps bounded from the offsets of their
// points from the anchor, one at a time or four at once.
#include <cmath>

#include "scan/filters/Rounding.h"
#include "scan/filters/chordal/ChordalTrials.h"
#include "scan/filters/chordal/DeviationSweeps.h"
#include "scan/filters/chordal/TurnChain.h"
#include "scan/filters/simd/Lanes.h"

namespace QUAX {

// Off the plane: bounds the step, whose chord has the squared length
// `squared`, from |q|^2 |c|^2 - (q.c)^2 on the offsets q of its points from
// the anchor (made once per anchor as its steps are met), and keeps the bound
// when it passes below `passBelow`, as boundByTurn does: half the operations
// of the chord line's sweep per point, and no root. Divided by |c|^2, the
// products differ from the chord line's sums by at most
// kOffsetSquareUlps eps |q|^2 + r (2 |q| + r), r the rounding of one
// deviation and |q| at most the path walked from the anchor. A step the bound
// leaves in doubt is measured by the chord line, whose sums the step's end
// needs anyway.
bool ChordalTrials::sweptBelow(AnchorMemo& memo, std::size_t anchor,
                               std::size_t step,
                               const _MathVector<double>& chord, double squared,
                               double passBelow) {
  if (!(passBelow > 0.0)) return false;
  takeOffsetsUpTo(anchor, step);
  const double bound = offsetBound(
      anchor, step,
      largestOffsetSquare(offsets(), chord.x(), chord.y(), chord.z(), squared,
                          anchor + 1, step + 1, _wide),
      squared);
  if (!(bound < passBelow)) return false;
  const std::size_t k = step - anchor - 1;
  infoOf(memo)[k].bounded = true;
  largestOf(memo)[k] = bound;
  return true;
}

// The offsets from the anchor of the points up to `step`, for sweptBelow and
// sweepAhead (kept while the steps met are the same anchor's).
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
// sweptBelow).
double ChordalTrials::offsetBound(std::size_t anchor, std::size_t step,
                                  double largest, double squared) const {
  return offsetBoundOf(largest, squared,
                       _walked[step] - _walked[anchor] + _walkedRoom,
                       _turnRounding);
}

// Off the plane with four lanes: sweeps the unmeasured steps of `anchor`
// from index k on, four at a time, keeping their bounds as sweptBelow does
// while they pass the limit; a step whose bound does not pass is measured by
// the chord line. Returns the index to go on from: k itself where the steps
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
    for (std::size_t c = 0; c < clear; ++c, ++k) {
      const double bound = bounds[c];
      if (!(bound < limit.surelyBelow)) {
        measure(anchor, base + k);
        return k;
      }
      StepInfo& info = infoOf(memo)[k];
      info.start();
      info.bounded = true;
      largestOf(memo)[k] = bound;
      passage.passed = bound > passage.passed ? bound : passage.passed;
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

}  // namespace QUAX
