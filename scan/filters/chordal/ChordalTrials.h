// SPDX-License-Identifier: MIT
// Internal: the chordal deviation thinning of one line run with many limits,
// as the N-point search runs it.
#ifndef QUAX_SCAN_FILTERS_CHORDAL_CHORDALTRIALS_H_
#define QUAX_SCAN_FILTERS_CHORDAL_CHORDALTRIALS_H_

#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "geomath/GeoPoint.h"
#include "scan/filters/FilterGeometry.h"
#include "scan/filters/chordal/DeviationSweeps.h"
#include "scan/filters/chordal/LineStatistics.h"
#include "scan/filters/chordal/TurnChain.h"
#include "scan/filters/chordal/Walk.h"

namespace QUAX {

// Runs thinByChordalDeviation on the same positions and span with changing
// limits, each run giving the same kept points, to the bit, and the same
// exceptions, at a cost that shrinks as runs repeat.
//
// What a step of the walk decides depends on the limit only through one
// number: at step i from anchor a, the chord from p[a] to p[i + 1] ends the
// span when the largest deviation of p[a + 1] ... p[i] from it reaches the
// limit, and the point kept is the first one whose deviation reaches it.
// So each (anchor, step) met is measured once for its largest deviation, kept
// as the sum of squares whose root it is (on a copy of the coordinates by
// axis, two or four points at a time, and with four lanes up to four steps
// that follow each other at once), and every later run reads them: a run
// costs one comparison per step (with the limit's square), plus the steps no
// earlier run has met, plus a scan of the points of each step that ends a
// span for the first that reaches the limit. Lines in a coordinate plane, as a
// scanner's profiles are (or in a tilted plane, as they are after a rigid
// stitch, on their coordinates along two axes of it), keep a close upper
// bound per step instead, found from cross products at a third of the cost; at
// a step whose bound reaches a limit, the cross products are taken again up to
// the first point that reaches it, and the chord line measures a point only
// where its cross product leaves the limit in doubt.
class ChordalTrials {
 public:
  // Takes the positions p[0] ... p[n - 1] (n >= 3) and the span; forgets
  // what earlier lines left, keeping the buffers. Where `wide` and the
  // processor allow it, the cross products are taken four at a time, with
  // the same results.
  void reset(const _GeoPoint<double>* p, std::size_t n, double maxSpan,
             bool wide = true) {
    reset(p, n, wide);
    setSpan(maxSpan);
  }
  // The same in two steps, the span given before the first run.
  void reset(const _GeoPoint<double>* p, std::size_t n, bool wide = true);
  void setSpan(double maxSpan);

  // The kept count with this limit; kept() then holds their indexes. Throws
  // EMathZeroVector where the plain run throws it. With stopAbove, the run
  // ends as soon as more than stopAbove points are sure to be kept and
  // returns stopAbove + 1, with kept() cut short: it then leaves out what
  // the rest of the line would throw, for lines whose chords never throw.
  std::int64_t run(double deviationLimit,
                   std::size_t stopAbove = ~std::size_t{0});
  const std::vector<std::uint32_t>& kept() const noexcept { return _kept; }

  // The line's plane, for countKeptOnShortSpans: null axes when the line is
  // measured by the chord line alone.
  PlaneCoordinates plane() const noexcept {
    if (_tilted)
      return PlaneCoordinates{};  // in a tilted plane, for the
                                  // trials alone
    return PlaneCoordinates{_planeA, _planeB, _planeAllowance};
  }

