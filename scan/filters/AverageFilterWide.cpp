// SPDX-License-Identifier: MIT
#include "scan/filters/AverageFilterWide.h"

#include <cmath>

#include "geomath/MathErrors.h"
#include "geomath/MathVector.h"
#include "scan/filters/WideLanes.h"

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
QUAX_AVX2 inline Wide nearOf(const AverageWideInput& in, Wide px, Wide py,
                             Wide pz, std::int64_t at) {
  const Wide dx = px - load(in.xs + at);
  const Wide dy = py - load(in.ys + at);
  const Wide dz = pz - load(in.zs + at);
  const Wide squared = dx * dx + dy * dy + dz * dz;
  const Wide inside = atMost(squared, all(in.lower));
  const int undecided =
      ~(bitsOf(inside) | bitsOf(atLeast(squared, all(in.upper)))) & 15;
  if (undecided == 0) return inside;
  double lanes[4];
  store(squared, lanes);
  return inside | maskOf(rootsWithin(lanes, undecided, in.limit));
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

// The pass for a half-window of `Half`, or of in.half for 0: a half-window
// known to the compiler keeps the window's masks in registers.
template <int Half>
QUAX_AVX2 void passOf(const AverageWideInput& in,
                      _ScanLine<double, _ScanPoint<double>>* line) {
  const std::int64_t half = Half > 0 ? Half : in.half;
  const std::int64_t n = 2 * half + 1;
  const std::int64_t m = in.count;
  const double* xs = in.xs;
  const double* ys = in.ys;
  const double* zs = in.zs;
  const Wide zero = all(0.0);
  const Wide one = all(1.0);
  const Wide two = all(2.0);
  const Wide tolerance = all(zeroVectorTolerance<double>());
  const Wide lane = {_mm256_set_pd(3.0, 2.0, 1.0, 0.0)};
  Wide weights[2 * kMaxWideHalfWindow + 1];
  for (std::int64_t k = 0; k < n; ++k) {
    weights[k] = all(static_cast<double>(in.weights[k]));
  }
  // Per window position, the lanes whose neighbour there qualifies.
  Wide nearby[2 * kMaxWideHalfWindow + 1];
  for (std::int64_t g = 0;; g += 4) {
    const Wide px = load(xs + g);
    const Wide py = load(ys + g);
    const Wide pz = load(zs + g);
    // |p - p| is 0 for finite coordinates and not a number otherwise.
    nearby[half] = equal(px * zero + py * zero + pz * zero, zero);
    for (std::int64_t d = 1; d <= half; ++d) {
      nearby[half + d] = nearOf(in, px, py, pz, g + d) &
                         less(lane, all(static_cast<double>(m - g - d)));
      nearby[half - d] = nearOf(in, px, py, pz, g - d) &
                         atLeast(lane, all(static_cast<double>(d - g)));
    }
    Wide sumX = zero;
    Wide sumY = zero;
    Wide sumZ = zero;
    Wide countA = zero;
    for (std::int64_t k = 0; k <= half; ++k) {
      const std::int64_t j = g - half + k;
      sumX = sumX + where(nearby[k], load(xs + j));
      sumY = sumY + where(nearby[k], load(ys + j));
      sumZ = sumZ + where(nearby[k], load(zs + j));
      countA = countA + where(nearby[k], one);
    }
    const Wide ax = sumX / countA;
    const Wide ay = sumY / countA;
    const Wide az = sumZ / countA;
    sumX = sumY = sumZ = zero;
    Wide countB = zero;
    for (std::int64_t k = half; k < n; ++k) {
      const std::int64_t j = g - half + k;
      sumX = sumX + where(nearby[k], load(xs + j));
      sumY = sumY + where(nearby[k], load(ys + j));
      sumZ = sumZ + where(nearby[k], load(zs + j));
      countB = countB + where(nearby[k], one);
    }
    const int ending = bitsOf(equal(countA, zero) | less(countB, two));
    const int stop =
        ending != 0 ? __builtin_ctz(static_cast<unsigned>(ending)) : 4;
    if (stop > 0) {
      const Wide bx = sumX / countB;
      const Wide by = sumY / countB;
      const Wide bz = sumZ / countB;
      const Wide half2 = all(0.5);
      const Wide ox = (ax + bx) * half2;
      const Wide oy = (ay + by) * half2;
      const Wide oz = (az + bz) * half2;
      Wide dx = bx - ax;
      Wide dy = by - ay;
      Wide dz = bz - az;
      const Wide chordLength = sqrtOf(dx * dx + dy * dy + dz * dz);
      dx = dx / chordLength;
      dy = dy / chordLength;
      dz = dz / chordLength;
      const Wide t = (px - ox) * dx + (py - oy) * dy + (pz - oz) * dz;
      const Wide fx = ox + dx * t;
      const Wide fy = oy + dy * t;
      const Wide fz = oz + dz * t;
      const Wide nx = px - fx;
      const Wide ny = py - fy;
      const Wide nz = pz - fz;
      const Wide distance = sqrtOf(nx * nx + ny * ny + nz * nz);
      const Wide ux = nx / distance;
      const Wide uy = ny / distance;
      const Wide uz = nz / distance;
      // Neighbours outside the qualifying ones add +0, which changes no sum
      // (a sum that starts at +0 is never -0).
      Wide weighted = zero;
      Wide weightSum = zero;
      for (std::int64_t k = 0; k < n; ++k) {
        const std::int64_t j = g - half + k;
        const Wide qx = load(xs + j);
        const Wide qy = load(ys + j);
        const Wide qz = load(zs + j);
        const Wide s = (qx - ox) * dx + (qy - oy) * dy + (qz - oz) * dz;
        const Wide offset = (qx - (ox + dx * s)) * ux +
                            (qy - (oy + dy * s)) * uy +
                            (qz - (oz + dz * s)) * uz;
        weighted = weighted + where(nearby[k], weights[k] * offset);
        weightSum = weightSum + where(nearby[k], weights[k]);
      }
      const Wide mean = weighted / weightSum;
      const int moved =
          bitsOf(notLess(chordLength, tolerance) &
                 notLess(distance, tolerance) & notEqual(weightSum, zero)) &
          ((1 << stop) - 1);
      if (moved != 0) {
        double x[4];
        double y[4];
        double z[4];
        store(fx + ux * mean, x);
        store(fy + uy * mean, y);
        store(fz + uz * mean, z);
        for (int l = 0; l < stop; ++l) {
          if ((moved >> l & 1) == 0) continue;
          line->getPoint(static_cast<std::size_t>(g + l))
              ->setPosition(x[l], y[l], z[l]);
        }
      }
    }
    if (stop < 4) {
      if ((bitsOf(equal(countA, zero)) >> stop & 1) != 0) {
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
