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
// STITCH_RIGID works differently: it registers each earlier surface onto
// the later ones by a rigid transform (rotation and translation), fitted
// point to plane, records that transform in the surface's transform history
// and reports what it did through getRigidReport().
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
#include <vector>

#include "geomath/MathMatrix.h"
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
    // Each earlier surface is moved onto the later ones by a rigid
    // transform, recorded in its transform history (see RigidSurfaceReport).
    // Every other value (3, -1, ...) behaves like STITCH_BOTH.
    STITCH_RIGID = 2,
  };

  // What STITCH_RIGID did with one surface.
  enum RigidStatus : std::int32_t {
    // The last surface, or one that no later surface overlaps: the others
    // are registered onto it; it stays where it is.
    RIGID_REFERENCE = 0,
    // Moved by `transform`, which its transform history records.
    RIGID_REGISTERED = 1,
    // Fewer pairs within the tolerance than a fit needs: not moved.
    RIGID_TOO_FEW_PAIRS = 2,
    // The fit did not bring the surface closer to the others: not moved.
    RIGID_NOT_IMPROVED = 3,
  };

  struct RigidSurfaceReport {
    // The transform applied (p' = R.p + t); the identity when not moved.
    _MathMatrix<double> transform;
    // Root mean square of the paired points' distances from the later
    // surfaces' local planes, before and after the move, and the number of
    // pairs found within the tolerance (sampled points of this surface).
    double rmsBefore = 0.0;
    double rmsAfter = 0.0;
    std::int32_t pairsBefore = 0;
    std::int32_t pairsAfter = 0;
    // The RMS at the start of every iteration, then after the last one.
    std::vector<double> rmsPerIteration;
    std::int32_t iterations = 0;  // fits solved
    bool converged = false;       // stopped because the moves became tiny
    RigidStatus status = RIGID_REFERENCE;
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
  // As above, with where STITCH_RIGID starts to fit the surface: `initial`
  // (p' = R.p + t) moves its points roughly where they belong, as a rig's
  // known misregistration does. The fit refines it, and a registered
  // surface is moved by the refined transform, which includes `initial`; a
  // surface that is not registered (or serves as the reference) is left
  // where it is. The literal methods ignore it. Throws EMathSingularMatrix,
  // adding nothing, when `initial` is not a rigid transform (a rotation
  // whose rows are orthonormal to 1e-4, finite entries); that is checked
  // first, also for a surface that would not be added.
  void addSurfacePointer(_ScanSurface<double>* surface, bool flag,
                         const _MathMatrix<double>& initial);

  // Stitches the surfaces in `iterations` iterations (none for
  // iterations <= 0 or fewer than two surfaces).
  //
  // STITCH_RIGID takes the surfaces from the last to the first and fits
  // each onto every later surface whose box, widened by the tolerance,
  // meets its own: sampled points are paired with their nearest points
  // (within the tolerance) and the rotation and translation that bring them
  // onto the local planes there is solved, robustly weighted, up to
  // `iterations` times or until the moves become tiny. A surface is moved
  // only when enough pairs were found and the fit brought it closer; the
  // move goes through the surface's transform(), so its transform history
  // records it and a host can undo it. Progress runs from 0 to 100 over
  // all fits. Lines may be empty, hold one point, have gaps or non-finite
  // points; frames without a line are passed over.
  //
  // The other methods may throw
  // EScanFrameNoScanLine (a neighbour of a sampled frame without a line),
  // EMathZeroVector (degenerate local normal) and EScanSurfaceRangeException;
  // points moved in earlier iterations then stay moved.
  void stitchSurfaces(int iterations, StitchMethod method);

  double getStitchTolerance() const noexcept { return _tolerance; }
  std::size_t getSurfaceCount() const noexcept { return _entries.size(); }

  // One report per surface, in the order they were added, of the last
  // stitchSurfaces with STITCH_RIGID; empty after any other stitch.
  std::vector<RigidSurfaceReport> getRigidReport() const;

 protected:
  // Searches nearest points by a pass over every point of the surface
  // instead of the grid. Both give the same points; this exists to compare
  // them.
  void setEveryPointSearch(bool everyPoint) noexcept {
    _everyPointSearch = everyPoint;
  }

 private:
  void clearEntries() noexcept;

  void stitchRigid(int iterations);

  std::list<stitch_detail::SurfaceEntry*> _entries;
  // Where STITCH_RIGID starts to fit each entry, in the entries' order.
  std::vector<_MathMatrix<double>> _initial;
  std::vector<RigidSurfaceReport> _rigidReport;
  double _tolerance;
  bool _everyPointSearch = false;
};

}  // namespace QUAX

#endif  // QUAX_SCAN_STITCH_SCANSTITCHTOOL_H_
