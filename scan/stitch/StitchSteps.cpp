// SPDX-License-Identifier: MIT
#include "scan/stitch/StitchSteps.h"

#include <algorithm>
#include <limits>

#include "geomath/GeoLine.h"
#include "scan/ScanErrors.h"

namespace QUAX {
namespace stitch_detail {

namespace {

using PointCallback = _ScanContainer<double>::PointCallback;

struct BoxVisitor {
  bool started = false;
  double lo[3] = {0.0, 0.0, 0.0};
  double hi[3] = {0.0, 0.0, 0.0};

  void start(const _GeoPoint<double>& p) {
    lo[0] = hi[0] = p.x();
    lo[1] = hi[1] = p.y();
    lo[2] = hi[2] = p.z();
    started = true;
  }
  void visit(_ScanVisit<double>& v) {
    const _GeoPoint<double>& p = v.currentPoint->position();
    if (!started) start(p);
    const double c[3] = {p.x(), p.y(), p.z()};
    for (int a = 0; a < 3; ++a) {
      if (lo[a] > c[a]) lo[a] = c[a];
      if (hi[a] < c[a]) hi[a] = c[a];
    }
  }
};

struct PositionCollector {
  std::vector<StitchPosition>* out;
  void visit(_ScanVisit<double>& v) {
    const _GeoPoint<double>& p = v.currentPoint->position();
    out->push_back(StitchPosition{p.x(), p.y(), p.z()});
  }
};

struct PassVisitor {
  StitchPassSearch search;
  std::int64_t ordinal = 0;
  void visit(_ScanVisit<double>& v) {
    const _GeoPoint<double>& p = v.currentPoint->position();
    search.visit(StitchPosition{p.x(), p.y(), p.z()}, ordinal++);
  }
};

struct MoveVisitor {
  double t[3];
  void visit(_ScanVisit<double>& v) {
    const _GeoPoint<double>& p = v.currentPoint->position();
    v.currentPoint->setPosition(p.x() + t[0], p.y() + t[1], p.z() + t[2]);
  }
};

// The point of `line` nearest to p; among equals the last one wins. Keeps
// `found` when no point is at a distance up to the largest finite double.
void nearestOnLine(const _ScanLine<double>& line, const _GeoPoint<double>& p,
                   _GeoPoint<double>& found) {
  double best = std::numeric_limits<double>::max();
  const std::size_t n = line.getPointCount();
  for (std::size_t j = 0; j < n; ++j) {
    const _GeoPoint<double>& q = line.getPoint(j)->position();
    const double d = (p - q).length();
    if (d <= best) {
      best = d;
      found = q;
    }
  }
}

}  // namespace

std::unique_ptr<SurfaceEntry> makeSurfaceEntry(_ScanSurface<double>& surface,
                                               bool flag) {
  const _ScanLine<double>* first = surface.getFrame(0)->getScanLine();
  BoxVisitor box;
  if (first->getPointCount() > 0) box.start(first->getPoint(0)->position());
  _ScanVisit<double> visit;
  surface.forEachPoint(PointCallback(box, &BoxVisitor::visit), visit);

  auto entry = std::make_unique<SurfaceEntry>();
  std::size_t total = 0;
  for (std::size_t i = 0; i < surface.getFrameCount(); ++i) {
    total += surface.getFrame(i)->getScanLine()->getPointCount();
  }
  entry->pointsPerFrame =
      static_cast<std::int32_t>(total / surface.getFrameCount());
  const double inf = std::numeric_limits<double>::infinity();
  for (int a = 0; a < 3; ++a) {
    entry->boxMin[a] = box.started ? box.lo[a] : inf;
    entry->boxMax[a] = box.started ? box.hi[a] : -inf;
  }
  entry->surface = &surface;
  entry->flag = flag;
  return entry;
}

bool strictlyInsideBox(const _GeoPoint<double>& p,
                       const SurfaceEntry& e) noexcept {
  return p.x() > e.boxMin[0] && p.x() < e.boxMax[0] && p.y() > e.boxMin[1] &&
         p.y() < e.boxMax[1] && p.z() > e.boxMin[2] && p.z() < e.boxMax[2];
}

namespace {

bool anyCornerInside(const SurfaceEntry& corners,
                     const SurfaceEntry& box) noexcept {
  for (int c = 0; c < 8; ++c) {
    const _GeoPoint<double> corner(
        (c & 1) ? corners.boxMax[0] : corners.boxMin[0],
        (c & 2) ? corners.boxMax[1] : corners.boxMin[1],
        (c & 4) ? corners.boxMax[2] : corners.boxMin[2]);
    if (strictlyInsideBox(corner, box)) return true;
  }
  return false;
}

}  // namespace

bool boxesOverlap(const SurfaceEntry& a, const SurfaceEntry& b) noexcept {
  return anyCornerInside(a, b) || anyCornerInside(b, a);
}

_MathVector<double> localNormal(const _ScanSurface<double>& surface,
                                std::size_t frameIndex,
                                const _ScanLine<double>& frameLine,
                                const _GeoPoint<double>& p, double tolerance) {
  const std::size_t n = surface.getFrameCount();
  if (frameIndex == 0 || frameIndex + 1 == n) return _MathVector<double>();

  // Nearest points on the neighbouring frames; an empty line repeats the
  // point found before it ((0, 0, 0) for the first).
  _GeoPoint<double> points[3];
  _GeoPoint<double> found;
  nearestOnLine(*surface.getFrame(frameIndex - 1)->getScanLine(), p, found);
  points[0] = found;
  nearestOnLine(*surface.getFrame(frameIndex + 1)->getScanLine(), p, found);
  points[1] = found;

  // A different point of the sampled frame within the tolerance.
  bool inFrame = false;
  const std::size_t m = frameLine.getPointCount();
  for (std::size_t j = 0; j < m; ++j) {
    const _GeoPoint<double>& q = frameLine.getPoint(j)->position();
    const double d = (p - q).length();
    if (d != 0.0 && d <= tolerance) {
      points[2] = q;
      inFrame = true;
      break;
    }
  }
  if (!inFrame) return _MathVector<double>();

  _MathVector<double> normal = (points[0] - points[1]).cross(points[2] - p);
  normal.normalize();
  return normal;
}

SurfaceSearch::SurfaceSearch(double tolerance, bool everyPoint)
    : _tolerance(tolerance), _everyPoint(everyPoint) {}

SurfaceSearch::~SurfaceSearch() = default;

SurfaceSearch::Slot& SurfaceSearch::slotFor(_ScanSurface<double>& surface) {
  for (const std::unique_ptr<Slot>& slot : _slots) {
    if (slot->surface == &surface) return *slot;
  }
  _slots.push_back(std::make_unique<Slot>());
  _slots.back()->surface = &surface;
  return *_slots.back();
}

_GeoPoint<double> SurfaceSearch::nearest(_ScanSurface<double>& surface,
                                         const _GeoPoint<double>& query) {
  const StitchPosition c{query.x(), query.y(), query.z()};
  _ScanVisit<double> visit;
  StitchNearest result;
  if (_everyPoint) {
    PassVisitor pass{StitchPassSearch(c, _tolerance)};
    surface.forEachPoint(PointCallback(pass, &PassVisitor::visit), visit);
    result = pass.search.result();
  } else {
    Slot& slot = slotFor(surface);
    if (!slot.index.isBuilt()) {
      // The points in visit order; their ordinals break distance ties.
      _scratch.clear();
      PositionCollector collect{&_scratch};
      surface.forEachPoint(PointCallback(collect, &PositionCollector::visit),
                           visit);
      slot.index.build(_scratch.data(), _scratch.size(), _tolerance);
      // Kept for the next surface; freed with the search.
      _scratch.clear();
    }
    result = slot.index.nearest(c);
  }
  return _GeoPoint<double>(result.position.x, result.position.y,
                           result.position.z);
}

void SurfaceSearch::surfaceMoved(const _ScanSurface<double>& surface,
                                 const _MathVector<double>& t) noexcept {
  for (const std::unique_ptr<Slot>& slot : _slots) {
    if (slot->surface == &surface && slot->index.isBuilt()) {
      slot->index.translate(t.x(), t.y(), t.z());
    }
  }
}

void findCorrespondences(SurfaceEntry& a, SurfaceEntry& b, double tolerance,
                         SurfaceSearch& search, CorrespondenceList& out) {
  if (!boxesOverlap(a, b)) return;
  _ScanSurface<double>& surface = *b.surface;

  // Coarse frames first; the finer pass runs while the pair has fewer than
  // 36 correspondences.
  std::size_t frameStep = surface.getFrameCount() / 6;
  if (frameStep < 2) frameStep = 2;
  std::int64_t total = 0;
  while (frameStep >= 1) {
    for (std::size_t i = 0; i < surface.getFrameCount(); i += frameStep) {
      _ScanFrame<double>* frame = surface.getFrame(i);
      if (!frame->hasScanLine()) continue;
      const _ScanLine<double>& line = *frame->getScanLine();

      std::int64_t found = 0;
      std::int64_t pointStep = b.pointsPerFrame / 6;
      while (pointStep >= 2) {
        const std::int64_t end =
            static_cast<std::int64_t>(line.getPointCount()) - pointStep;
        for (std::int64_t j = pointStep * found; j < end; j += pointStep) {
          const _GeoPoint<double> p =
              line.getPoint(static_cast<std::size_t>(j))->getPosition();
          if (!strictlyInsideBox(p, a)) continue;
          const _MathVector<double> normal =
              localNormal(surface, i, line, p, tolerance);
          if (normal.x() == 0.0 && normal.y() == 0.0 && normal.z() == 0.0) {
            continue;
          }
          const _GeoPoint<double> q = search.nearest(*a.surface, p);
          const _MathVector<double> gap = p - q;
          if (gap.x() <= tolerance && gap.y() <= tolerance &&
              gap.z() <= tolerance && gap.length() <= tolerance) {
            out.push_back(Correspondence{
                {CorrespondenceItem{&b, p}, CorrespondenceItem{&a, q}},
                normal});
            if (++found > 6) break;
          }
        }
        pointStep /= 2;
        if (found >= 6) break;
      }
      total += found;
    }
    frameStep /= 2;
    if (total >= 36) break;
  }
}

void displaceCorrespondences(CorrespondenceList& correspondences,
                             bool toReference) {
  std::list<Correspondence*> pending;
  for (Correspondence& c : correspondences) pending.push_back(&c);

  while (!pending.empty()) {
    const SurfaceEntry* reference = pending.front()->items[0].entry;
    for (auto it = pending.begin(); it != pending.end();) {
      Correspondence& c = **it;
      CorrespondenceItem* referenceItem = nullptr;
      for (CorrespondenceItem& item : c.items) {
        if (item.entry == reference) {
          referenceItem = &item;
          break;
        }
      }
      if (referenceItem == nullptr) {
        ++it;
        continue;
      }

      const _GeoPlane<double> plane(referenceItem->position, c.normal);
      _MathVector<double> delta;
      for (CorrespondenceItem& item : c.items) {
        if (&item == referenceItem) continue;
        delta = plane.project(item.position) - item.position;
        item.position = item.position + delta;
        _MathVector<double>& t = item.entry->transform.getTranslation();
        const std::int32_t k = item.entry->count;
        t = (t * static_cast<double>(k) + delta) / static_cast<double>(k + 1);
        item.entry->count = k + 1;
      }
      if (!toReference) {
        referenceItem->position = referenceItem->position - delta;
        SurfaceEntry& entry = *referenceItem->entry;
        _MathVector<double>& t = entry.transform.getTranslation();
        const std::int32_t k = entry.count;
        t = (t * static_cast<double>(k) - delta) / static_cast<double>(k + 1);
        entry.count = k + 1;
      }
      it = pending.erase(it);
    }
  }
}

void refineCorrespondences(CorrespondenceList& correspondences,
                           SurfaceSearch& search) {
  for (Correspondence& c : correspondences) {
    _MathVector<double> sum;
    for (const CorrespondenceItem& item : c.items) {
      sum += item.position.toVector();
    }
    const _GeoPoint<double> centroid(sum / static_cast<double>(c.items.size()));
    // The axis through the centroid is built for its checks of the normal;
    // the search itself needs only the centroid.
    const _GeoLine<double> axis(centroid, c.normal);
    static_cast<void>(axis);
    for (CorrespondenceItem& item : c.items) {
      item.position = search.nearest(*item.entry->surface, centroid);
    }
  }
}

void moveSurface(SurfaceEntry& entry, SurfaceSearch& search) {
  const _MathVector<double>& t = entry.transform.getTranslation();
  MoveVisitor move{{t.x(), t.y(), t.z()}};
  _ScanVisit<double> visit;
  entry.surface->forEachPoint(PointCallback(move, &MoveVisitor::visit), visit);
  search.surfaceMoved(*entry.surface, t);
  const double shift[3] = {t.x(), t.y(), t.z()};
  for (int a = 0; a < 3; ++a) {
    entry.boxMin[a] += shift[a];
    entry.boxMax[a] += shift[a];
  }
  entry.flag = true;
}

}  // namespace stitch_detail
}  // namespace QUAX
