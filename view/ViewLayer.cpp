// SPDX-License-Identifier: MIT
#include "view/ViewLayer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <memory>
#include <utility>

#include "scan/filters/ScanAverageFilter.h"
#include "scan/filters/ScanLineFilter.h"
#include "scan/model/ScanFrame.h"
#include "scan/model/ScanLine.h"
#include "scan/model/ScanPointItems.h"
#include "scan/model/ScanSurface.h"

namespace QUAX {
namespace view {

namespace {

constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();

// The deviation filter when the caller names none: a light smoothing that
// follows edges (proximity 500 is the average filter's default).
constexpr std::int32_t kDefaultNeighbourhood = 5;
constexpr double kDefaultProximity = 500.0;

double graysumOf(const ScanPoint& point) {
  const ExtensionList* list = point.extensionList();
  if (list == nullptr) return kNoValue;
  const auto* item = static_cast<const ScanPointGraysumData*>(
      list->findItemIfPresent(ScanPointGraysumData::GraysumDataKey));
  return item == nullptr ? kNoValue : double(item->getGraysum());
}

// Runs the filters on copies of scan lines, one at a time, in a one-frame
// set of its own, so that the filters walk it as they walk any set.
class LineFilterRun {
 public:
  explicit LineFilterRun(const std::vector<const ScanLineFilter*>& filters)
      : _filters(filters) {
    if (_filters.empty()) {
      _fallback = std::make_unique<ScanAverageFilter>(kDefaultNeighbourhood,
                                                      kDefaultProximity);
      _filters.push_back(_fallback.get());
    }
    auto surface = std::make_unique<ScanSurface>();
    surface->appendFrame(std::make_unique<ScanFrame>());
    surface->setComplete();
    _frame = surface->getFrame(0);
    _set.addSurface(std::move(surface));
  }

  const ScanLine& filtered(const ScanLine& line) {
    _frame->setScanLine(std::make_unique<ScanLine>(line));
    for (const ScanLineFilter* f : _filters) f->applyFilter(_set);
    return *_frame->getScanLine();
  }

 private:
  std::vector<const ScanLineFilter*> _filters;
  std::unique_ptr<ScanLineFilter> _fallback;
  ScanSet _set;
  ScanFrame* _frame = nullptr;
};

// Signed distance of p from the polyline `line`, searched near `hint` (the
// previous point's nearest segment), which it updates: measured and filtered
// lines run the same way, so the nearest segment moves forward with p.
double distanceFromLine(const double* p, const std::vector<double>& line,
                        std::size_t& hint) {
  const std::size_t n = line.size() / 3;
  if (n == 0) return std::numeric_limits<double>::quiet_NaN();
  if (n == 1) return signedSegmentDistance(p, &line[0], &line[0]);
  constexpr std::size_t kReach = 16;
  const std::size_t first = hint > kReach ? hint - kReach : 0;
  const std::size_t last = std::min(n - 1, hint + kReach);
  double best = std::numeric_limits<double>::infinity(), bestSigned = 0;
  for (std::size_t i = first; i < last; ++i) {
    const double d = signedSegmentDistance(p, &line[3 * i], &line[3 * i + 3]);
    if (std::fabs(d) < best) {
      best = std::fabs(d);
      bestSigned = d;
      hint = i;
    }
  }
  return bestSigned;
}

// The kept points sorted into cells of about half the radius, by surface,
// so that a point looks only at other surfaces' cells, nearest cells first,
// and skips every cell that lies farther than the nearest point found so far.
class OverlapCells {
 public:
  // A cell of another surface near the one searched from: its run in the
  // sorted order and its low and high corner.
  struct Near {
    std::size_t first, end;
    double box[6];
  };

