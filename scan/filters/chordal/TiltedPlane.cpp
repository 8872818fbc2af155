// SPDX-License-Identifier: MIT
#include "scan/filters/chordal/TiltedPlane.h"

#include <cmath>

#include "scan/filters/Rounding.h"

namespace QUAX {

namespace {

struct Axis {
  double x;
  double y;
  double z;
};

double dot(const Axis& a, const Axis& b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}

Axis cross(const Axis& a, const Axis& b) {
  return Axis{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z,
              a.x * b.y - a.y * b.x};
}

Axis unit(const Axis& a) {
  const double length = std::sqrt(dot(a, a));
  return Axis{a.x / length, a.y / length, a.z / length};
}

// Two axes along the plane and its normal, nearly orthonormal: e1 along the
// chord of the first and last points, the normal across it and the point
// farthest from it of 64 spread along the line (a line off any plane, the
// usual case, is then found off it after a few points). Not numbers when
// those points lie on one line.
struct Frame {
  Axis e1;
  Axis e2;
  Axis normal;
};

Frame frameOf(const double* xs, const double* ys, const double* zs,
              std::size_t n) {
  const Axis along{xs[n - 1] - xs[0], ys[n - 1] - ys[0], zs[n - 1] - zs[0]};
  double farthest = 0.0;
  Axis across{0.0, 0.0, 0.0};
  const std::size_t stride = n / 64 + 1;
  for (std::size_t i = 1; i + 1 < n; i += stride) {
    const Axis q{xs[i] - xs[0], ys[i] - ys[0], zs[i] - zs[0]};
    const Axis c = cross(q, along);
    const double squared = dot(c, c);
    if (squared > farthest) {
      farthest = squared;
      across = q;
    }
  }
  Frame frame;
  frame.e1 = unit(along);
  const Axis normal = unit(cross(along, across));
  const double off = dot(normal, frame.e1);
  frame.normal =
      unit(Axis{normal.x - off * frame.e1.x, normal.y - off * frame.e1.y,
                normal.z - off * frame.e1.z});
  frame.e2 = unit(cross(frame.normal, frame.e1));
  return frame;
}

// How far the frame is from orthonormal: a bound of every entry of its Gram
// matrix less the identity (each computed dot product of near-unit vectors
// rounds by less than 4 eps; kTiltedFrameUlps covers the six).
double skewOf(const Frame& f) {
  return std::fabs(dot(f.e1, f.e1) - 1.0) + std::fabs(dot(f.e2, f.e2) - 1.0) +
         std::fabs(dot(f.normal, f.normal) - 1.0) + std::fabs(dot(f.e1, f.e2)) +
         std::fabs(dot(f.e1, f.normal)) + std::fabs(dot(f.e2, f.normal)) +
         kTiltedFrameUlps * kEpsilon;
}

}  // namespace

// With q a point's offset from the anchor and c the chord (in space, exact
// differences of the positions), the chord line's squared deviation S times
// |c|^2 is |q x c|^2 within r (2 D + r) |c|^2 (r the deviation rounding, D
// a bound of |q| and |c|). The frame's coordinates of q and c are q1, q2,
// q3 and c1, c2, c3; with its Gram matrix within `skew` of the identity
// (eta), |q x c|^2 is the sum of the three squared 2 x 2 minors within
// 13 eta |q|^2 |c|^2, and the two minors with q3 or c3 (each at most 2 W,
// W bounding the points' distance from the plane) add at most 8.1 W^2 (|q|^2
// + |c|^2). Each computed plane coordinate lies within g of its exact value
// (g = kTiltedOffsetUlps eps times the largest offset from the middle point
// in the 1-norm, four times the rounding of a difference and a dot product),
// so the cross product of the offsets moves by at most (4.1 g |c| + 4.1 g
// |q| + 8.1 g^2) |c|, and the plane's squared chord s = |(c1, c2)|^2 from
// |c|^2 by the slack 3 eta |c|^2 + 4 W^2 + 4.1 g |c| + 4 g^2 (which, times
// S <= 1.01 D^2, also bounds S |c|^2 against S s). Collected by powers of
// |c|: K2 |c|^2 + K1 |c| + K0, with |c|^2 <= s + slack and |c| <= (|c|^2 /
// h + h) / 2 for the point spacing h; the coordinate plane's spare factor
// covers the rounding of these sums.
bool projectOntoTiltedPlane(const double* xs, const double* ys,
                            const double* zs, std::size_t n, double extent,
                            double rounding, double* as, double* bs,
                            TiltedPlane& plane) {
  if (n < 3) return false;
  const Frame f = frameOf(xs, ys, zs, n);
  const double eta = skewOf(f);
  if (!(eta < kTiltedSkewLimit)) return false;  // not a number: no plane
  const double flat = kTiltedFlatness * extent;
  // Offsets from a point of the line, in the plane.
  const std::size_t middle = n / 2;
  const double center[3] = {xs[middle], ys[middle], zs[middle]};
  double reach = 0.0;
  double off = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    const Axis d{xs[i] - center[0], ys[i] - center[1], zs[i] - center[2]};
    as[i] = dot(f.e1, d);
    bs[i] = dot(f.e2, d);
    const double w = std::fabs(dot(f.normal, d));
    if (!(w <= flat)) return false;
    off = w > off ? w : off;
    const double l1 = std::fabs(d.x) + std::fabs(d.y) + std::fabs(d.z);
    reach = l1 > reach ? l1 : reach;
  }
  const double g = kTiltedOffsetUlps * kEpsilon * reach;
  const double w = off + g;
  const double d = 2.02 * reach + 4.0 * g;
  const double h = d / static_cast<double>(n);
  const double d2 = d * d;
  const double k2 = rounding * (2.0 * d + rounding) + 17.0 * eta * d2 +
                    9.0 * w * w + 5.0 * g * d + 13.0 * g * g;
  const double k1 = 9.0 * g * d2 + 9.0 * g * g * d;
  const double k0 =
      13.0 * w * w * d2 + 18.0 * g * g * d2 + 48.0 * g * g * g * g;
  const double slack = 3.0 * eta * d2 + 4.0 * w * w + 4.1 * g * d + 4.0 * g * g;
  plane.allowance = kPlaneAllowanceSpare *
                    (k2 + k1 / (2.0 * h) + kCrossProductUlps * kEpsilon * d2);
  plane.room = kPlaneAllowanceSpare *
                   (k0 + k2 * slack + k1 * (slack / (2.0 * h) + h / 2.0)) +
               kUnderflowRoom;
  plane.chordSlack = slack;
  return true;
}

}  // namespace QUAX
