// SPDX-License-Identifier: MIT
// The surface stitch tool: moves overlapping scan surfaces into agreement.
//
//   ScanStitchTool tool(0.5);                 // stitch tolerance
//   tool.attach(ScanStitchTool::Callback(bar, &Bar::onProgress), 0xFFFFFFFFu);
//   tool.addSurfacePointer(&first, true);
//   tool.addSurfacePointer(&second, true);
//   tool.stitchSurfaces(3, ScanStitchTool::STITCH_BOTH);
//
// In the first iteration the tool samples points of each later surface
// inside the bounding box of each earlier one and pairs them with their
// nearest points (within the tolerance cube) on the earlier surface. Each
// pair's offset along the sampled surface's local normal is averaged, per
// surface, into a translation, and every point of every surface is moved by
// its surface's translation. Later iterations re-pair the same
// correspondences on the moved surfaces and move them again. Surfaces are
// only translated, never rotated, and the moves are not recorded in the
// surfaces' transform history. Progress goes to the observers as
// percentages (0 to 100) with the event 0xFFFFFFFF.
//
// The surfaces stay the caller's and must outlive the tool's use of them.
// Thread safety: none. No other thread may use the surfaces while
// stitchSurfaces runs; observers run on the stitching thread and must not
// change the surfaces' points.
#ifndef QUAX_SCAN_STITCH_SCANSTITCHTOOL_H_
#define QUAX_SCAN_STITCH_SCANSTITCHTOOL_H_

#include <cstddef>
#include <cstdint>
#include <list>

#include "scan/QUAXScanExport.h"
#include "scan/stitch/Subject.h"

namespace QUAX {

template <class T>
class _ScanSurface;

namespace stitch_detail {
struct SurfaceEntry;
}  // namespace stitch_detail

class QUAX_SCAN_API ScanStitchTool : public Subject<int, unsigned> {
 public:
  enum StitchMethod : std::int32_t {
    // Both surfaces of a correspondence take the whole displacement, in
    // opposite directions, so a plain offset between two surfaces is
    // reversed rather than closed (every value other than 1 behaves like 0).
    STITCH_BOTH = 0,
    // Only the surface that is not the correspondence's reference moves;
    // the reference is the surface of the sampled point, the later of the
    // pair.
    STITCH_TO_REFERENCE = 1,
  };

  // `tolerance`: how far apart, per coordinate and in distance, two points
  // may lie to be paired, in the surfaces' length unit.
  explicit ScanStitchTool(double tolerance);
  // Copies the surface entries (the surfaces are shared) and the observers.
  ScanStitchTool(const ScanStitchTool& other);
  ScanStitchTool& operator=(const ScanStitchTool& other);
  // Destroys the entries, never the surfaces.
  ~ScanStitchTool() override;

  // Adds `surface` with its bounding box and points per frame. A surface
  // without frames (or a null pointer) is not added. Throws
  // EScanFrameNoScanLine, adding nothing, when a frame has no scan line.
  // The flag is stored with the surface, cleared before and set after each
  // move of it; the tool reads it nowhere.
  void addSurfacePointer(_ScanSurface<double>* surface, bool flag);

  // Stitches the surfaces in `iterations` iterations (none for
  // iterations <= 0 or fewer than two surfaces). May throw
  // EScanFrameNoScanLine (a neighbour of a sampled frame without a line),
  // EMathZeroVector (degenerate local normal) and EScanSurfaceRangeException;
  // points moved in earlier iterations then stay moved.
  void stitchSurfaces(int iterations, StitchMethod method);

  double getStitchTolerance() const noexcept { return _tolerance; }
  std::size_t getSurfaceCount() const noexcept { return _entries.size(); }

 protected:
  // Searches nearest points by a pass over every point of the surface
  // instead of the grid. Both give the same points; this exists to compare
  // them.
  void setEveryPointSearch(bool everyPoint) noexcept {
    _everyPointSearch = everyPoint;
  }

 private:
  void clearEntries() noexcept;

  std::list<stitch_detail::SurfaceEntry*> _entries;
  double _tolerance;
  bool _everyPointSearch = false;
};

}  // namespace QUAX

#endif  // QUAX_SCAN_STITCH_SCANSTITCHTOOL_H_
