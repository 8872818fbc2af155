// SPDX-License-Identifier: MIT
#include "scan/filters/chordal/ChordalTrials.h"

#include <cmath>
#include <limits>

#include "geomath/MathErrors.h"
#include "scan/filters/FilterGeometry.h"
#include "scan/filters/Rounding.h"
#include "scan/filters/chordal/DeviationSweeps.h"
#include "scan/filters/chordal/Walk.h"
#include "scan/filters/simd/Lanes.h"

namespace QUAX {

namespace {

using Point = _GeoPoint<double>;
using Vector = _MathVector<double>;

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kUnmeasured = std::numeric_limits<double>::quiet_NaN();

// Off the plane, steps of fewer points met one at a time are measured by
// the chord line at once: on them the offsets' bound saves less than it
// costs. Four at a time (sweepAhead) it pays from the first step on.
constexpr std::size_t kFewestSwept = 8;

}  // namespace

void ChordalTrials::reset(const Point* p, std::size_t n, bool wide) {
  for (const std::uint32_t a : _touched) {
    AnchorMemo& memo = _anchors[a];
    memo.known = 0;
    memo.from = kNoSpan;
    _chains[a].last = TurnChain::kNone;
  }
  _touched.clear();
  _stepsUsed = 0;
  if (_anchors.size() < n) {
    _anchors.resize(n);
    _chains.resize(n);
  }
  // Room for the four-lane sweep's last group past the end.
  _xs.resize(n + 4, 0.0);
  _ys.resize(n + 4, 0.0);
  _zs.resize(n + 4, 0.0);
  _squares.resize(n + 4);
  _qx.resize(n + 4, 0.0);
  _qy.resize(n + 4, 0.0);
  _qz.resize(n + 4, 0.0);
  _qq.resize(n + 4, 0.0);
  _offsetsAnchor = kNoSpan;
  _squaresAnchor = n;  // none
  _squaresStep = n;
  // One pass over the positions for their copy by axis and what choosePlane
  // needs: per axis whether every point has the first one's value and the
  // lowest and highest value (skipping values that are not numbers), and
  // whether every coordinate is finite.
  const double first[3] = {p[0].x(), p[0].y(), p[0].z()};
  Box box;
  for (int axis = 0; axis < 3; ++axis) {
    box.low[axis] = first[axis];
    box.high[axis] = first[axis];
  }
  bool same[3] = {true, true, true};
  bool finite = true;
  for (std::size_t i = 0; i < n; ++i) {
    const double value[3] = {p[i].x(), p[i].y(), p[i].z()};
    _xs[i] = value[0];
    _ys[i] = value[1];
    _zs[i] = value[2];
    for (int axis = 0; axis < 3; ++axis) {
      const double v = value[axis];
      same[axis] = same[axis] & (v == first[axis]);
      box.low[axis] = v < box.low[axis] ? v : box.low[axis];
      box.high[axis] = v > box.high[axis] ? v : box.high[axis];
      finite = finite & (v - v == 0.0);  // not for infinity or not a number
    }
  }
  box.finite = finite;
  _p = p;
  _n = n;
#ifdef QUAX_WIDE_LANES
  _wide = wide && fusedLanesSupported();
#else
  (void)wide;
#endif
  choosePlane(box, same);
  if (_turnBounds && _planeA == nullptr) walkPath();
}

// Measures step `step` from `anchor` as the plain walk tests it: the chord's
// span first, then a chord on the anchor passed over, then the largest
// deviation of the points since the anchor, kept as its sum of squares: the
// distance DistanceBound compares is the square root of that sum, which is
// correctly rounded and monotonic, so "root of the largest >= limit" is the
// plain walk's "some point reaches the limit". The roots are taken only
// where a limit comes close (see run), and the first point that reaches a
// limit later, for the steps that end a span (see reachOffPlane; in the
// plane, reachInPlane).
void ChordalTrials::measure(std::size_t anchor, std::size_t step,
                            double passBelow) {
  AnchorMemo& memo = _anchors[anchor];
  const std::size_t k = step - anchor - 1;
  StepInfo& info = infoOf(memo)[k];
  info.start();
  // The chord's length is compared by its square where that decides; a
  // length that is not a number reaches nothing and passes every test.
  // Squares strictly between _chordLow and _chordHigh (narrower in a tilted
  // plane, see setSpan) pass all three tests at once, as most do.
  const Vector chord = _p[step + 1] - _p[anchor];
  const double squared = squaredLength(chord);
  const bool clear = squared > _chordLow && squared < _chordHigh;
  const bool tested = !clear && squared == squared;
  if (tested && _spanReached.reachedBy(chord)) {
    info.kind = StepKind::kSpan;
    largestOf(memo)[k] = kInfinity;
    return;
  }
  if (tested && !_epsilonReached.reachedBy(chord)) {
    largestOf(memo)[k] = -kInfinity;
    return;
  }
  if (tested && !_toleranceReached.reachedBy(chord)) {
    info.kind = StepKind::kFault;  // ChordLine throws EMathZeroVector
    largestOf(memo)[k] = kInfinity;
    return;
  }
  // In a plane, the chord's squared length there (in a coordinate plane,
  // the same sum as `squared`); in a tilted plane, a chord too short for its
  // room is measured by the chord line.
  if (_planeA != nullptr) {
    const double ca = _planeA[step + 1] - _planeA[anchor];
    const double cb = _planeB[step + 1] - _planeB[anchor];
    const double flat = ca * ca + cb * cb;
    if (!_tilted || flat > _chordLow) {
      largestOf(memo)[k] = planeBound(anchor, step, flat);
      return;
    }
  }
  // Off the plane, a step is bounded where the run has a limit in the band:
  // long ones from the anchor's TurnChain where that passes the limit (a
  // long step the chain leaves in doubt is measured by the chord line and
  // becomes the chain's reference, which bounds the next steps at a few
  // operations each), the others by their offsets, which passSteps decides
  // point by point where they do not pass (passesByOffsets).
  const bool turns = _turnBounds && _planeA == nullptr;
  const std::size_t points = step - anchor;
  if (turns && points >= kFewestSwept && points < TurnChain::kFewestPoints &&
      boundByOffsets(memo, anchor, step, chord, squared, passBelow)) {
    return;
  }
  const double span = chord.length();
  const ChordLine line(_p[anchor], chord, span);
  if (turns && points >= TurnChain::kFewestPoints &&
      boundByTurn(memo, anchor, step, line, passBelow)) {
    return;
  }
  const double largest =
      largestSquaredDeviation(_xs.data(), _ys.data(), _zs.data(), anchor + 1,
                              step + 1, line, _squares.data(), _wide);
  _squaresAnchor = anchor;
  _squaresStep = step;
  largestOf(memo)[k] = largest;
  if (turns) _chains[anchor].restart(line, largest, step);
}

// Off the plane: bounds the step by the anchor's TurnChain, joining the
// points since its last to it, and keeps the bound when it passes below
// `passBelow` (a limit's surelyBelow): the step then passes that limit, and
// a later run whose limit the bound does not pass bounds it again or
// measures it point by point (see passSteps).
bool ChordalTrials::boundByTurn(AnchorMemo& memo, std::size_t anchor,
                                std::size_t step, const ChordLine& line,
                                double passBelow) {
  TurnChain& chain = _chains[anchor];
  if (!_turnBounds || !(passBelow > 0.0) || chain.last == TurnChain::kNone) {
    return false;
  }
  if (chain.last < step) {
    const ChordLine reference(_p[anchor], Vector(chain.ux, chain.uy, chain.uz));
    while (chain.last < step) {
      chain.join(squaredDeviation(_xs.data(), _ys.data(), _zs.data(),
                                  chain.last + 1, reference));
    }
  }
  const double reach = reachOf(anchor, chain.last);
  const double bound = chain.boundSquare(line.direction, reach, _turnRounding);
  if (!(bound < passBelow)) return false;
  const std::size_t k = step - anchor - 1;
  infoOf(memo)[k].bounded = true;
  largestOf(memo)[k] = bound;
  return true;
}

// Off the plane, for TurnChain: the path length from p[0] to each point,
// with room for the rounding of its sums and roots (a few units in the last
// place per segment, taken as 4 per point of the whole path).
void ChordalTrials::walkPath() {
  // Room for the four-lane sweep's last group past the end.
  if (_walked.size() < _n + 4) _walked.resize(_n + 4, 0.0);
  double walked = 0.0;
  _walked[0] = 0.0;
  for (std::size_t j = 1; j < _n; ++j) {
    walked += (_p[j] - _p[j - 1]).length();
    _walked[j] = walked;
  }
  _walkedRoom = walked * 4.0 * static_cast<double>(_n + 1) * kEpsilon;
}

// measure() for a line in the plane, where the chord's squared length is
// surely clear of the span and of the tolerances: the usual case, without
// the tests that set the others apart. Its components are the chord's,
// and the one left out is 0, so the sum is the one the tests take.
void ChordalTrials::measureInPlane(std::size_t anchor, std::size_t step) {
  const double ca = _planeA[step + 1] - _planeA[anchor];
  const double cb = _planeB[step + 1] - _planeB[anchor];
  const double squared = ca * ca + cb * cb;
  if (!(squared > _chordLow && squared < _chordHigh)) {
    measure(anchor, step);
    return;
  }
  AnchorMemo& memo = _anchors[anchor];
  const std::size_t k = step - anchor - 1;
  infoOf(memo)[k].start();
  largestOf(memo)[k] = planeBound(anchor, step, squared);
}

// measureInPlane for `count` (at most four) unmeasured steps that follow each
// other from step base + k on, base being anchor + 1: with the four-lane
// sweeps, all at once over the points they share, with the same values.
void ChordalTrials::measureSteps(std::size_t anchor, std::size_t k,
                                 std::size_t count) {
  const std::size_t base = anchor + 1;
#ifdef QUAX_WIDE_LANES
  if (_wide) {
    // Set field by field: a brace-initialized sweep is cleared as a block
    // first (a string instruction that costs more than the sweep's setup).
    FourStepSweep sweep;
    sweep.a = _planeA;
    sweep.b = _planeB;
    sweep.anchor = anchor;
    sweep.firstStep = base + k;
    sweep.count = count;
    sweep.chordLow = _chordLow;
    sweep.chordHigh = _chordHigh;
    sweep.allowance = _planeAllowance;
    sweep.room = _planeRoom;
    sweep.factor = kPlaneBoundFactor;
    double bounds[4];
    const std::size_t clear = measureFourSteps(sweep, bounds);
    if (clear >= 2) {
      AnchorMemo& memo = _anchors[anchor];
      for (std::size_t c = 0; c < clear; ++c) {
        infoOf(memo)[k + c].start();
        largestOf(memo)[k + c] = bounds[c];
      }
      return;
    }
  }
#endif
  (void)count;
  measureInPlane(anchor, base + k);
}

// In the plane, an upper bound of the largest sum of step `step` from
// `anchor`, whose chord's squared length is `squared`, from the cross
// products (see choosePlane), above it by a few parts in 1e9 at most: where
// a limit's square reaches it, the step's points decide (see
// reachInPlane). The sum of squares stands for |c|^2 within the last
// factor.
double ChordalTrials::planeBound(std::size_t anchor, std::size_t step,
                                 double squared) const {
  const double oa = _planeA[anchor];
  const double ob = _planeB[anchor];
  const double largest =
      largestCrossSquare(_planeA, _planeB, oa, ob, _planeA[step + 1] - oa,
                         _planeB[step + 1] - ob, anchor + 1, step + 1, _wide);
  return (largest + squared * _planeAllowance + _planeRoom) *
         (kPlaneBoundFactor / squared);
}

// In the plane: the first point of step `step` from `anchor` whose deviation
// reaches the limit (index kNoSpan if none), with the squares of the limits
// that find it first. A squared cross product below
// `lowSquare` (above `highSquare`) times the chord's squared length, less
// (plus) the allowance, is a deviation surely below (at or beyond) the limit;
// in between, the chord line decides. The products are those of the sweeps;
// each call takes them again, up to the point found, which costs less than
// having the sweeps store every product for the few steps that end spans.
ChordalTrials::Reach ChordalTrials::reachInPlane(std::size_t anchor,
                                                 std::size_t step,
                                                 double deviationLimit,
                                                 double lowSquare,
                                                 double highSquare) const {
  const double* a = _planeA;
  const double* b = _planeB;
  const double oa = a[anchor];
  const double ob = b[anchor];
  const double ca = a[step + 1] - oa;
  const double cb = b[step + 1] - ob;
  const double squared = ca * ca + cb * cb;
  const double room = squared * _planeAllowance + _planeRoom;
  const double surelyBelow = lowSquare * squared - room;
  const double surelyBeyond = highSquare * squared + room;
  Reach reach{kNoSpan, -kInfinity, 0.0};
  double before = -kInfinity;
  for (std::size_t j = anchor + 1;; ++j) {
    double crossed = 0.0;
    j = firstCrossReaching(a, b, oa, ob, ca, cb, j, step + 1, surelyBelow,
                           crossed, before, _wide);
    if (j > step) return reach;
    bool reaches = crossed > surelyBeyond;
    if (!reaches) {
      const Vector chord = _p[step + 1] - _p[anchor];
      const ChordLine line(_p[anchor], chord, chord.length());
      reaches = std::sqrt(squaredDeviation(_xs.data(), _ys.data(), _zs.data(),
                                           j, line)) >= deviationLimit;
    }
    if (reaches) {
      // The bounds of the squared deviations the chord line gives the point
      // and the points before it: at least and at most these.
      const double low =
          (crossed - room) / squared * (1.0 - kCrossQuotientMargin);
      reach.index = j;
      reach.highest = low > 0.0 ? low : 0.0;
      if (before != -kInfinity) {
        reach.lowest = (before + room) / squared * (1.0 + kCrossQuotientMargin);
      }
      return reach;
    }
    before = maxOf(crossed, before);
  }
}

// Gives the anchor room for `grown` steps: in place where its steps are the
// last ones held, else as a copy at the end (the old place is left unused
// until the next line). The new steps are unmeasured.
void ChordalTrials::grow(AnchorMemo& memo, std::size_t grown) {
  const std::size_t end = _stepsUsed;
  const std::size_t at = memo.steps + memo.known == end ? memo.steps : end;
  _stepsUsed = at + grown;
  // The pools only grow, and hold what earlier lines left beyond the part
  // in use: only the new steps are marked unmeasured.
  if (_largest.size() < _stepsUsed) {
    const std::size_t size =
        _stepsUsed > 2 * _largest.size() ? _stepsUsed : 2 * _largest.size();
    _largest.resize(size);
    _info.resize(size);
  }
  const std::size_t fresh = at == memo.steps ? at + memo.known : at;
  for (std::size_t k = fresh; k < _stepsUsed; ++k) _largest[k] = kUnmeasured;
  if (at != memo.steps) {
    for (std::size_t k = 0; k < memo.known; ++k) {
      _largest[at + k] = _largest[memo.steps + k];
      _info[at + k] = _info[memo.steps + k];
    }
    memo.steps = static_cast<std::uint32_t>(at);
  }
  memo.known = static_cast<std::uint32_t>(grown);
}

// The run's limit and what it compares with. Sums below `surelyBelow` are
// surely below the limit's square, with room for the rounding of the square
// (`lowSquare` and `highSquare`, for the cross products, with room for theirs
// too); limits whose square may leave the normal range leave every step to
// the root. A limit that is not a number is never reached: only the span
// ends a chord then.
ChordalTrials::Limit::Limit(double deviationLimit)
    : value(deviationLimit), none(std::isnan(deviationLimit)) {
  const bool banded =
      deviationLimit > kBandLowest && deviationLimit < kBandHighest;
  const double square = deviationLimit * deviationLimit;
  surelyBelow = banded ? square * (1.0 - kSquareSumMargin) : -kInfinity;
  lowSquare = banded ? square * (1.0 - kCrossMargin) : -kInfinity;
  highSquare = banded ? square * (1.0 + kCrossMargin) : kInfinity;
}

// The pieces of a run's walk below are inlined into it (see run, at the
// end), as one loop: the state of a span stays in registers across them.

// The span from `anchor`, walked from step i on: the one walked last from
// there when this limit walks it the same way (from any step of it on,
// since a later start passes fewer steps), else the steps passed below the
// limit up to the first that ends the span.
QUAX_WALK_INLINE SpanEnd ChordalTrials::spanEnd(std::size_t anchor,
                                                std::size_t i,
                                                const Limit& limit) {
  AnchorMemo& memo = _anchors[anchor];
  if (memo.from <= i && i <= memo.end &&
      limit.surelyBelow > memo.lowestSquare &&
      limit.highSquare <= memo.highestSquare) {
    return SpanEnd{memo.end, memo.keep};
  }
  Passage passage;
  const std::size_t base = anchor + 1;
  const std::size_t k = passSteps(anchor, i - base, limit, passage);
  // No further point kept before the last.
  if (k == _n - 1 - base) return SpanEnd{_n - 1, _n};
  return endSpan(anchor, i, base + k, limit, passage);
}

// Passes the steps of `anchor` from index k on while they stay below the
// limit, measuring the unmeasured ones (not a number) on the way; returns
// the index of the first step that ends the span, or the anchor's count of
// steps when none does.
QUAX_WALK_INLINE std::size_t ChordalTrials::passSteps(std::size_t anchor,
                                                      std::size_t k,
                                                      const Limit& limit,
                                                      Passage& passage) {
  AnchorMemo& memo = _anchors[anchor];
  const std::size_t steps = _n - 1 - (anchor + 1);  // steps it can meet
  for (;;) {
    k = passMeasured(memo, k, limit, passage);
    const std::size_t known = memo.known;
    if (k >= known) {
      if (k == steps) return k;
      if (known == 0) _touched.push_back(static_cast<std::uint32_t>(anchor));
      // Room for about the longest spans of a search's trials at once: an
      // anchor that grows again is copied to the pools' end.
      std::size_t grown = known * 2 > k + 32 ? known * 2 : k + 32;
      if (grown > steps) grown = steps;
      grow(memo, grown);
      continue;
    }
    const double value = largestOf(memo)[k];
    if (std::isnan(value)) {
      k = measureAhead(anchor, k, limit, passage);
      continue;
    }
    if (limit.none || infoOf(memo)[k].kind != StepKind::kDeviation) return k;
    // A bound that does not pass this limit: a long step is bounded again
    // from the chain as it stands, else measured point by point; a shorter
    // one is decided point by point, by the points' own bounds first
    // (without a limit in the band, measured).
    if (infoOf(memo)[k].bounded) {
      const bool turns = k + 1 >= TurnChain::kFewestPoints;
      if (!turns && limit.surelyBelow > 0.0) {
        if (!passesByOffsets(memo, anchor, anchor + 1 + k, limit, passage)) {
          return k;
        }
        const double bound = largestOf(memo)[k];
        passage.passed = bound > passage.passed ? bound : passage.passed;
        ++k;
        continue;
      }
      measure(anchor, anchor + 1 + k, turns ? limit.surelyBelow : -kInfinity);
      continue;
    }
    // A sum near the limit's square, or in the plane a bound that reaches
    // it: the roots decide.
    if (!passesNear(anchor, anchor + 1 + k, value, limit, passage)) return k;
    passage.passed = value > passage.passed ? value : passage.passed;
    ++k;
  }
}

// Passes the measured steps from index k on that surely stay below the limit
// (with no limit, every measured step that only a limit could end).
QUAX_WALK_INLINE std::size_t ChordalTrials::passMeasured(const AnchorMemo& memo,
                                                         std::size_t k,
                                                         const Limit& limit,
                                                         Passage& passage) {
  const std::size_t known = memo.known;
  const double* largest = largestOf(memo);
  if (limit.none) {
    const StepInfo* info = infoOf(memo);
    while (k < known && !std::isnan(largest[k]) &&
           info[k].kind == StepKind::kDeviation) {
      ++k;
    }
    return k;
  }
  double passed = passage.passed;
  for (; k < known && largest[k] < limit.surelyBelow; ++k) {
    passed = largest[k] > passed ? largest[k] : passed;
  }
  passage.passed = passed;
  return k;
}

// Measures the unmeasured step at index k and, as long as they pass, those
// that follow; in the plane with four lanes, up to four at once. Returns the
// index to go on from.
QUAX_WALK_INLINE std::size_t ChordalTrials::measureAhead(std::size_t anchor,
                                                         std::size_t k,
                                                         const Limit& limit,
                                                         Passage& passage) {
  AnchorMemo& memo = _anchors[anchor];
  const std::size_t known = memo.known;
  const std::size_t base = anchor + 1;
  if (_planeA != nullptr && _wide) {
    std::size_t count = 1;
    while (count < 4 && k + count < known &&
           std::isnan(largestOf(memo)[k + count])) {
      ++count;
    }
    measureSteps(anchor, k, count);
    return k;
  }
  if (_planeA == nullptr && _wide && _turnBounds && limit.surelyBelow > 0.0) {
    const std::size_t swept = sweepAhead(anchor, k, limit, passage);
    if (swept != k) return swept;
  }
  for (;;) {
    if (_planeA != nullptr) {
      measureInPlane(anchor, base + k);
    } else {
      measure(anchor, base + k, limit.surelyBelow);
    }
    const double measured = largestOf(memo)[k];
    if (limit.none || !(measured < limit.surelyBelow)) return k;
    passage.passed = measured > passage.passed ? measured : passage.passed;
    if (++k >= known || !std::isnan(largestOf(memo)[k])) return k;
  }
}

// Whether the step, whose largest sum (or in the plane, its bound) `value`
// comes near the limit's square, passes by the roots. A chord passed over
// passes whatever the limit. In the plane, the point found to reach the
// limit is kept in `passage`.
QUAX_WALK_INLINE bool ChordalTrials::passesNear(std::size_t anchor,
                                                std::size_t step, double value,
                                                const Limit& limit,
                                                Passage& passage) {
  if (value == -kInfinity) return true;
  if (_planeA == nullptr) return std::sqrt(value) < limit.value;
  passage.reached = reachInPlane(anchor, step, limit.value, limit.lowSquare,
                                 limit.highSquare);
  return passage.reached.index == kNoSpan;
}

// The span from `anchor`, walked from step `from`, ends at step `end`: the
// point it keeps, and the limits that walk it the same way, by their squares
// (above the sum of every step passed and of the running maximum before the
// point reached, up to the sum of that point), remembered for later runs.
// Bounds, of a step passed or in the plane, only narrow them.
QUAX_WALK_INLINE SpanEnd ChordalTrials::endSpan(std::size_t anchor,
                                                std::size_t from,
                                                std::size_t end,
                                                const Limit& limit,
                                                const Passage& passage) {
  AnchorMemo& memo = _anchors[anchor];
  StepInfo& info = infoOf(memo)[end - anchor - 1];
  if (info.kind == StepKind::kFault) throw EMathZeroVector();
  Reach reach{end, passage.passed, kInfinity};
  if (info.kind == StepKind::kDeviation && _planeA != nullptr) {
    reach = passage.reached;
  } else if (info.kind == StepKind::kDeviation) {
    reach = passage.reached.index != kNoSpan
                ? passage.reached
                : reachOffPlane(anchor, end, limit);
  }
  std::size_t keep = end;
  if (info.kind == StepKind::kDeviation) {
    keep = reach.index - 1 == anchor ? reach.index : reach.index - 1;
  }
  if (!limit.none) {
    memo.from = from;
    memo.lowestSquare =
        reach.lowest > passage.passed ? reach.lowest : passage.passed;
    memo.highestSquare = reach.highest;
    memo.end = end;
    memo.keep = keep;
  }
  return SpanEnd{end, keep};
}

// Off the plane: the first point of step `step` from `anchor` that reaches
// the limit, with the squares of the limits that find it first (above the
// largest sum before it, up to its own, with room for the rounding of their
// roots). The step ends the span, so one point reaches the limit. Its sums
// of squares are taken again unless it was the last step measured, as it is
// when it ends the span of the run that met it first: that costs less than
// keeping the running maxima of every step that ends a span for later runs.
ChordalTrials::Reach ChordalTrials::reachOffPlane(std::size_t anchor,
                                                  std::size_t step,
                                                  const Limit& limit) {
  if (_squaresAnchor != anchor || _squaresStep != step) {
    const Vector chord = _p[step + 1] - _p[anchor];
    largestSquaredDeviation(
        _xs.data(), _ys.data(), _zs.data(), anchor + 1, step + 1,
        ChordLine(_p[anchor], chord, chord.length()), _squares.data(), _wide);
    _squaresAnchor = anchor;
    _squaresStep = step;
  }
  const double* squares = _squares.data();
  const std::size_t points = step - anchor;
  // A sum far below (above) the limit's square has a root below (at or
  // beyond) the limit; in between, the root decides.
  double before = -kInfinity;
  std::size_t j = 0;
  for (;; ++j) {
    j = firstAtLeast(squares, j, points, limit.surelyBelow, before, _wide);
    const double squared = squares[j];
    if (squared >= limit.highSquare || std::sqrt(squared) >= limit.value) {
      break;
    }
    before = squared > before ? squared : before;
  }
  Reach reach{anchor + 1 + j, -kInfinity,
              squares[j] * (1.0 - kRootSquareMargin)};
  if (before != -kInfinity) reach.lowest = before * (1.0 + kRootSquareMargin);
  return reach;
}

// The walk of a run over the spans, stopped once more than stopAbove points
// are sure to be kept.
struct ChordalTrials::RunSpans {
  ChordalTrials& trials;
  const Limit& limit;
  std::size_t stopAbove;

  // With the last point, more than stopAbove are kept.
  bool stops() const { return trials._kept.size() >= stopAbove; }
  SpanEnd endOf(std::size_t anchor, std::size_t i) {
    return trials.spanEnd(anchor, i, limit);
  }
  void keep(std::size_t j) {
    trials._kept.push_back(static_cast<std::uint32_t>(j));
  }
};

std::int64_t ChordalTrials::run(double deviationLimit, std::size_t stopAbove) {
  const Limit limit(deviationLimit);
  _kept.clear();
  RunSpans spans{*this, limit, stopAbove};
  if (!walkSpans(spans, _n)) return static_cast<std::int64_t>(stopAbove) + 1;
  return static_cast<std::int64_t>(_kept.size());
}

}  // namespace QUAX
