// SPDX-License-Identifier: MIT
#include "scan/filters/ChordalDeviation.h"

#include <cmath>
#include <limits>

#include "scan/filters/ChordalDeviationWide.h"

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
constexpr std::size_t kPlainSpan = 8;

// A relative allowance for the rounding of the bound itself.
constexpr double kBoundSlack = 1e-9;

// The squared length as _MathVector::length() and DistanceBound take it.
double squaredLength(const Vector& v) {
  return v.x() * v.x() + v.y() * v.y() + v.z() * v.z();
}

// The larger of two values, not a number when either is not: a block with a
// coordinate that is not a number is then always tested point by point.
// Written to compile to selects rather than branches, whose outcomes follow
// the data.
double maxOf(double a, double b) {
  const double larger = a > b ? a : b;  // b when either is not a number
  return a == a ? larger : a;
}

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
  // The largest magnitude per axis, and a sum that is not a number once a
  // coordinate is not finite (0 times infinity is not a number either).
  double sx = 0.0;
  double sy = 0.0;
  double sz = 0.0;
  double finite = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    const double x = std::fabs(p[i].x());
    const double y = std::fabs(p[i].y());
    const double z = std::fabs(p[i].z());
    sx = x > sx ? x : sx;
    sy = y > sy ? y : sy;
    sz = z > sz ? z : sz;
    finite += x * 0.0 + y * 0.0 + z * 0.0;
  }
  const double scale =
      (sx > sy ? (sx > sz ? sx : sz) : (sy > sz ? sy : sz)) + finite;
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
// the new chord as its reference. Above the blocks, one summary bounds all
// whole groups of the span and one the closed blocks of the open group, so
// that a step whose chord turns little checks three bounds. The first point
// at or beyond the limit is therefore the plain walk's, and the kept points
// are the same.
ChordSpans::ChordSpans(const Point* p, std::size_t n, double deviationLimit,
                       ChordalWork& work)
    : _p(p),
      _none(n),
      _deviation(deviationLimit),
      _rounding(deviationRounding(p, n)),
      // A limit that is not a positive number leaves every block to the
      // per-point test.
      _below(deviationLimit * (1.0 - kBoundSlack) - _rounding),
      _work(work) {
  const std::size_t blockCount = (n >> kBlockShift) + 1;
  const std::size_t groupCount = (blockCount >> kGroupShift) + 1;
  if (work.blocks.size() < blockCount) work.blocks.resize(blockCount);
  if (work.groups.size() < groupCount) work.groups.resize(groupCount);
  for (std::size_t b = 0; b < blockCount; ++b) work.blocks[b].anchor = _none;
  for (std::size_t g = 0; g < groupCount; ++g) work.groups[g].anchor = _none;
  work.whole.anchor = _none;
  work.closed.anchor = _none;
}

void ChordSpans::skip(std::size_t i) {
  _work.blocks[i >> kBlockShift].anchor = _none;
}

// Whether `unit` (a block, a group or a summary) holds for this anchor and
// its bound stays below the limit; `bound`, when given, receives that bound
// of its deviations from the chord.
bool ChordSpans::holds(const ChordBlock& unit, double* bound) const {
  if (unit.anchor != _anchor) return false;
  const double slack = _below - unit.deviation;
  const double drift = unit.reachSquared * turnOf(_line->direction, unit);
  if (!(slack > 0.0 && drift < slack * slack * (1.0 - kBoundSlack))) {
    return false;
  }
  if (bound) *bound = unit.deviation + std::sqrt(drift);
  return true;
}

// Tests block b: false when its bound stays below the limit or its points,
// tested one by one, do; true when a point reaches the limit (_hit is then
// set). `bound` receives an upper bound of the block's deviations from the
// chord.
bool ChordSpans::blockReaches(std::size_t b, double* bound) {
  ChordBlock& block = _work.blocks[b];
  if (holds(block, bound)) return false;
  // The points of the block in the span, tested as the plain walk does.
  const std::size_t first =
      b << kBlockShift > _anchor + 1 ? b << kBlockShift : _anchor + 1;
  const std::size_t last = (b << kBlockShift) + kBlockMask < _i
                               ? (b << kBlockShift) + kBlockMask
                               : _i;
  const Point& origin = _line->origin;
  const Vector& u = _line->direction;
  double largest = 0.0;
  double reach = 0.0;
  for (std::size_t j = first; j <= last; ++j) {
    const Vector off = _p[j] - _line->project(_p[j]);
    if (_deviation.reachedBy(off)) {
      _hit = j;
      return true;
    }
    largest = maxOf(largest, squaredLength(off));
    reach = maxOf(reach, squaredLength(_p[j] - origin));
  }
  block = ChordBlock{u.x(), u.y(), u.z(), std::sqrt(largest), reach, _anchor};
  if (bound) *bound = block.deviation;
  return false;
}

// Tests blocks from ... to - 1 in order, as blockReaches does, and bounds
// them afresh as one unit (the chord is its reference) unless a point
// reaches the limit. Bounds of bounds: each regrouping adds its own rounding
// allowance.
bool ChordSpans::blocksReach(std::size_t from, std::size_t to,
                             ChordBlock& unit) {
  double largest = 0.0;
  double reach = 0.0;
  double bound = 0.0;
  for (std::size_t b = from; b < to; ++b) {
    if (blockReaches(b, &bound)) return true;
    largest = maxOf(largest, bound);
    reach = maxOf(reach, _work.blocks[b].reachSquared);
  }
  const Vector& u = _line->direction;
  unit = ChordBlock{u.x(), u.y(),
                    u.z(), largest * (1.0 + kBoundSlack) + _rounding,
                    reach, _anchor};
  return false;
}

