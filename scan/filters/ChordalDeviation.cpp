// SPDX-License-Identifier: MIT
#include "scan/filters/ChordalDeviation.h"

#include <cmath>
#include <limits>

namespace QUAX {

namespace {

using Point = _GeoPoint<double>;
using Vector = _MathVector<double>;

// Blocks of 2^kBlockShift points.
constexpr std::size_t kBlockShift = 3;
constexpr std::size_t kBlockMask = (std::size_t{1} << kBlockShift) - 1;

// A relative allowance for the rounding of the bound itself.
constexpr double kBoundSlack = 1e-9;

// The squared length as _MathVector::length() and DistanceBound take it.
double squaredLength(const Vector& v) {
  return v.x() * v.x() + v.y() * v.y() + v.z() * v.z();
}

// The larger of two values, not a number when either is not: a block with a
// coordinate that is not a number is then always tested point by point.
double maxOf(double a, double b) { return a >= b ? a : (b > a ? b : a + b); }

// The deviation of `q` from the line through `origin` along the unit `u`,
// as the projection computes it.
double deviationFrom(const Point& origin, const Vector& u, const Point& q) {
  const Point foot = origin + u * ((q - origin).dot(u));
  return std::sqrt(squaredLength(q - foot));
}

}  // namespace

double deviationRounding(const Point* p, std::size_t n) {
  double scale = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    scale = maxOf(scale, std::fabs(p[i].x()));
    scale = maxOf(scale, std::fabs(p[i].y()));
    scale = maxOf(scale, std::fabs(p[i].z()));
  }
  // A deviation is made of a difference of positions, a dot product, a foot
  // point and a length, each rounded once per coordinate: its error, and that
  // of the bound of a turned chord, stays far below 64 units of the largest
  // coordinate's last place.
  return 1024.0 * std::numeric_limits<double>::epsilon() * scale +
         std::numeric_limits<double>::min();
}

// Per step the chord from the anchor to the next point changes; each block of
// the span checks its bound against the new chord, and only a block whose
// bound reaches the limit (less the rounding allowance) has its points tested
// exactly, in order, as the plain walk tests them. A block so tested takes
// the new chord as its reference. The first point at or beyond the limit is
// therefore the plain walk's, and the kept points are the same.
std::size_t thinByChordalDeviation(const Point* p, std::size_t n,
                                   double deviationLimit, double maxSpan,
                                   Point* out, ChordalWork& work) {
  const double epsilon = std::numeric_limits<double>::epsilon();
  const DistanceBound deviation(deviationLimit);
  // A block passes when its bound stays below this; a limit that is not a
  // positive number leaves every block to the per-point test.
  const double below =
      deviationLimit * (1.0 - kBoundSlack) - deviationRounding(p, n);
  const std::size_t blockCount = (n >> kBlockShift) + 1;
  if (work.blocks.size() < blockCount) work.blocks.resize(blockCount);
  ChordBlock* blocks = work.blocks.data();
  const std::size_t none = n;  // no block holds for this anchor yet
  for (std::size_t b = 0; b < blockCount; ++b) blocks[b].anchor = none;

  std::size_t kept = 0;
  std::size_t anchor = 0;
  out[kept++] = p[0];
  for (std::size_t i = 1; i + 1 < n; ++i) {
    const Vector chord = p[i + 1] - p[anchor];
    const double span = chord.length();
    if (span >= maxSpan) {
      out[kept++] = p[i];
      anchor = i;
      continue;
    }
    // The next point on the anchor: _GeoLine would refuse the direction as
    // degenerate, and p[i] is passed over untested.
    if (span < epsilon) continue;
    const ChordLine line(p[anchor], chord, span);
    const Point& origin = line.origin;
    const Vector& u = line.direction;

    // p[i] joins the span and its block.
    {
      ChordBlock& block = blocks[i >> kBlockShift];
      const double reach = squaredLength(p[i] - origin);
      if (i == anchor + 1 || (i & kBlockMask) == 0) {
        block = ChordBlock{u.x(), u.y(), u.z(), deviationFrom(origin, u, p[i]),
                           reach, anchor};
      } else if (block.anchor == anchor) {
        const Vector reference(block.ux, block.uy, block.uz);
        block.deviation =
            maxOf(block.deviation, deviationFrom(origin, reference, p[i]));
        block.reachSquared = maxOf(block.reachSquared, reach);
      }
    }

    for (std::size_t b = (anchor + 1) >> kBlockShift; b <= i >> kBlockShift;
         ++b) {
      ChordBlock& block = blocks[b];
      if (block.anchor == anchor) {
        const double slack = below - block.deviation;
        const double tx = u.x() - block.ux;
        const double ty = u.y() - block.uy;
        const double tz = u.z() - block.uz;
        const double turn = tx * tx + ty * ty + tz * tz;
        if (slack > 0.0 &&
            block.reachSquared * turn < slack * slack * (1.0 - kBoundSlack)) {
          continue;
        }
      }
      // The points of the block in the span, tested as the plain walk does.
      const std::size_t first =
          b << kBlockShift > anchor + 1 ? b << kBlockShift : anchor + 1;
      const std::size_t last = (b << kBlockShift) + kBlockMask < i
                                   ? (b << kBlockShift) + kBlockMask
                                   : i;
      double largest = 0.0;
      double reach = 0.0;
      std::size_t hit = none;
      for (std::size_t j = first; j <= last; ++j) {
        const Vector off = p[j] - line.project(p[j]);
        if (deviation.reachedBy(off)) {
          hit = j;
          break;
        }
        largest = maxOf(largest, squaredLength(off));
        reach = maxOf(reach, squaredLength(p[j] - origin));
      }
      if (hit != none) {
        const std::size_t keep = hit - 1 == anchor ? hit : hit - 1;
        out[kept++] = p[keep];
        anchor = keep;
        break;
      }
      block =
          ChordBlock{u.x(), u.y(), u.z(), std::sqrt(largest), reach, anchor};
    }
  }
  out[kept++] = p[n - 1];
  return kept;
}

DeviationStatistics deviationStatistics(const Point* p, std::size_t n) {
  const double epsilon = std::numeric_limits<double>::epsilon();
  DeviationStatistics stats;
  for (std::size_t i = 0; i + 2 < n; ++i) {
    stats.length = stats.length + (p[i + 1] - p[i]).length();
    const Vector direction = p[i + 2] - p[i];
    const double length = direction.length();
    // p[i + 2] on p[i]: _GeoLine refuses the direction as degenerate.
    if (length < epsilon) continue;
    const ChordLine chord(p[i], direction, length);
    const double d = p[i + 1].distanceTo(chord.project(p[i + 1]));
    stats.sum = stats.sum + d;
    ++stats.count;
    if (d > stats.maximum) stats.maximum = d;
    if (d < stats.minimum) stats.minimum = d;
  }
  return stats;
}

}  // namespace QUAX
