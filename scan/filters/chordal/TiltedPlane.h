// SPDX-License-Identifier: MIT
// Internal: a line that lies in a plane other than a coordinate plane (a
// profile after a rigid stitch), given coordinates in that plane so that the
// chordal trials can measure its steps by cross products.
#ifndef QUAX_SCAN_FILTERS_CHORDAL_TILTEDPLANE_H_
#define QUAX_SCAN_FILTERS_CHORDAL_TILTEDPLANE_H_

#include <cstddef>

namespace QUAX {

// How far the cross products on a tilted plane's coordinates may lie from
// the chord line's deviations, in the terms of the coordinate plane's test:
// a squared cross product w^2 stands for the squared deviation times the
// squared chord length s (both on the plane's coordinates) within
// `allowance` s + `room`; and s lies within `chordSlack` (plus a few units in
// its last place) of the chord's squared length in space.
struct TiltedPlane {
  double allowance = 0.0;
  double room = 0.0;
  double chordSlack = 0.0;
};

// Finds the plane of the points (xs[i], ys[i], zs[i]), i < n, from its first
// and last point and the point farthest from their chord, and writes each
// point's coordinates along two axes of it into as and bs. Returns false,
// with as and bs partly written, when a point lies off that plane by more
// than kTiltedFlatness of the points' extent `extent` (the sum of the box's
// sides), or when no plane is found. `rounding` is the rounding of one
// deviation from the chord line (see deviationRounding).
bool projectOntoTiltedPlane(const double* xs, const double* ys,
                            const double* zs, std::size_t n, double extent,
                            double rounding, double* as, double* bs,
                            TiltedPlane& plane);

}  // namespace QUAX

#endif  // QUAX_SCAN_FILTERS_CHORDAL_TILTEDPLANE_H_