  OverlapCells(const double* xyz, const std::vector<std::uint32_t>& surfaceOf,
               std::size_t n, double radius)
      : _xyz(xyz), _order(n) {
    double high[3];
    for (int a = 0; a < 3; ++a) _low[a] = high[a] = xyz[a];
    for (std::size_t i = 0; i < n; ++i) {
      for (int a = 0; a < 3; ++a) {
        _low[a] = std::min(_low[a], xyz[3 * i + a]);
        high[a] = std::max(high[a], xyz[3 * i + a]);
      }
    }
    // 20 bits a coordinate (the search reaches 2 cells beyond): cells grow
    // where the radius is tiny against the set's size.
    constexpr double kCellsPerAxis = double((1 << 20) - 2 * kReach - 1);
    _cell = radius / double(kReach);
    for (int a = 0; a < 3; ++a)
      _cell = std::max(_cell, (high[a] - _low[a]) / kCellsPerAxis);
    for (std::size_t i = 0; i < n; ++i) {
      _order[i] = {surfaceOf[i],
                   keyOf(cellOf(i, 0), cellOf(i, 1), cellOf(i, 2)),
                   std::uint32_t(i)};
      _surfaces = std::max(_surfaces, surfaceOf[i] + 1);
    }
    std::sort(_order.begin(), _order.end());
    for (std::int64_t dx = -kReach; dx <= kReach; ++dx)
      for (std::int64_t dy = -kReach; dy <= kReach; ++dy)
        for (std::int64_t dz = -kReach; dz <= kReach; ++dz)
          _offsets.push_back({dx, dy, dz});
    std::sort(_offsets.begin(), _offsets.end(),
              [](const auto& a, const auto& b) {
                return a[0] * a[0] + a[1] * a[1] + a[2] * a[2] <
                       b[0] * b[0] + b[1] * b[1] + b[2] * b[2];
              });
  }

  std::size_t size() const noexcept { return _order.size(); }
  std::uint32_t pointAt(std::size_t k) const noexcept {
    return _order[k].index;
  }

  // The end of the run of one cell's points that starts at c.
  std::size_t cellEnd(std::size_t c) const noexcept {
    std::size_t end = c;
    while (end < _order.size() && _order[end].key == _order[c].key &&
           _order[end].surface == _order[c].surface) {
      ++end;
    }
    return end;
  }

  // The occupied cells of other surfaces around the cell of the run at c,
  // nearest first: one cell's points share them.
  void nearOf(std::size_t c, std::vector<Near>& near) const {
    const std::uint32_t i0 = _order[c].index;
    const std::int64_t at[3] = {cellOf(i0, 0), cellOf(i0, 1), cellOf(i0, 2)};
    near.clear();
    for (std::uint32_t t = 0; t < _surfaces; ++t) {
      if (t == _order[c].surface) continue;
      for (const auto& d : _offsets) {
        const Entry probe{t, keyOf(at[0] + d[0], at[1] + d[1], at[2] + d[2]),
                          0};
        const auto range = std::equal_range(_order.begin(), _order.end(), probe);
        if (range.first == range.second) continue;
        Near cellNear{std::size_t(range.first - _order.begin()),
                      std::size_t(range.second - _order.begin()), {}};
        for (int a = 0; a < 3; ++a) {
          cellNear.box[a] = _low[a] + double(at[a] + d[a] - kReach) * _cell;
          cellNear.box[3 + a] = cellNear.box[a] + _cell;
        }
        near.push_back(cellNear);
      }
    }
  }

  // The point of `near` nearest to p within sqrt(best2) (the last of equals
  // in the search's order), or size() when there is none.
  std::size_t nearestTo(const double* p, const std::vector<Near>& near,
                        double best2) const noexcept {
    std::size_t nearest = _order.size();
    for (const Near& cellNear : near) {
      double gap = 0.0;
      for (int a = 0; a < 3; ++a) {
        const double below = cellNear.box[a] - p[a];
        const double above = p[a] - cellNear.box[3 + a];
        const double g = std::max(0.0, std::max(below, above));
        gap += g * g;
      }
      if (gap > best2) continue;
      for (std::size_t m = cellNear.first; m < cellNear.end; ++m) {
        const std::uint32_t j = _order[m].index;
        const double* q = _xyz + 3 * j;
        const double d2 = (p[0] - q[0]) * (p[0] - q[0]) +
                          (p[1] - q[1]) * (p[1] - q[1]) +
                          (p[2] - q[2]) * (p[2] - q[2]);
        if (d2 <= best2) {
          best2 = d2;
          nearest = j;
        }
      }
    }
    return nearest;
  }