 private:
  static constexpr std::size_t kNoSpan = ~std::size_t{0};
  enum class StepKind : std::uint8_t { kDeviation, kSpan, kFault };
  struct StepInfo {
    // Left unset when the memo grows: measure() writes a step's info before
    // anything reads it.
    StepInfo() noexcept {}  // NOLINT(modernize-use-equals-default)
    // A step about to be measured: a deviation, not a bound.
    void start() noexcept {
      kind = StepKind::kDeviation;
      bounded = false;
    }
    StepKind kind;
    // Off the plane, a bound (not the largest): by TurnChain on steps of
    // TurnChain::kFewestPoints or more, by the points' offsets on others.
    bool bounded;
  };
  struct AnchorMemo {
    // Per step i >= a + 1 at index i - a - 1, from index `steps` of _largest
    // and _info on, `known` of them: the largest deviation's sum of squares,
    // or in the plane a bound of it (not a number while unmeasured; -inf for
    // a chord passed over; +inf for a chord at the span or one that throws,
    // see info). 32 bits: pools of 2^32 entries
    // would outgrow the memory first.
    std::uint32_t steps = 0;
    std::uint32_t known = 0;
    // The last span walked from this anchor: started at step `from`, every
    // limit whose square, less its rounding, is above `lowestSquare` and,
    // plus its rounding, at most `highestSquare` ends it at step `end` and
    // keeps `keep`, as it ends a walk from any later step up to `end`.
    std::size_t from = kNoSpan;
    double lowestSquare = 0.0;
    double highestSquare = 0.0;
    std::size_t end = 0;
    std::size_t keep = 0;
  };

  double* largestOf(const AnchorMemo& memo) noexcept {
    return _largest.data() + memo.steps;
  }
  StepInfo* infoOf(const AnchorMemo& memo) noexcept {
    return _info.data() + memo.steps;
  }
  void grow(AnchorMemo& memo, std::size_t grown);
  // What reset gathers of the positions for choosePlane, per axis (x, y, z)
  // and in all.
  struct Box {
    double low[3];
    double high[3];
    bool finite = true;  // every coordinate
  };
  void choosePlane(const Box& box, const bool same[3]);
  void chooseTiltedPlane(const Box& box, double rounding);
  void measure(std::size_t anchor, std::size_t step,
               double passBelow = -std::numeric_limits<double>::infinity());
  bool boundByTurn(AnchorMemo& memo, std::size_t anchor, std::size_t step,
                   const ChordLine& line, double passBelow);
  bool boundByOffsets(AnchorMemo& memo, std::size_t anchor, std::size_t step,
                      const _MathVector<double>& chord, double squared,
                      double passBelow);
  void takeOffsetsUpTo(std::size_t anchor, std::size_t step);
  AnchorOffsets offsets() noexcept {
    return AnchorOffsets{_qx.data(), _qy.data(), _qz.data(), _qq.data()};
  }
  // Off the plane: how far p[to] may lie from p[anchor], by the path
  // between them, with room for its rounding.
  double reachOf(std::size_t anchor, std::size_t to) const noexcept {
    return _walked[to] - _walked[anchor] + _walkedRoom;
  }
  double offsetBound(std::size_t anchor, std::size_t step, double largest,
                     double squared) const;
  void walkPath();
  void measureInPlane(std::size_t anchor, std::size_t step);
  void measureSteps(std::size_t anchor, std::size_t k, std::size_t count);
  double planeBound(std::size_t anchor, std::size_t step, double squared) const;
  // The point of a step that reaches a limit first (kNoSpan: none), and the
  // squares of the limits that find it first: above `lowest`, up to
  // `highest` (with room for the rounding of both).
  struct Reach {
    std::size_t index;
    double lowest;
    double highest;
  };
  Reach reachInPlane(std::size_t anchor, std::size_t step,
                     double deviationLimit, double lowSquare,
                     double highSquare) const;
  struct Limit;
  Reach reachOffPlane(std::size_t anchor, std::size_t step, const Limit& limit);