std::size_t ChordSpans::firstReaching(std::size_t anchor, std::size_t i,
                                      const ChordLine& line) {
  _anchor = anchor;
  _i = i;
  _line = &line;
  _hit = _none;
  const Point& origin = line.origin;
  const Vector& u = line.direction;
  ChordBlock* blocks = _work.blocks.data();
  ChordBlock* groups = _work.groups.data();

  // p[i] joins the span and its block.
  {
    ChordBlock& block = blocks[i >> kBlockShift];
    const double reach = squaredLength(_p[i] - origin);
    if (i == anchor + 1 || (i & kBlockMask) == 0) {
      block = ChordBlock{u.x(), u.y(), u.z(), deviationFrom(origin, u, _p[i]),
                         reach, anchor};
    } else if (block.anchor == anchor) {
      const Vector reference(block.ux, block.uy, block.uz);
      block.deviation =
          maxOf(block.deviation, deviationFrom(origin, reference, _p[i]));
      block.reachSquared = maxOf(block.reachSquared, reach);
    }
  }

  // The span's points fall in three parts: whole groups of blocks, the
  // closed blocks of the open group, and the block of p[i]. The whole groups
  // are passed over by one summary of them all and the closed blocks by one
  // of theirs while those hold; a part whose summary does not is tested unit
  // by unit and summarized afresh.
  const std::size_t firstBlock = (anchor + 1) >> kBlockShift;
  const std::size_t lastBlock = i >> kBlockShift;
  const std::size_t firstGroup = firstBlock >> kGroupShift;
  const std::size_t openGroup = lastBlock >> kGroupShift;
  if (firstGroup < openGroup &&
      !(_work.wholeEnd == openGroup && holds(_work.whole, nullptr))) {
    double largest = 0.0;
    double reach = 0.0;
    for (std::size_t g = firstGroup; g < openGroup; ++g) {
      ChordBlock& group = groups[g];
      double bound = 0.0;
      if (!holds(group, &bound)) {
        const std::size_t from =
            g << kGroupShift > firstBlock ? g << kGroupShift : firstBlock;
        if (blocksReach(from, (g + 1) << kGroupShift, group)) break;
        bound = group.deviation;
      }
      largest = maxOf(largest, bound);
      reach = maxOf(reach, group.reachSquared);
    }
    if (_hit == _none) {
      _work.whole = ChordBlock{u.x(), u.y(),
                               u.z(), largest * (1.0 + kBoundSlack) + _rounding,
                               reach, anchor};
      _work.wholeEnd = openGroup;
    }
  }
  if (_hit == _none) {
    const std::size_t from = openGroup << kGroupShift > firstBlock
                                 ? openGroup << kGroupShift
                                 : firstBlock;
    if (from < lastBlock &&
        !(_work.closedEnd == lastBlock && holds(_work.closed, nullptr))) {
      if (!blocksReach(from, lastBlock, _work.closed)) {
        _work.closedEnd = lastBlock;
      }
    }
  }
  if (_hit == _none) blockReaches(lastBlock, nullptr);
  return _hit;
}

std::size_t thinByChordalDeviation(const Point* p, std::size_t n,
                                   double deviationLimit, double maxSpan,
                                   Point* out, ChordalWork& work, bool wide) {
  if (wide && chordalWideRuns(deviationLimit)) {
    return thinByChordalDeviationWide(p, n, deviationLimit, maxSpan, out, work);
  }
  const double epsilon = std::numeric_limits<double>::epsilon();
  const DistanceBound deviation(deviationLimit);
  ChordSpans spans(p, n, deviationLimit, work);
  const std::size_t none = n;
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
    if (span < epsilon) {
      spans.skip(i);
      continue;
    }
    const ChordLine line(p[anchor], chord, span);
    std::size_t hit = none;
    if (i - anchor < kPlainSpan) {
      for (std::size_t j = anchor + 1; j <= i; ++j) {
        if (deviation.reachedBy(p[j] - line.project(p[j]))) {
          hit = j;
          break;
        }
      }
    } else {
      hit = spans.firstReaching(anchor, i, line);
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

bool chordsNeverFault(const Point* p, std::size_t n,
                      std::vector<double>& scratch) {
  // Two positions whose coordinates differ by at least the gap along an axis
  // are at least that far apart, and their chord, rounded, is longer than
  // the tolerance.
  const double gap = 4.0 * zeroVectorTolerance<double>();
  if (scratch.size() < n) scratch.resize(n);
  double* sorted = scratch.data();
  for (int axis = 0; axis < 3; ++axis) {
    for (std::size_t i = 0; i < n; ++i) {
      sorted[i] = axis == 0 ? p[i].x() : axis == 1 ? p[i].y() : p[i].z();
    }
    std::size_t moves = 8 * n;
    bool apart = true;
    for (std::size_t i = 1; i < n && apart; ++i) {
      const double value = sorted[i];
      std::size_t j = i;
      for (; j > 0 && sorted[j - 1] > value; --j) {
        sorted[j] = sorted[j - 1];
        if (--moves == 0) break;
      }
      sorted[j] = value;
      apart = moves != 0;
    }
    for (std::size_t i = 1; i < n && apart; ++i) {
      apart = sorted[i] - sorted[i - 1] >= gap;  // false when not a number
    }
    if (apart) return true;
  }
  return false;
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
