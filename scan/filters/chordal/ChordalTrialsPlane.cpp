// SPDX-License-Identifier: MIT
// The chordal trials' choice of how a line's steps are measured: by cross
// products in a coordinate plane or a tilted one, else by the chord line.
#include <cmath>
#include <limits>

#include "scan/filters/Rounding.h"
#include "scan/filters/chordal/ChordalTrials.h"
#include "scan/filters/chordal/TiltedPlane.h"

namespace QUAX {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

}  // namespace

void ChordalTrials::setSpan(double maxSpan) {
  _spanReached = DistanceBound(maxSpan);
  // Squared chord lengths strictly between these reach the tolerance (and
  // the machine epsilon) and not the span, whatever the roots.
  _chordLow =
      _toleranceReached.banded() ? _toleranceReached.upper() : kInfinity;
  _chordHigh = _spanReached.banded() ? _spanReached.lower() : -kInfinity;
  if (!_tilted) return;
  // In a tilted plane the squared chord in the plane stands for the one in
  // space within the plane's chord slack (and a few units in the last place
  // of each, which kCrossMargin covers); chords too short for the plane's
  // room are left to the chord line too.
  const double slack = 2.0 * _tiltedChordSlack;
  const double low = (_chordLow + slack) * (1.0 + kCrossMargin);
  const double floor = kTiltedChordFloor * _planeRoom;
  _chordLow = low > floor ? low : floor;
  _chordHigh = (_chordHigh - slack) * (1.0 - kCrossMargin);
}

// A profile of a line scanner lies in a plane of two axes: its third
// coordinate is the same for every point. The chord and every offset from the
// anchor then have 0 there, the chord line's deviations are those in the
// plane, and a step is measured by cross products: |q x c|^2 is the squared
// deviation of q from chord c times |c|^2, here for 6 operations per point
// instead of 22, and differs from what the chord line gives (times |c|^2) by
// less than _planeAllowance |c|^2, from the rounding of both (see
// deviationRounding for the chord line's; the cross product's stays below
// 5 eps |q|^2 |c|^2, with |q| at most the diagonal of the points' box). Lines
// whose largest magnitudes along the axes add up to more than
// kPlaneMagnitudeLimit (or with
// a coordinate that is not finite) are measured by the chord line alone, so
// that no square overflows.
void ChordalTrials::choosePlane(const Box& box, const bool same[3]) {
  _planeA = nullptr;
  _planeB = nullptr;
  _planeRoom = kUnderflowRoom;
  _tilted = false;
  // The largest magnitude per axis, from the box's corners.
  double largest[3];
  for (int axis = 0; axis < 3; ++axis) {
    const double low = std::fabs(box.low[axis]);
    const double high = std::fabs(box.high[axis]);
    largest[axis] = high > low ? high : low;
  }
  const double rounding =
      deviationRounding(largest[0], largest[1], largest[2], 0.0);
  const bool moderate = box.finite && largest[0] + largest[1] + largest[2] <=
                                          kPlaneMagnitudeLimit;
  _turnBounds = moderate;
  _turnRounding = rounding;
  int a = 0;
  int b = 0;
  if (same[1]) {
    a = 0;
    b = 2;
  } else if (same[0]) {
    a = 1;
    b = 2;
  } else if (same[2]) {
    a = 0;
    b = 1;
  } else {
    if (moderate) chooseTiltedPlane(box, rounding);
    return;
  }
  if (!moderate) return;
  const double* axes[3] = {_xs.data(), _ys.data(), _zs.data()};
  _planeA = axes[a];
  _planeB = axes[b];
  const double sideA = box.high[a] - box.low[a];
  const double sideB = box.high[b] - box.low[b];
  const double diagonal = std::sqrt(sideA * sideA + sideB * sideB);
  _planeAllowance = kPlaneAllowanceSpare *
                    (rounding * (2.0 * diagonal + rounding) +
                     kCrossProductUlps * kEpsilon * diagonal * diagonal);
}

// A line in no coordinate plane may still lie in a plane, as a profile does
// after a rigid stitch: there its steps are measured by cross products on
// its coordinates along two axes of the plane, with the room the projection
// leaves (see TiltedPlane.cpp).
void ChordalTrials::chooseTiltedPlane(const Box& box, double rounding) {
  if (_as.size() < _n + 4) {
    _as.resize(_n + 4, 0.0);
    _bs.resize(_n + 4, 0.0);
  }
  double extent = 0.0;
  for (int axis = 0; axis < 3; ++axis) extent += box.high[axis] - box.low[axis];
  TiltedPlane plane;
  if (!projectOntoTiltedPlane(_xs.data(), _ys.data(), _zs.data(), _n, extent,
                              rounding, _as.data(), _bs.data(), plane)) {
    return;
  }
  _planeA = _as.data();
  _planeB = _bs.data();
  _planeAllowance = plane.allowance;
  _planeRoom = plane.room;
  _tiltedChordSlack = plane.chordSlack;
  _tilted = true;
}

}  // namespace QUAX