  // One run's limit, and the squares it is compared by (see run).
  struct Limit {
    explicit Limit(double deviationLimit);
    double value;
    bool none;  // not a number: never reached
    double surelyBelow;
    double lowSquare;
    double highSquare;
  };
  // What the walk of one span has passed: the largest sum of the steps
  // passed and, in the plane or where points' bounds decided (off the
  // plane), the first point of the step reached that reaches the limit.
  struct Passage {
    double passed = -std::numeric_limits<double>::infinity();
    Reach reached{kNoSpan, -std::numeric_limits<double>::infinity(), 0.0};
  };
  struct RunSpans;
  bool passesByOffsets(AnchorMemo& memo, std::size_t anchor, std::size_t step,
                       const Limit& limit, Passage& passage);
  SpanEnd spanEnd(std::size_t anchor, std::size_t i, const Limit& limit);
  std::size_t passSteps(std::size_t anchor, std::size_t k, const Limit& limit,
                        Passage& passage);
  std::size_t passMeasured(const AnchorMemo& memo, std::size_t k,
                           const Limit& limit, Passage& passage);
  std::size_t measureAhead(std::size_t anchor, std::size_t k,
                           const Limit& limit, Passage& passage);
  std::size_t sweepAhead(std::size_t anchor, std::size_t k, const Limit& limit,
                         Passage& passage);
  bool passesNear(std::size_t anchor, std::size_t step, double value,
                  const Limit& limit, Passage& passage);
  SpanEnd endSpan(std::size_t anchor, std::size_t from, std::size_t end,
                  const Limit& limit, const Passage& passage);

  const _GeoPoint<double>* _p = nullptr;
  std::size_t _n = 0;
  std::vector<double> _xs, _ys, _zs;  // the positions' coordinates
  bool _wide = false;  // whether the sweeps run four points at a time
  // When one coordinate is the same for every point, the other two (else
  // null), and the allowance per squared chord length within which the
  // measure of a step by cross products may differ from the deviations
  // (squared, times the squared chord length) that the chord line gives.
  const double* _planeA = nullptr;
  const double* _planeB = nullptr;
  double _planeAllowance = 0.0;
  // The room added to the allowance times the squared chord: the underflow's
  // in a coordinate plane; in a tilted plane (_tilted), the projection's,
  // whose axes' coordinates are _as and _bs, and whose squared chords differ
  // from those in space by at most _tiltedChordSlack.
  double _planeRoom = kUnderflowRoom;
  bool _tilted = false;
  std::vector<double> _as, _bs;
  double _tiltedChordSlack = 0.0;
  // Off the plane, whether steps far below a limit may be bounded by
  // TurnChain (for lines with finite coordinates of moderate magnitude), and
  // the rounding of one deviation there.
  bool _turnBounds = false;
  double _turnRounding = 0.0;
  // There, the path length from p[0] to each point, and the room for its
  // rounding: the path from an anchor bounds the reach of every point since.
  std::vector<double> _walked;
  double _walkedRoom = 0.0;
  // There, the offsets of the points from _offsetsAnchor + 1 up to
  // _offsetsTo - 1 from that anchor, for boundByOffsets and sweepAhead.
  std::vector<double> _qx, _qy, _qz, _qq;
  std::size_t _offsetsAnchor = kNoSpan;
  std::size_t _offsetsTo = 0;
  // Per anchor, the reference its next step may be bounded by (apart from
  // the memos, which the plane reads in every run).
  std::vector<TurnChain> _chains;
  // Off the plane, the sums of squares of the deviations of the step last
  // measured.
  std::vector<double> _squares;
  std::size_t _squaresAnchor = 0;
  std::size_t _squaresStep = 0;
  // Whether a chord reaches the span, the machine epsilon (below it the
  // chord is passed over) or the zero-vector tolerance (below it the chord
  // line throws).
  DistanceBound _spanReached{0.0};
  DistanceBound _epsilonReached{std::numeric_limits<double>::epsilon()};
  DistanceBound _toleranceReached{zeroVectorTolerance<double>()};
  // Squared chord lengths strictly between these surely reach the tolerance
  // and not the span (see measureInPlane).
  double _chordLow = 0.0;
  double _chordHigh = 0.0;
  std::vector<AnchorMemo> _anchors;
  // The anchors' steps, one line's after another's in the same place (so
  // that they stay in the caches from line to line).
  std::vector<double> _largest;
  std::vector<StepInfo> _info;
  std::size_t _stepsUsed = 0;           // the part of both in use by this line
  std::vector<std::uint32_t> _touched;  // anchors with measured steps
  std::vector<std::uint32_t> _kept;
};

}  // namespace QUAX

#endif  // QUAX_SCAN_FILTERS_CHORDAL_CHORDALTRIALS_H_
