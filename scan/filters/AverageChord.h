// SPDX-License-Identifier: MIT
// Internal: the average filter's chord of a window and a point's foot on it,
// written once for the two-lane pass (ScanAverageFilter.cpp) and the
// four-lane one (AverageFilterWide.cpp). Each operation rounds as the
// point-by-point pass rounds it with _GeoLine and _MathVector, so every
// lane gives that pass's bits.
#ifndef QUAX_SCAN_FILTERS_AVERAGECHORD_H_
#define QUAX_SCAN_FILTERS_AVERAGECHORD_H_

#include "scan/filters/simd/Lanes.h"

namespace QUAX {

// The chord from the mean a of a window's backward half to the mean b of its
// forward half, and the point's place against it.
template <class L>
struct WindowChord {
  L ox, oy, oz;  // the chord line's origin, (a + b) / 2
  L dx, dy, dz;  // its direction (b - a) / |b - a|
  L length;      // |b - a|
  L fx, fy, fz;  // the point's foot o + d ((p - o).d)
  L ux, uy, uz;  // the unit normal (p - f) / |p - f|
  L distance;    // |p - f|
};

// The chord of the means (ax, ay, az) and (bx, by, bz) and the foot and
// normal of the point p on it. A length below the zero-vector tolerance is
// the caller's to refuse (its lanes hold whatever the division gave).
template <class L>
QUAX_ALWAYS_INLINE WindowChord<L> windowChordOf(const L& ax, const L& ay,
                                                const L& az, const L& bx,
                                                const L& by, const L& bz,
                                                const L& px, const L& py,
                                                const L& pz) {
  WindowChord<L> c;
  const L half = L::all(0.5);
  c.ox = (ax + bx) * half;
  c.oy = (ay + by) * half;
  c.oz = (az + bz) * half;
  const L cx = bx - ax;
  const L cy = by - ay;
  const L cz = bz - az;
  c.length = sqrtOf(cx * cx + cy * cy + cz * cz);
  c.dx = cx / c.length;
  c.dy = cy / c.length;
  c.dz = cz / c.length;
  const L t = (px - c.ox) * c.dx + (py - c.oy) * c.dy + (pz - c.oz) * c.dz;
  c.fx = c.ox + c.dx * t;
  c.fy = c.oy + c.dy * t;
  c.fz = c.oz + c.dz * t;
  const L nx = px - c.fx;
  const L ny = py - c.fy;
  const L nz = pz - c.fz;
  c.distance = sqrtOf(nx * nx + ny * ny + nz * nz);
  c.ux = nx / c.distance;
  c.uy = ny / c.distance;
  c.uz = nz / c.distance;
  return c;
}

// The offset of a neighbour q along the chord's unit normal: (q - f).u, f
// being q's own foot on the chord (for the point itself, c's foot). Reads
// the chord's origin, direction and normal only.
template <class L>
QUAX_ALWAYS_INLINE L normalOffsetOf(const L& qx, const L& qy, const L& qz,
                                    const WindowChord<L>& c) {
  const L t = (qx - c.ox) * c.dx + (qy - c.oy) * c.dy + (qz - c.oz) * c.dz;
  return (qx - (c.ox + c.dx * t)) * c.ux + (qy - (c.oy + c.dy * t)) * c.uy +
         (qz - (c.oz + c.dz * t)) * c.uz;
}

}  // namespace QUAX

#endif  // QUAX_SCAN_FILTERS_AVERAGECHORD_H_
