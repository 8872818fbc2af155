// SPDX-License-Identifier: MIT
#include "scan/filters/AverageFilterWide.h"

#include <cmath>

#include "geomath/MathErrors.h"
#include "geomath/MathVector.h"
#include "scan/filters/AverageChord.h"
#include "scan/filters/simd/Lanes.h"

namespace QUAX {

#ifdef QUAX_WIDE_LANES

namespace {

// The lanes (bits) whose squared distance lies in the band where only the
// square root decides, decided by it: whether the distance is within the
// limit.
__attribute__((noinline)) int rootsWithin(const double* squared, int undecided,
                                          double limit) {
  int within = 0;
  for (int l = 0; l < 4; ++l) {
    if ((undecided >> l & 1) != 0 && std::sqrt(squared[l]) <= limit) {
      within |= 1 << l;
    }
  }
  return within;
}

// Whether each of the four points from `at` lies within the limit of the
// point four lanes further on by `offset` (the distance is symmetric to the
// bit), as _GeoPoint::isNear decides.
QUAX_AVX2 inline Lanes4 nearOf(const AverageWideInput& in, Lanes4 px, Lanes4 py,
                               Lanes4 pz, std::int64_t at) {
  const Lanes4 dx = px - Lanes4::load(in.xs + at);
  const Lanes4 dy = py - Lanes4::load(in.ys + at);
  const Lanes4 dz = pz - Lanes4::load(in.zs + at);
  const Lanes4 squared = dx * dx + dy * dy + dz * dz;
  const Lanes4 inside = atMost(squared, Lanes4::all(in.lower));
  const int undecided =
      ~(bitsOf(inside) | bitsOf(atLeast(squared, Lanes4::all(in.upper)))) & 15;
  if (undecided == 0) return inside;
  double lanes[4];
  squared.store(lanes);
  return inside | Lanes4::maskOf(rootsWithin(lanes, undecided, in.limit));
}

}  // namespace

bool averageWideSupported() { return wideLanesSupported(); }

// Point g + l in lane l: proximity and window sums, then the chord, foot and
// unit normal, then the weighted offset, each as the two-lane pass and the
// point-by-point rule compute them. A group's first point that ends the pass
// (no qualifying point in its backward half, fewer than two in its forward
// half) stops it after the points before it are written; the line's last
// point always does, so no lane past it is ever written.
namespace {

// The sums of the qualifying neighbours' coordinates, and their count, over
// window positions [from, to) of the four points from g.
struct WindowSum {
  Lanes4 x, y, z, count;
};

QUAX_AVX2 QUAX_ALWAYS_INLINE WindowSum sumOf(const AverageWideInput& in,
                                             const Lanes4* nearby,
                                             std::int64_t g, std::int64_t half,
                                             std::int64_t from,
                                             std::int64_t to) {
  const Lanes4 zero = Lanes4::all(0.0);
  const Lanes4 one = Lanes4::all(1.0);
  WindowSum sum{zero, zero, zero, zero};
  for (std::int64_t k = from; k < to; ++k) {
    const std::int64_t j = g - half + k;
    sum.x = sum.x + where(nearby[k], Lanes4::load(in.xs + j));
    sum.y = sum.y + where(nearby[k], Lanes4::load(in.ys + j));
    sum.z = sum.z + where(nearby[k], Lanes4::load(in.zs + j));
    sum.count = sum.count + where(nearby[k], one);
  }
  return sum;
}

// Per window position, the lanes whose neighbour there qualifies, for the
// four points p from g.
QUAX_AVX2 QUAX_ALWAYS_INLINE void nearbyOf(const AverageWideInput& in,
                                           Lanes4 px, Lanes4 py, Lanes4 pz,
                                           std::int64_t g, std::int64_t half,
                                           Lanes4* nearby) {
  const Lanes4 zero = Lanes4::all(0.0);
  const Lanes4 lane = Lanes4::counting(0.0);
  // |p - p| is 0 for finite coordinates and not a number otherwise.
  nearby[half] = equal(px * zero + py * zero + pz * zero, zero);
  for (std::int64_t d = 1; d <= half; ++d) {
    nearby[half + d] =
        nearOf(in, px, py, pz, g + d) &
        less(lane, Lanes4::all(static_cast<double>(in.count - g - d)));
    nearby[half - d] = nearOf(in, px, py, pz, g - d) &
                       atLeast(lane, Lanes4::all(static_cast<double>(d - g)));
  }
}

// Writes the lanes of `moved` below `stop` to the line: each point's foot on
// the chord moved by its mean offset along the normal.
QUAX_AVX2 QUAX_ALWAYS_INLINE void writeMoved(
    const WindowChord<Lanes4>& c, Lanes4 mean, int moved, int stop,
    std::int64_t g, _ScanLine<double, _ScanPoint<double>>* line) {
  double x[4];
  double y[4];
  double z[4];
  (c.fx + c.ux * mean).store(x);
  (c.fy + c.uy * mean).store(y);
  (c.fz + c.uz * mean).store(z);
  for (int l = 0; l < stop; ++l) {
    if ((moved >> l & 1) == 0) continue;
    line->getPoint(static_cast<std::size_t>(g + l))
        ->setPosition(x[l], y[l], z[l]);
  }
}

// The pass for a half-window of `Half`, or of in.half for 0: a half-window
// known to the compiler keeps the window's masks in registers.
template <int Half>
QUAX_AVX2 void passOf(const AverageWideInput& in,
                      _ScanLine<double, _ScanPoint<double>>* line) {
  const std::int64_t half = Half > 0 ? Half : in.half;
  const std::int64_t n = 2 * half + 1;
  const Lanes4 zero = Lanes4::all(0.0);
  const Lanes4 two = Lanes4::all(2.0);
  const Lanes4 tolerance = Lanes4::all(zeroVectorTolerance<double>());
  Lanes4 weights[2 * kMaxWideHalfWindow + 1];
  for (std::int64_t k = 0; k < n; ++k) {
    weights[k] = Lanes4::all(static_cast<double>(in.weights[k]));
  }
  Lanes4 nearby[2 * kMaxWideHalfWindow + 1];
  for (std::int64_t g = 0;; g += 4) {
    const Lanes4 px = Lanes4::load(in.xs + g);
    const Lanes4 py = Lanes4::load(in.ys + g);
    const Lanes4 pz = Lanes4::load(in.zs + g);
    nearbyOf(in, px, py, pz, g, half, nearby);
    const WindowSum a = sumOf(in, nearby, g, half, 0, half + 1);
    const WindowSum b = sumOf(in, nearby, g, half, half, n);
    const int ending = bitsOf(equal(a.count, zero) | less(b.count, two));
    const int stop =
        ending != 0 ? __builtin_ctz(static_cast<unsigned>(ending)) : 4;
    if (stop > 0) {
      const WindowChord<Lanes4> c = windowChordOf(
          a.x / a.count, a.y / a.count, a.z / a.count, b.x / b.count,
          b.y / b.count, b.z / b.count, px, py, pz);
      // Neighbours outside the qualifying ones add +0, which changes no sum
      // (a sum that starts at +0 is never -0).
      Lanes4 weighted = zero;
      Lanes4 weightSum = zero;
      for (std::int64_t k = 0; k < n; ++k) {
        const std::int64_t j = g - half + k;
        const Lanes4 offset =
            normalOffsetOf(Lanes4::load(in.xs + j), Lanes4::load(in.ys + j),
                           Lanes4::load(in.zs + j), c);
        weighted = weighted + where(nearby[k], weights[k] * offset);
        weightSum = weightSum + where(nearby[k], weights[k]);
      }
      const int moved =
          bitsOf(notLess(c.length, tolerance) & notLess(c.distance, tolerance) &
                 notEqual(weightSum, zero)) &
          ((1 << stop) - 1);
      if (moved != 0) writeMoved(c, weighted / weightSum, moved, stop, g, line);
    }
    if (stop < 4) {
      if ((bitsOf(equal(a.count, zero)) >> stop & 1) != 0) {
        throw EMathDivisionByZero();
      }
      return;
    }
  }
}

}  // namespace

QUAX_AVX2 void averageWide(const AverageWideInput& input,
                           _ScanLine<double, _ScanPoint<double>>* line) {
  switch (input.half) {
    case 2:
      return passOf<2>(input, line);
    case 4:
      return passOf<4>(input, line);
    default:
      return passOf<0>(input, line);
  }
}

#else

bool averageWideSupported() { return false; }

void averageWide(const AverageWideInput&,
                 _ScanLine<double, _ScanPoint<double>>*) {}

#endif

}  // namespace QUAX
