// SPDX-License-Identifier: MIT
// Internal: the rounding allowances of the filters' exact shortcuts, each
// with how it was found. A shortcut (a squared length for a root, a bound
// for the points it covers, a cross product for a chord line) may decide a
// test only where it lies farther from the limit than the rounding of both
// sides; closer, the plain computation decides. Every allowance here is an
// upper bound of that rounding with room to spare: too large costs a little
// speed, too small would change a result.
#ifndef QUAX_SCAN_FILTERS_ROUNDING_H_
#define QUAX_SCAN_FILTERS_ROUNDING_H_

#include <cmath>
#include <cstddef>
#include <limits>

#include "geomath/GeoPoint.h"

namespace QUAX {

// The machine epsilon of double: one unit in the last place of 1.
constexpr double kEpsilon = std::numeric_limits<double>::epsilon();

// A squared length against a squared bound (DistanceBound), and a root
// squared back: the square root halves a relative distance, so a square
// that lies 8 eps from the squared bound has a root about 4 eps from the
// bound, more than the one unit in its last place (at most eps relative)
// that the correctly rounded root and square could move it.
constexpr double kRootSquareMargin = 8.0 * kEpsilon;

// Bounds whose square stays a normal double (down to about 1e-308, up to
// about 1e308) with room for the relative margins: between these, squares
// are compared; outside, roots.
constexpr double kBandLowest = 1e-150;
constexpr double kBandHighest = 1e150;

// Room for products that underflow to 0 (cross products of tiny offsets):
// the square of kBandLowest, so below every squared limit a band compares.
constexpr double kUnderflowRoom = 1e-300;

// A deviation from the chord line is a difference of positions, a dot
// product, a foot point and a length, each rounded once per coordinate; the
// bound of a turned chord adds a product and a root. Together they stay
// below 64 units in the last place of the largest coordinate; this many
// leave a factor of 16 to spare (see deviationRounding).
constexpr double kDeviationUlps = 1024.0;

// The relative rounding of a bound of many deviations (a block's, a group's,
// a summary's): its sums, products and root round by a few eps each; 1e-9
// is millions of eps above that and far below what a limit can tell apart.
constexpr double kBoundSlack = 1e-9;

// A sum of squares of deviations below the limit's square times (1 - this)
// has a root below the limit: the square and its product with (1 - this)
// round by half a unit each, and the root by half a unit (one unit once
// squared back), 2 eps together; 16 eps is eight times that.
constexpr double kSquareSumMargin = 16.0 * kEpsilon;

// In a coordinate plane, a squared cross product w^2 against the limit's
// square times the chord's squared length |c|^2, the plane's allowance
// (kPlaneAllowanceSpare) taken off or added: the relative roundings are the
// limit's square and its product with (1 -/+ this) (half a unit each),
// |c|^2 as ca^2 + cb^2 (one unit), its product with the square and the
// allowance's difference or sum (half a unit each), the deviation's sum of
// squares that w^2 stands for (one and a half units) and its root (one unit
// squared back): about 6 eps, and 32 eps is five times that. (The rounding
// of w itself is not relative to w^2, and is in the allowance.)
constexpr double kCrossMargin = 32.0 * kEpsilon;

// The squared deviation a cross product gives back, (w^2 -/+ allowance) /
// |c|^2 times (1 -/+ this), as a bound of the chord line's sum of squares:
// the difference, the quotient and the product round by half a unit each,
// |c|^2 by one unit and the sum of squares it stands for by one and a half,
// 4 eps together; 16 eps is four times that.
constexpr double kCrossQuotientMargin = 16.0 * kEpsilon;

// The plane's upper bound of a step's largest sum of squares, (largest w^2
// + |c|^2 allowance + kUnderflowRoom) (factor / |c|^2): its two sums, the
// quotient and the last product round by half a unit each, |c|^2 as ca^2 +
// cb^2 by one unit and the sum of squares it bounds by one and a half:
// 4.5 eps together (the product in the allowance's term is covered by its
// spare); 40 eps is eight times that. The factor, 1 + 5 * 2^-49, is exact.
constexpr double kPlaneBoundFactor = 1.0 + 40.0 * kEpsilon;

// The plane's allowance between a cross product and the chord line, per unit
// of |c|^2: the cross product w^2 = |q x c|^2, on the rounded offsets q,
// rounds by at most (4 sqrt 2 + 3) eps/2 |q|^2 |c|^2 < 5 eps |q|^2 |c|^2
// (|q| at most the diagonal of the points' box; a product fused with the
// difference after it rounds once, not twice, within the same), taken as
// 64 eps; the
// chord line's deviation d, at most |q|, by the deviation rounding r, so its
// square by r (2 |q| + r). The allowance's own products and sums, and |c|^2
// that scales it, round it by a few eps relative, which any factor above
// 1 + 8 eps covers; the factor 2.02 covers them and leaves the rest as
// spare over bounds that are generous already (64 for 5 eps, kDeviationUlps
// for 64 units).
constexpr double kCrossProductUlps = 64.0;
constexpr double kPlaneAllowanceSpare = 2.02;

// Off a plane, (|q|^2 |c|^2 - (q.c)^2) / |c|^2 against a point's squared
// distance from the chord's line: |q|^2 and |c|^2 round by 3 eps each, q.c
// by 3 eps |q| |c| (its square so by about 6 eps); the product, the
// difference and the quotient by eps each (a product fused with the sum
// after it rounds once, within the same): under 16 eps |q|^2 together,
// taken as 64 eps. The chord line's unit lies a few eps off c, which moves a
// point far less than the deviation rounding r; the chord line's deviation
// d, at most |q|, rounds by r, so its square by r (2 |q| + r); the
// allowance's own roundings are covered by the spare factor, as in the
// plane's allowance (kPlaneAllowanceSpare).
constexpr double kOffsetSquareUlps = 64.0;

// Lines whose largest magnitudes along the axes add up to more than this are
// measured by the chord line alone: their cross products' squares (up to
// the fourth power of the magnitude) would overflow.
constexpr double kPlaneMagnitudeLimit = 1e60;

// A line in a tilted plane (see TiltedPlane.cpp): its points may lie off
// the plane found by at most kTiltedFlatness of the box's extent (rounding
// leaves them about 1e-15 of it off; more is a line off any plane, measured
// by the chord line); the frame of the plane is used while its Gram matrix
// is within kTiltedSkewLimit of the identity (a computed frame is within a
// few eps); the six dot products of that test round by less than 4 eps
// each, kTiltedFrameUlps covers them with a factor of more than 1.3; a
// point's coordinate in the plane, a difference and a dot product of three
// terms, rounds by at most 2.1 eps times its offset's 1-norm, so the two
// coordinates by 3 eps: kTiltedOffsetUlps is four times that. Chords whose
// squared length in the plane is below kTiltedChordFloor times the plane's
// room are measured by the chord line: the room would leave every point in
// doubt.
constexpr double kTiltedFlatness = 1e-10;
constexpr double kTiltedSkewLimit = 1e-9;
constexpr double kTiltedFrameUlps = 32.0;
constexpr double kTiltedOffsetUlps = 12.0;
constexpr double kTiltedChordFloor = 1e6;

// Two positions at least this many zero-vector tolerances apart along one
// axis have a chord whose computed length, rounded a few times, is still
// above the tolerance.
constexpr double kFaultGapTolerances = 4.0;

// An absolute bound on the rounding of one deviation computed on positions
// whose largest magnitudes per axis are these (taken as a > b ? a : b from
// 0), `finite` being the sum of every magnitude times 0 (not a number once
// a coordinate is not finite, so neither is the bound).
inline double deviationRounding(double largestX, double largestY,
                                double largestZ, double finite) {
  const double largestXZ = largestX > largestZ ? largestX : largestZ;
  const double largestYZ = largestY > largestZ ? largestY : largestZ;
  const double scale = (largestX > largestY ? largestXZ : largestYZ) + finite;
  return kDeviationUlps * kEpsilon * scale + std::numeric_limits<double>::min();
}

// The same for the positions p[0] ... p[n - 1].
inline double deviationRounding(const _GeoPoint<double>* p, std::size_t n) {
  double sx = 0.0;
  double sy = 0.0;
  double sz = 0.0;
  double finite = 0.0;  // 0 times infinity is not a number either
  for (std::size_t i = 0; i < n; ++i) {
    const double x = std::fabs(p[i].x());
    const double y = std::fabs(p[i].y());
    const double z = std::fabs(p[i].z());
    sx = x > sx ? x : sx;
    sy = y > sy ? y : sy;
    sz = z > sz ? z : sz;
    finite += x * 0.0 + y * 0.0 + z * 0.0;
  }
  return deviationRounding(sx, sy, sz, finite);
}

}  // namespace QUAX

#endif  // QUAX_SCAN_FILTERS_ROUNDING_H_
