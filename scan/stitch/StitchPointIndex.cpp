// SPDX-License-Identifier: MIT
#include "scan/stitch/StitchPointIndex.h"

#include <algorithm>
#include <limits>

namespace QUAX {
namespace stitch_detail {

namespace {

constexpr double kEpsilon = std::numeric_limits<double>::epsilon();
// At most this many cells along an axis, so that a cell key fits 64 bits.
constexpr double kMaxCellsPerAxis = 1048576.0;
// Smallest cell size, keeping 1 / size finite.
constexpr double kMinCellSize = 1e-290;

bool isFinite(const StitchPosition& p) noexcept {
  return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

std::uint64_t hashKey(std::uint64_t key) noexcept {
  return key * 0x9E3779B97F4A7C15ull;
}

}  // namespace

StitchNearest nearestPointByPass(const StitchPosition* points,
                                 std::size_t count, const StitchPosition& query,
                                 double tolerance) {
  StitchPassSearch search(query, tolerance);
  for (std::size_t i = 0; i < count; ++i) {
    search.visit(points[i], static_cast<std::int64_t>(i));
  }
  return search.result();
}

void StitchPointIndex::build(const StitchPosition* points, std::size_t count,
                             double tolerance) {
  _built = true;
  _tolerance = tolerance;
  _refuseAll = tolerance < 0.0;
  _points.clear();
  _slotKeys.clear();
  _slotCell.clear();
  _cellStart.clear();
  for (int a = 0; a < 3; ++a) {
    _shift[a] = 0.0;
    _origin[a] = 0.0;
    _cells[a] = 1;
  }
  _margin = 0.0;
  _magnitude = 0.0;
  _inverseCell = 0.0;
  if (_refuseAll) return;
  const std::size_t finiteCount = sizeCells(points, count);
  if (finiteCount > 0) fillCells(points, count, finiteCount);
}

std::size_t StitchPointIndex::sizeCells(const StitchPosition* points,
                                        std::size_t count) {
  double lo[3] = {std::numeric_limits<double>::infinity(),
                  std::numeric_limits<double>::infinity(),
                  std::numeric_limits<double>::infinity()};
  double hi[3] = {-lo[0], -lo[1], -lo[2]};
  std::size_t finiteCount = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const StitchPosition& p = points[i];
    if (!isFinite(p)) continue;
    ++finiteCount;
    const double c[3] = {p.x, p.y, p.z};
    for (int a = 0; a < 3; ++a) {
      lo[a] = std::min(lo[a], c[a]);
      hi[a] = std::max(hi[a], c[a]);
    }
  }
  if (finiteCount == 0) return 0;

  double extent = 0.0;
  for (int a = 0; a < 3; ++a) {
    _origin[a] = lo[a];
    extent = std::max(extent, hi[a] - lo[a]);
    _magnitude = std::max({_magnitude, std::fabs(lo[a]), std::fabs(hi[a])});
  }
  // A cell as wide as the tolerance: the cube around a query meets at most
  // three cells per axis. Unbounded tolerances (NaN, infinite) or extents
  // keep everything in one cell, which the query then scans in full.
  if (std::isfinite(_tolerance) && std::isfinite(extent)) {
    const double cell =
        std::max({_tolerance, extent / kMaxCellsPerAxis, kMinCellSize});
    _inverseCell = 1.0 / cell;
    for (int a = 0; a < 3; ++a) {
      _cells[a] = static_cast<std::int64_t>(
                      std::floor((hi[a] - lo[a]) * _inverseCell)) +
                  1;
    }
  }
  return finiteCount;
}

void StitchPointIndex::fillCells(const StitchPosition* points,
                                 std::size_t count, std::size_t finiteCount) {
  // Number the occupied cells in order of first appearance, so that cells
  // met together (along a scan line) lie together in memory, and note each
  // point's cell. A table from cell key to number, doubled when half full;
  // neighbours in scan order mostly share a cell, so the last one is tried
  // first.
  constexpr std::uint32_t kLeftOut = ~std::uint32_t{0};
  std::vector<std::uint32_t> cellOf(count, kLeftOut);
  std::vector<std::uint32_t> cellCount;
  resetTable(64);
  std::uint64_t lastKey = kEmpty;
  std::uint32_t lastCell = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const StitchPosition& p = points[i];
    if (!isFinite(p)) continue;
    const std::uint64_t key = keyOf(p);
    if (key != lastKey) {
      lastKey = key;
      lastCell = insertCell(key, static_cast<std::uint32_t>(cellCount.size()));
      if (lastCell == cellCount.size()) cellCount.push_back(0);
    }
    cellOf[i] = lastCell;
    ++cellCount[lastCell];
  }