 private:
  static constexpr std::int64_t kReach = 2;

  struct Entry {
    std::uint32_t surface;
    std::uint64_t key;
    std::uint32_t index;
    bool operator<(const Entry& o) const {
      return surface != o.surface ? surface < o.surface : key < o.key;
    }
  };

  std::int64_t cellOf(std::size_t i, int a) const noexcept {
    return std::int64_t((_xyz[3 * i + a] - _low[a]) / _cell) + kReach;
  }
  static std::uint64_t keyOf(std::int64_t ix, std::int64_t iy,
                             std::int64_t iz) noexcept {
    return (std::uint64_t(ix) << 40) | (std::uint64_t(iy) << 20) |
           std::uint64_t(iz);
  }

  const double* _xyz;
  double _low[3];
  double _cell = 0.0;
  std::vector<Entry> _order;
  std::uint32_t _surfaces = 0;
  std::vector<std::array<std::int64_t, 3>> _offsets;  // nearest first
};

// kOverlap: each kept point's signed distance to the nearest kept point of
// another surface within `radius` (refined to the segments that point has
// with its neighbours on its scan line).
void overlapValues(ViewLayer& layer, const std::vector<std::uint32_t>& surfaceOf,
                   double radius) {
  const std::size_t n = layer.size();
  if (n == 0) return;
  const double* xyz = layer.xyz.data();
  const OverlapCells cells(xyz, surfaceOf, n, radius);
  // Which frame each point lies on, for the segments to its neighbours.
  std::vector<std::uint32_t> frameOf(n);
  for (std::size_t f = 0; f + 1 < layer.frameStarts.size(); ++f) {
    std::fill(frameOf.begin() + layer.frameStarts[f],
              frameOf.begin() + layer.frameStarts[f + 1], std::uint32_t(f));
  }
  std::vector<OverlapCells::Near> near;
  for (std::size_t c = 0; c < n;) {
    const std::size_t end = cells.cellEnd(c);
    cells.nearOf(c, near);
    for (std::size_t k = c; k < end && !near.empty(); ++k) {
      const std::uint32_t i = cells.pointAt(k);
      const double* p = xyz + 3 * i;
      const std::size_t nearest = cells.nearestTo(p, near, radius * radius);
      if (nearest == n) continue;
      const double* q = xyz + 3 * nearest;
      double d = signedSegmentDistance(p, q, q);
      for (std::size_t side : {nearest - 1, nearest + 1}) {
        if (side < n && frameOf[side] == frameOf[nearest]) {
          const double e = signedSegmentDistance(p, q, xyz + 3 * side);
          if (std::fabs(e) < std::fabs(d)) d = e;
        }
      }
      layer.values[i] = d;
    }
    c = end;
  }
}

}  // namespace

double signedSegmentDistance(const double* p, const double* a,
                             const double* b) noexcept {
  const double ab[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
  const double length2 = ab[0] * ab[0] + ab[1] * ab[1] + ab[2] * ab[2];
  double t = 0.0;
  if (length2 > 0.0) {
    t = ((p[0] - a[0]) * ab[0] + (p[1] - a[1]) * ab[1] +
         (p[2] - a[2]) * ab[2]) /
        length2;
    t = std::min(1.0, std::max(0.0, t));
  }
  const double d[3] = {p[0] - a[0] - t * ab[0], p[1] - a[1] - t * ab[1],
                       p[2] - a[2] - t * ab[2]};
  const double size = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
  return d[2] < 0.0 ? -size : size;
}

namespace {

// The value each kept point is coloured by, line by line: the deviation from
// the filtered line needs the line filtered once, when its first point is
// kept.
class PointValues {
 public:
  explicit PointValues(const ViewOptions& options) : _colour(options.colour) {
    if (_colour == ViewColour::kDeviation) {
      _filterRun = std::make_unique<LineFilterRun>(options.filters);
    }
  }

  void startLine() noexcept {
    _filtered = false;
    _hint = 0;
  }

  // Overlap values come after every point is kept (overlapValues).
  double of(const ScanPoint& point, const double* here, const ScanLine& line,
            std::size_t surface) {
    switch (_colour) {
      case ViewColour::kHeight:
        return here[2];
      case ViewColour::kSurface:
        return double(surface);
      case ViewColour::kGray:
        return graysumOf(point);
      case ViewColour::kDeviation:
        if (!_filtered) {
          const ScanLine& smooth = _filterRun->filtered(line);
          _filteredLine.clear();
          for (std::size_t k = 0; k < smooth.getPointCount(); ++k) {
            const _GeoPoint<double>& q = smooth.getPoint(k)->position();
            _filteredLine.insert(_filteredLine.end(), {q.x(), q.y(), q.z()});
          }
          _filtered = true;
        }
        return distanceFromLine(here, _filteredLine, _hint);
      case ViewColour::kOverlap:
        break;
    }
    return kNoValue;
  }

 private:
  ViewColour _colour;
  std::unique_ptr<LineFilterRun> _filterRun;
  std::vector<double> _filteredLine;
  bool _filtered = false;
  std::size_t _hint = 0;
};

}  // namespace

ViewLayer gatherLayer(const ScanSet& set, const ViewOptions& options,
                      const std::string& name) {
  ViewLayer layer;
  layer.name = name;
  // The frame counts are read once, so that both walks see the same frames
  // of a surface that is still being filled.
  std::vector<std::size_t> frameCounts(set.getSurfaceCount());
  std::uint64_t total = 0;
  std::uint64_t frameTotal = 0;
  for (std::size_t s = 0; s < frameCounts.size(); ++s) {
    const ScanSurface* surface = set.getSurface(s);
    frameCounts[s] = surface->getFrameCount();
    frameTotal += frameCounts[s];
    for (std::size_t f = 0; f < frameCounts[s]; ++f) {
      const ScanFrame* frame = surface->getFrame(f);
      if (frame->hasScanLine()) total += frame->getScanLine()->getPointCount();
    }
  }
  layer.totalPoints = total;
  const std::uint64_t limit = std::max<std::uint64_t>(options.maxPoints, 1);
  const std::uint64_t keep = std::min(total, limit);
  if (keep >= std::numeric_limits<std::uint32_t>::max() ||
      frameTotal >= std::numeric_limits<std::uint32_t>::max()) {
    throw EViewBadOption("a view holds fewer than 2^32 - 1 points and frames");
  }
  layer.xyz.reserve(3 * keep);
  layer.values.reserve(keep);
  layer.frameStarts.reserve(frameTotal + 1);
  layer.surfaceFrames.reserve(frameCounts.size() + 1);
  PointValues values(options);
  const bool overlap = options.colour == ViewColour::kOverlap;
  std::vector<std::uint32_t> surfaceOf;
  if (overlap) surfaceOf.reserve(keep);

  // Even thinning: the share `keep / total` of each point is added up, and a
  // point is kept where the sum passes a whole number.
  std::uint64_t share = 0;
  std::uint32_t globalFrame = 0;
  for (std::size_t s = 0; s < frameCounts.size(); ++s) {
    const ScanSurface* surface = set.getSurface(s);
    layer.surfaceFrames.push_back(globalFrame);
    for (std::size_t f = 0; f < frameCounts[s]; ++f, ++globalFrame) {
      layer.frameStarts.push_back(std::uint32_t(layer.size()));
      const ScanFrame* frame = surface->getFrame(f);
      if (!frame->hasScanLine()) continue;
      const ScanLine& line = *frame->getScanLine();
      values.startLine();
      for (std::size_t i = 0; i < line.getPointCount(); ++i) {
        share += keep;
        if (share < total) continue;
        share -= total;
        const ScanPoint& point = *line.getPoint(i);
        const _GeoPoint<double>& p = point.position();
        const double here[3] = {p.x(), p.y(), p.z()};
        layer.xyz.insert(layer.xyz.end(), here, here + 3);
        layer.values.push_back(values.of(point, here, line, s));
        if (overlap) surfaceOf.push_back(std::uint32_t(s));
      }
    }
  }
  layer.surfaceFrames.push_back(globalFrame);
  layer.frameStarts.push_back(std::uint32_t(layer.size()));
  if (overlap) overlapValues(layer, surfaceOf, options.overlapRadius);
  return layer;
}

}  // namespace view
}  // namespace QUAX
