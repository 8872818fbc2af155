// SPDX-License-Identifier: MIT
// Nearest-point search of the stitch tool (internal, not installed).
//
// The search answers: among the points of a surface that lie in the cube of
// half-size `tolerance` around a query point, which one is nearest? Ties go
// to the point visited first, and no point in the cube gives (0, 0, 0). The
// reference answer is one pass over every point in visit order
// (nearestPointByPass); StitchPointIndex gives the same answer from a uniform
// grid, touching only the cells that meet the cube.
#ifndef QUAX_SCAN_STITCH_STITCHPOINTINDEX_H_
#define QUAX_SCAN_STITCH_STITCHPOINTINDEX_H_

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace QUAX {
namespace stitch_detail {

struct StitchPosition {
  double x = 0.0, y = 0.0, z = 0.0;
};

struct StitchNearest {
  StitchPosition position;    // (0, 0, 0) when nothing was found
  std::int64_t ordinal = -1;  // visit ordinal of the point, -1 for none
  bool found() const noexcept { return ordinal >= 0; }
};

// The search's start: anything at this distance or farther is never taken.
constexpr double kNoDistance = 1e100;

// |c - p| as the geometry types compute it (sqrt of x² + y² + z² of c - p).
inline double stitchDistance(const StitchPosition& c,
                             const StitchPosition& p) noexcept {
  const double dx = c.x - p.x, dy = c.y - p.y, dz = c.z - p.z;
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

// The pass over every point: for each point in order, x, y and z in turn are
// refused when |c - p| in that coordinate is greater than the best distance
// so far or greater than `tolerance`; a point that passes becomes the best
// when its distance is strictly less than the best distance (1e100 at the
// start).
class StitchPassSearch {
 public:
  StitchPassSearch(const StitchPosition& query, double tolerance) noexcept
      : _query(query), _tolerance(tolerance) {}

  void visit(const StitchPosition& p, std::int64_t ordinal) noexcept {
    const double dx = std::fabs(_query.x - p.x);
    if (dx > _best || dx > _tolerance) return;
    const double dy = std::fabs(_query.y - p.y);
    if (dy > _best || dy > _tolerance) return;
    const double dz = std::fabs(_query.z - p.z);
    if (dz > _best || dz > _tolerance) return;
    const double d = stitchDistance(_query, p);
    if (d < _best) {
      _best = d;
      _result.position = p;
      _result.ordinal = ordinal;
    }
  }
  const StitchNearest& result() const noexcept { return _result; }

 private:
  StitchPosition _query;
  double _tolerance;
  double _best = kNoDistance;
  StitchNearest _result;
};

// Reference search over `points`, ordinal i being points[i].
StitchNearest nearestPointByPass(const StitchPosition* points,
                                 std::size_t count, const StitchPosition& query,
                                 double tolerance);

// Uniform grid over a copy of a surface's point positions.
//
// Why it answers exactly like the pass:
// 1. A point outside the tolerance cube is refused by the pass whatever came
//    before it, so leaving it out changes nothing. The cells visited cover
//    the cube, with a margin for rounding, so every point the pass could
//    take is a candidate. Non-finite points are never taken and left out.
// 2. Inside the cube the pass also refuses a point whose coordinate
//    difference m is greater than the best distance b so far. Such a point
//    cannot win anyway: its distance is at least sqrt(m * m) as rounded, and
//    no double has a rounded square root strictly between that value and m
//    (the next double above m * m rounded is above m²), so b < m gives
//    b <= its distance, and the pass needs strictly less.
// 3. So the pass keeps the first point in visit order among those of least
//    distance below 1e100. The grid keeps the least (distance, ordinal)
//    pair over its candidates, in any order: the same point.
//
// Thread safety: const queries may run concurrently; build and translate
// may not overlap with anything.
class StitchPointIndex {
 public:
  StitchPointIndex() = default;

  // Indexes `count` positions, ordinal i being points[i], for searches
  // with `tolerance`.
  void build(const StitchPosition* points, std::size_t count, double tolerance);
  // Moves every indexed point by t exactly as the surface's points move
  // (x + tx, y + ty, z + tz), keeping the copy equal to the surface. The
  // cells stay where they were built; queries are shifted instead.
  void translate(double tx, double ty, double tz) noexcept;

  StitchNearest nearest(const StitchPosition& query) const;

  bool isBuilt() const noexcept { return _built; }
  std::size_t size() const noexcept { return _points.size(); }

 private:
  struct IndexedPoint {
    double x, y, z;
    std::uint32_t ordinal;
  };
  static constexpr std::uint64_t kEmpty = ~std::uint64_t{0};
  static constexpr std::uint32_t kNoCell = ~std::uint32_t{0};

  // The finite points' box sets the origin, the cell size and the number of
  // cells per axis; returns how many points are finite.
  std::size_t sizeCells(const StitchPosition* points, std::size_t count);
  // Sorts the finite points into their cells, each cell in visit order.
  void fillCells(const StitchPosition* points, std::size_t count,
                 std::size_t finiteCount);
  std::uint64_t keyOf(const StitchPosition& p) const noexcept;
  void resetTable(std::size_t capacity);
  // The number of the cell `key`, given `next` when it is new.
  std::uint32_t insertCell(std::uint64_t key, std::uint32_t next);
  std::uint32_t findCell(std::uint64_t key) const noexcept;

  bool _built = false;
  bool _refuseAll = false;  // negative tolerance: the cube holds nothing
  double _tolerance = 0.0;
  double _origin[3] = {0.0, 0.0, 0.0};
  double _inverseCell = 0.0;
  std::int64_t _cells[3] = {1, 1, 1};
  // Open addressing from cell key (kEmpty for a free slot) to cell number;
  // cell c holds _points[_cellStart[c]] up to _points[_cellStart[c + 1]].
  std::vector<std::uint64_t> _slotKeys;
  std::vector<std::uint32_t> _slotCell;
  int _slotShift = 64;
  std::size_t _slotsUsed = 0;
  std::vector<std::uint32_t> _cellStart;
  // Points cell by cell, each cell in visit order.
  std::vector<IndexedPoint> _points;
  // Translation applied since the build and a bound on the rounding it
  // brought, for shifting queries back onto the built cells.
  double _shift[3] = {0.0, 0.0, 0.0};
  double _margin = 0.0;
  double _magnitude = 0.0;
};

}  // namespace stitch_detail
}  // namespace QUAX

#endif  // QUAX_SCAN_STITCH_STITCHPOINTINDEX_H_