  _cellStart.assign(cellCount.size() + 1, 0);
  for (std::size_t c = 0; c < cellCount.size(); ++c) {
    _cellStart[c + 1] = _cellStart[c] + cellCount[c];
  }

  // Scatter in visit order, so every cell lists its points in visit order.
  _points.resize(finiteCount);
  std::vector<std::uint32_t>& cursor = cellCount;
  std::copy(_cellStart.begin(), _cellStart.end() - 1, cursor.begin());
  for (std::size_t i = 0; i < count; ++i) {
    if (cellOf[i] == kLeftOut) continue;
    const StitchPosition& p = points[i];
    _points[cursor[cellOf[i]]++] =
        IndexedPoint{p.x, p.y, p.z, static_cast<std::uint32_t>(i)};
  }
}

std::uint64_t StitchPointIndex::keyOf(const StitchPosition& p) const noexcept {
  const double c[3] = {p.x, p.y, p.z};
  std::int64_t k[3];
  for (int a = 0; a < 3; ++a) {
    // c >= origin, so truncation is the floor the queries take (and cheaper
    // than calling it).
    const double cell =
        _inverseCell == 0.0 ? 0.0 : (c[a] - _origin[a]) * _inverseCell;
    k[a] = std::min(static_cast<std::int64_t>(cell), _cells[a] - 1);
  }
  return static_cast<std::uint64_t>((k[2] * _cells[1] + k[1]) * _cells[0] +
                                    k[0]);
}

void StitchPointIndex::resetTable(std::size_t capacity) {
  _slotKeys.assign(capacity, kEmpty);
  _slotCell.assign(capacity, 0);
  _slotShift = 64;
  for (std::size_t c = capacity; c > 1; c >>= 1) --_slotShift;
  _slotsUsed = 0;
}

std::uint32_t StitchPointIndex::insertCell(std::uint64_t key,
                                           std::uint32_t next) {
  if (2 * (_slotsUsed + 1) > _slotKeys.size()) {
    std::vector<std::uint64_t> oldKeys;
    std::vector<std::uint32_t> oldCells;
    oldKeys.swap(_slotKeys);
    oldCells.swap(_slotCell);
    resetTable(oldKeys.size() * 2);
    for (std::size_t s = 0; s < oldKeys.size(); ++s) {
      if (oldKeys[s] == kEmpty) continue;
      std::size_t slot = hashKey(oldKeys[s]) >> _slotShift;
      while (_slotKeys[slot] != kEmpty) {
        slot = (slot + 1) & (_slotKeys.size() - 1);
      }
      _slotKeys[slot] = oldKeys[s];
      _slotCell[slot] = oldCells[s];
      ++_slotsUsed;
    }
  }
  std::size_t slot = hashKey(key) >> _slotShift;
  while (_slotKeys[slot] != kEmpty) {
    if (_slotKeys[slot] == key) return _slotCell[slot];
    slot = (slot + 1) & (_slotKeys.size() - 1);
  }
  _slotKeys[slot] = key;
  _slotCell[slot] = next;
  ++_slotsUsed;
  return next;
}

std::uint32_t StitchPointIndex::findCell(std::uint64_t key) const noexcept {
  std::size_t slot = hashKey(key) >> _slotShift;
  while (_slotKeys[slot] != key) {
    if (_slotKeys[slot] == kEmpty) return kNoCell;
    slot = (slot + 1) & (_slotKeys.size() - 1);
  }
  return _slotCell[slot];
}

void StitchPointIndex::translate(double tx, double ty, double tz) noexcept {
  for (IndexedPoint& p : _points) {
    p.x = p.x + tx;
    p.y = p.y + ty;
    p.z = p.z + tz;
  }
  _shift[0] += tx;
  _shift[1] += ty;
  _shift[2] += tz;
  // Each move rounds every coordinate (and the shift) by at most half an
  // ulp of the values involved.
  _magnitude += std::max({std::fabs(tx), std::fabs(ty), std::fabs(tz)});
  const double shifted = std::max(
      {std::fabs(_shift[0]), std::fabs(_shift[1]), std::fabs(_shift[2])});
  _margin += 4.0 * kEpsilon * (_magnitude + shifted);
}

StitchNearest StitchPointIndex::nearest(const StitchPosition& query) const {
  StitchNearest none;
  if (!_built || _refuseAll || _points.empty()) return none;
  // A non-finite query or shift: every coordinate difference is infinite
  // or NaN, which the pass never takes.
  if (!isFinite(query) || !std::isfinite(_shift[0] + _shift[1] + _shift[2])) {
    return none;
  }

  const double c[3] = {query.x, query.y, query.z};
  std::int64_t lo[3], hi[3];
  for (int a = 0; a < 3; ++a) {
    if (_inverseCell == 0.0) {
      lo[a] = hi[a] = 0;
      continue;
    }
    // The cube around the query, moved back onto the cells as built, with a
    // margin for the rounding of the moves and of these sums.
    const double built = c[a] - _shift[a];
    const double margin =
        _margin +
        8.0 * kEpsilon *
            (std::fabs(c[a]) + std::fabs(_shift[a]) + _tolerance + _magnitude);
    const double from =
        std::floor((built - _tolerance - margin - _origin[a]) * _inverseCell);
    const double to =
        std::floor((built + _tolerance + margin - _origin[a]) * _inverseCell);
    const double last = static_cast<double>(_cells[a] - 1);
    if (!(to >= 0.0) || !(from <= last)) return none;
    lo[a] = static_cast<std::int64_t>(std::max(from, 0.0));
    hi[a] = static_cast<std::int64_t>(std::min(to, last));
  }

  double bestDistance = kNoDistance;
  std::uint32_t bestOrdinal = 0;
  const IndexedPoint* best = nullptr;
  for (std::int64_t kz = lo[2]; kz <= hi[2]; ++kz) {
    for (std::int64_t ky = lo[1]; ky <= hi[1]; ++ky) {
      const std::int64_t row = (kz * _cells[1] + ky) * _cells[0];
      for (std::int64_t kx = lo[0]; kx <= hi[0]; ++kx) {
        const std::uint32_t cell =
            findCell(static_cast<std::uint64_t>(row + kx));
        if (cell == kNoCell) continue;
        const IndexedPoint* p = _points.data() + _cellStart[cell];
        const IndexedPoint* end = _points.data() + _cellStart[cell + 1];
        for (; p != end; ++p) {
          const double dx = std::fabs(query.x - p->x);
          const double dy = std::fabs(query.y - p->y);
          const double dz = std::fabs(query.z - p->z);
          if (dx > _tolerance || dy > _tolerance || dz > _tolerance) continue;
          const double d =
              stitchDistance(query, StitchPosition{p->x, p->y, p->z});
          if (d < bestDistance || (d == bestDistance && best != nullptr &&
                                   p->ordinal < bestOrdinal)) {
            bestDistance = d;
            bestOrdinal = p->ordinal;
            best = p;
          }
        }
      }
    }
  }
  if (best == nullptr) return none;
  StitchNearest result;
  result.position = StitchPosition{best->x, best->y, best->z};
  result.ordinal = best->ordinal;
  return result;
}

}  // namespace stitch_detail
}  // namespace QUAX
