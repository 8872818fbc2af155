// SPDX-License-Identifier: MIT
// Internal: a bound of a step's deviations off a coordinate plane from the
// chord of an earlier step of the same anchor, for the chordal trials.
#ifndef QUAX_SCAN_FILTERS_CHORDAL_TURNCHAIN_H_
#define QUAX_SCAN_FILTERS_CHORDAL_TURNCHAIN_H_

#include <cmath>
#include <cstddef>
#include <limits>

#include "scan/filters/FilterGeometry.h"
#include "scan/filters/Rounding.h"

namespace QUAX {

// The steps of one anchor, from p[a], have chords to p[a + 2], p[a + 3], ...
// that turn little where the line runs straight: a point q lies at most
// |q - p[a]| |v - u| farther from the chord line along the unit v than from
// the one along u. So once one step is measured point by point (the
// reference, along u), a later step along v is bounded by the largest
// deviation from u of the points it covers, plus the largest reach
// |q - p[a]| times the turn |v - u|, plus the rounding of both deviations.
// Each new point is measured once against u as it joins, so the bound of a
// step costs a few operations however many points it covers. Where the bound
// leaves the limit in doubt, the step is measured point by point and becomes
// the reference.
struct TurnChain {
  static constexpr std::size_t kNone = ~std::size_t{0};
  // Steps of fewer points than this are measured point by point without
  // trying the bound: on them a failed try, and a bound that a later, lower
  // limit no longer passes (the step is then measured anyway), cost more
  // than the points the bound saves. Scanner lines off a plane, with short
  // spans, run about a fifth fewer instructions; lines with long straight
  // parts still bound their long steps.
  static constexpr std::size_t kFewestPoints = 128;

  double ux = 0.0, uy = 0.0, uz = 0.0;  // the reference chord's unit
  // The largest squared deviation from it (an upper bound), its root taken
  // once per bound: the root is monotonic, so the root of the largest is
  // the largest root. Not a number once one root would not be.
  double square = 0.0;
  std::size_t last = kNone;  // the last point covered

  // Takes `line` (the chord of a step measured point by point, covering the
  // points up to `to`, whose largest squared deviation is `largestSquare`)
  // as the reference.
  void restart(const ChordLine& line, double largestSquare,
               std::size_t to) noexcept {
    ux = line.direction.x();
    uy = line.direction.y();
    uz = line.direction.z();
    // -inf (no point a number) has no root.
    square = largestSquare >= 0.0 ? largestSquare
                                  : std::numeric_limits<double>::quiet_NaN();
    last = to;
  }

  // Adds the next point, whose squared deviation from the reference, as
  // ChordLine computes it, is `squaredDeviation`.
  void join(double squaredDeviation) noexcept {
    square = squaredDeviation > square ? squaredDeviation : square;
    ++last;
  }

  // An upper bound of the largest squared deviation, as ChordLine computes
  // it, of the covered points from the chord line along the unit `v`, given
  // a bound `reach` of their distance from the anchor; `rounding` bounds the
  // rounding of one deviation (deviationRounding). Not a number when a value
  // is not: such a bound is never below a limit.
  double boundSquare(const _MathVector<double>& v, double reach,
                     double rounding) const noexcept {
    const double tx = v.x() - ux;
    const double ty = v.y() - uy;
    const double tz = v.z() - uz;
    const double drift = reach * std::sqrt(tx * tx + ty * ty + tz * tz);
    const double bound = std::sqrt(square) + drift + 2.0 * rounding;
    return bound * bound * (1.0 + kBoundSlack);
  }
};

}  // namespace QUAX

#endif  // QUAX_SCAN_FILTERS_CHORDAL_TURNCHAIN_H_
