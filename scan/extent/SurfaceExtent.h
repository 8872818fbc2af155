// SPDX-License-Identifier: MIT
// The extent of a scan surface: the direction in which it runs from frame to
// frame, a reference line along it, and one node per usable frame.
#ifndef QUAX_SCAN_EXTENT_SURFACEEXTENT_H_
#define QUAX_SCAN_EXTENT_SURFACEEXTENT_H_

#include <iosfwd>
#include <vector>

#include "geomath/GeoLine.h"
#include "geomath/MathVector.h"
#include "scan/QUAXScanExport.h"
#include "scan/extent/ScanNode.h"

namespace QUAX {

template <class T>
class _ScanSurface;

// An extent owns the nodes it makes: they live until the extent is destroyed
// (or assigned over). Copies and assignment copy every node, so no two
// extents ever share one. An extent has no lock and is used by one thread at
// a time; the surface it reads may still be filled by another thread.
class QUAX_SCAN_API SurfaceExtent {
 public:
  // Split direction (0, 0, 0), no nodes, reference line through (0, 0, 0)
  // along (0, 0, 1).
  SurfaceExtent() noexcept;
  // Copies the split direction, the reference line and every node.
  SurfaceExtent(const SurfaceExtent& other);
  SurfaceExtent(SurfaceExtent&& other) noexcept;
  // Copies the split direction, the reference line and every node; the nodes
  // this extent held before are destroyed (pointers to them handed out by
  // getNodeList become invalid). Self-assignment changes nothing.
  SurfaceExtent& operator=(const SurfaceExtent& other);
  SurfaceExtent& operator=(SurfaceExtent&& other) noexcept;
  virtual ~SurfaceExtent();

  // Computes the split direction and the reference line of `surface` and
  // appends one node per frame whose scan line holds six points or more
  // (nodes of earlier calls stay). Reads the surface only. A frame 0 without
  // a scan line, or a frame without one met while searching for the first
  // and last usable frame, leaves the extent unchanged; such a frame met
  // while making nodes is skipped. A degenerate split direction (below
  // 2.220446049250313e-16) is stored and nothing else changes.
  //
  // Throws std::invalid_argument for a null surface. EMathZeroVector (split
  // direction too short to normalise), EScanSurfaceRangeException (a
  // complete surface without frames) and std::bad_alloc reach the caller;
  // what was stored before stays.
  //
  // On a surface that is still being filled this waits for frames the
  // surface does not hold yet, and reads the frame count afresh for every
  // frame, so frames that arrive meanwhile are included.
  void calculateExtents(_ScanSurface<double>* surface);

  // Empties `*nodes`, then appends the extent's nodes in the order they were
  // made. The nodes stay owned by the extent. Throws std::invalid_argument
  // for a null vector.
  void getNodeList(std::vector<ScanNode*>* nodes) const;

  void getRefLine(_GeoLine<double>& line) const;

  // Normalises the stored split direction in place and copies it into
  // `direction`. Below 2.220446049250313e-13 (the initial (0, 0, 0)
  // included) throws EMathZeroVector and changes nothing.
  void getSplitDirection(_MathVector<double>& direction);

  // Writes one line per node: location x, y, z, start x, y, z, end x, y, z,
  // projected distance and differential, each followed by ",", in the
  // stream's current format, then std::endl. The extent is the left operand:
  // `extent << out`. Returns `out`.
  std::ostream& operator<<(std::ostream& out) const;

 private:
  void clearNodes() noexcept;

  _MathVector<double> _splitDirection;
  std::vector<ScanNode*> _nodes;
  _GeoLine<double> _refLine;
};

// The conventional spelling of the same output: `out << extent`.
QUAX_SCAN_API std::ostream& operator<<(std::ostream& out,
                                       const SurfaceExtent& extent);

}  // namespace QUAX

#endif  // QUAX_SCAN_EXTENT_SURFACEEXTENT_H_
