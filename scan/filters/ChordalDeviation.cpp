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

// Groups of 2^kGroupShift blocks.
constexpr std::size_t kGroupShift = 3;

// Spans shorter than this are tested point by point: the blocks pay off only
// on longer ones.
constexpr std::size_t kPlainSpan = 16;

// A relative allowance for the rounding of the bound itself.
constexpr double kBoundSlack = 1e-9;

// The squared length as _MathVector::length() and DistanceBound take it.
double squaredLength(const Vector& v) {
  return v.x() * v.x() + v.y() * v.y() + v.z() * v.z();
}

// The larger of two values, not a number when either is not: a block with a
// coordinate that is not a number is then always tested point by point.
double maxOf(double a, double b) { return a >= b ? a : (b > a ? b : a + b); }

// The squared turn |u - reference| of a chord from a block's reference.
double turnOf(const Vector& u, const ChordBlock& block) {
  const double tx = u.x() - block.ux;
  const double ty = u.y() - block.uy;
  const double tz = u.z() - block.uz;
  return tx * tx + ty * ty + tz * tz;
}

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
  const double rounding = deviationRounding(p, n);
  const double below = deviationLimit * (1.0 - kBoundSlack) - rounding;
  const std::size_t blockCount = (n >> kBlockShift) + 1;
  const std::size_t groupCount = (blockCount >> kGroupShift) + 1;
  if (work.blocks.size() < blockCount) work.blocks.resize(blockCount);
  if (work.groups.size() < groupCount) work.groups.resize(groupCount);
  ChordBlock* blocks = work.blocks.data();
  ChordBlock* groups = work.groups.data();
  const std::size_t none = n;  // no block holds for this anchor yet
  for (std::size_t b = 0; b < blockCount; ++b) blocks[b].anchor = none;
  for (std::size_t g = 0; g < groupCount; ++g) groups[g].anchor = none;

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
    if (i - anchor < kPlainSpan) {
      for (std::size_t j = anchor + 1; j <= i; ++j) {
        if (deviation.reachedBy(p[j] - line.project(p[j]))) {
          const std::size_t keep = j - 1 == anchor ? j : j - 1;
          out[kept++] = p[keep];
          anchor = keep;
          break;
        }
      }
      continue;
    }
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

    // Tests block b: false when its bound stays below the limit or its
    // points, tested one by one, do; true when a point reaches the limit
    // (the kept point and the anchor are then updated). `bound` receives an
    // upper bound of the block's deviations from the chord.
    std::size_t hit = none;
    auto blockReaches = [&](std::size_t b, double& bound) {
      ChordBlock& block = blocks[b];
      if (block.anchor == anchor) {
        const double slack = below - block.deviation;
        const double turn = turnOf(u, block);
        const double drift = block.reachSquared * turn;
        if (slack > 0.0 && drift < slack * slack * (1.0 - kBoundSlack)) {
          bound = block.deviation + std::sqrt(drift);
          return false;
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
      for (std::size_t j = first; j <= last; ++j) {
        const Vector off = p[j] - line.project(p[j]);
        if (deviation.reachedBy(off)) {
          hit = j;
          return true;
        }
        largest = maxOf(largest, squaredLength(off));
        reach = maxOf(reach, squaredLength(p[j] - origin));
      }
      block =
          ChordBlock{u.x(), u.y(), u.z(), std::sqrt(largest), reach, anchor};
      bound = block.deviation;
      return false;
    };

    // Whole groups of blocks before the one of p[i] are passed over by the
    // group's bound; a group that reaches the limit is tested block by block
    // and then bounded afresh from its blocks' bounds.
    const std::size_t firstBlock = (anchor + 1) >> kBlockShift;
    const std::size_t lastBlock = i >> kBlockShift;
    const std::size_t openGroup = lastBlock >> kGroupShift;
    double bound = 0.0;
    for (std::size_t g = firstBlock >> kGroupShift; g < openGroup; ++g) {
      ChordBlock& group = groups[g];
      if (group.anchor == anchor) {
        const double slack = below - group.deviation;
        const double drift = group.reachSquared * turnOf(u, group);
        if (slack > 0.0 && drift < slack * slack * (1.0 - kBoundSlack)) {
          continue;
        }
      }
      const std::size_t from =
          g << kGroupShift > firstBlock ? g << kGroupShift : firstBlock;
      const std::size_t to = ((g + 1) << kGroupShift) - 1;
      double largest = 0.0;
      double reach = 0.0;
      for (std::size_t b = from; b <= to; ++b) {
        if (blockReaches(b, bound)) break;
        largest = maxOf(largest, bound);
        reach = maxOf(reach, blocks[b].reachSquared);
      }
      if (hit != none) break;
      // Bounds of bounds: each regrouping adds its own rounding allowance.
      group = ChordBlock{u.x(), u.y(),
                         u.z(), largest * (1.0 + kBoundSlack) + rounding,
                         reach, anchor};
    }
    if (hit == none) {
      const std::size_t from = openGroup << kGroupShift > firstBlock
                                   ? openGroup << kGroupShift
                                   : firstBlock;
      for (std::size_t b = from; b <= lastBlock; ++b) {
        if (blockReaches(b, bound)) break;
      }
    }
    if (hit != none) {
      const std::size_t keep = hit - 1 == anchor ? hit : hit - 1;
      out[kept++] = p[keep];
      anchor = keep;
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
