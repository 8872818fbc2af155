// SPDX-License-Identifier: MIT
// The steps of a surface stitch (internal, not installed): surface entries,
// bounding boxes, the correspondence search with its local normals, the
// displacement and refinement of correspondences, and the nearest-point
// search on surfaces.
#ifndef QUAX_SCAN_STITCH_STITCHSTEPS_H_
#define QUAX_SCAN_STITCH_STITCHSTEPS_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <vector>

#include "geomath/GeoPoint.h"
#include "geomath/MathMatrix.h"
#include "geomath/MathVector.h"
#include "scan/model/ScanLine.h"
#include "scan/model/ScanSurface.h"
#include "scan/stitch/StitchPointIndex.h"

namespace QUAX {
namespace stitch_detail {

// What the tool keeps about one added surface.
struct SurfaceEntry {
  // Only the translation is ever changed.
  _MathMatrix<double> transform;
  // Displacements averaged into the translation so far.
  std::int32_t count = 0;
  // Total points / frames when the surface was added.
  std::int32_t pointsPerFrame = 0;
  double boxMin[3] = {0.0, 0.0, 0.0};
  double boxMax[3] = {0.0, 0.0, 0.0};
  _ScanSurface<double>* surface = nullptr;  // not owned
  bool flag = false;
};

struct CorrespondenceItem {
  SurfaceEntry* entry;
  _GeoPoint<double> position;
};

// The sampled point of the pair's second surface (item 0), its nearest
// point on the first surface (item 1), and the second surface's unit local
// normal at the sampled point.
struct Correspondence {
  std::array<CorrespondenceItem, 2> items;
  _MathVector<double> normal;
};

using CorrespondenceList = std::list<Correspondence>;

// Builds an entry for `surface` (which has at least one frame): the box of
// its points and its points per frame. Throws EScanFrameNoScanLine for a
// frame without a line. The box starts at the first point of frame 0's
// line; when that line is empty, at the first point of the surface; a
// surface without points gets an empty box (+inf / -inf) that overlaps
// nothing.
std::unique_ptr<SurfaceEntry> makeSurfaceEntry(_ScanSurface<double>& surface,
                                               bool flag);

// One of the eight corners of either box lies strictly inside the other.
bool boxesOverlap(const SurfaceEntry& a, const SurfaceEntry& b) noexcept;
bool strictlyInsideBox(const _GeoPoint<double>& p,
                       const SurfaceEntry& entry) noexcept;

// Unit normal of `surface` at `p`, sampled on frame `frameIndex` whose line
// is `frameLine`; (0, 0, 0) on the first and last frame or when no three
// points are found. Throws EScanFrameNoScanLine for a neighbouring frame
// without a line and EMathZeroVector for degenerate neighbours.
_MathVector<double> localNormal(const _ScanSurface<double>& surface,
                                std::size_t frameIndex,
                                const _ScanLine<double>& frameLine,
                                const _GeoPoint<double>& p, double tolerance);

// The nearest-point search on surfaces for one stitch, either through one
// grid per surface (built on first use, moved along with the surface) or
// through the pass over every point.
class SurfaceSearch {
 public:
  SurfaceSearch(double tolerance, bool everyPoint);
  SurfaceSearch(const SurfaceSearch&) = delete;
  SurfaceSearch& operator=(const SurfaceSearch&) = delete;
  ~SurfaceSearch();

  // The nearest point of `surface` within the tolerance cube around
  // `query`, first visited among equals; (0, 0, 0) when none.
  _GeoPoint<double> nearest(_ScanSurface<double>& surface,
                            const _GeoPoint<double>& query);
  // Call after every point of `surface` was moved by p + t.
  void surfaceMoved(const _ScanSurface<double>& surface,
                    const _MathVector<double>& t) noexcept;

 private:
  struct Slot {
    const _ScanSurface<double>* surface;
    StitchPointIndex index;
  };
  Slot& slotFor(_ScanSurface<double>& surface);

  double _tolerance;
  bool _everyPoint;
  std::vector<std::unique_ptr<Slot>> _slots;
  std::vector<StitchPosition> _scratch;
};

// Samples points of b's frames inside a's box and pairs each with its
// nearest point on a, appending the correspondences to `out`.
void findCorrespondences(SurfaceEntry& a, SurfaceEntry& b, double tolerance,
                         SurfaceSearch& search, CorrespondenceList& out);

// Averages the displacements of the correspondences into the entries'
// translations, moving the items' positions; `toReference` leaves the
// reference surface of each correspondence in place.
void displaceCorrespondences(CorrespondenceList& correspondences,
                             bool toReference);

// Replaces every item's position by the nearest point of its surface to the
// correspondence's centroid.
void refineCorrespondences(CorrespondenceList& correspondences,
                           SurfaceSearch& search);

// Adds the entry's translation to every point of its surface and to its
// box, and sets its flag.
void moveSurface(SurfaceEntry& entry, SurfaceSearch& search);

}  // namespace stitch_detail
}  // namespace QUAX

#endif  // QUAX_SCAN_STITCH_STITCHSTEPS_H_
