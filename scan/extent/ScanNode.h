// SPDX-License-Identifier: MIT
// A summary of one frame of a scan surface for the surface extent: the
// middle, first and last point of the frame's scan line, the middle point's
// distance from the surface's reference line and how fast it changes.
#ifndef QUAX_SCAN_EXTENT_SCANNODE_H_
#define QUAX_SCAN_EXTENT_SCANNODE_H_

#include <cstdint>

#include "geomath/GeoPoint.h"
#include "scan/QUAXScanExport.h"

namespace QUAX {

// Which point of a node nodaldistance measures from. Any value other than
// QUERY_LOCATION and QUERY_START measures from the end location.
enum QUERYTAG : std::int32_t {
  QUERY_LOCATION = 0,
  QUERY_START = 1,
  QUERY_END = 2,
};

// Nodes made by SurfaceExtent belong to the extent; callers may also build
// and fill nodes of their own. Getters copy into the caller's out
// parameters. A node has no lock.
class QUAX_SCAN_API ScanNode {
 public:
  // All points (0, 0, 0), distance and differential 0.0, frame index and
  // both indices 0, tag QUERY_LOCATION.
  ScanNode() noexcept;
  ScanNode(const ScanNode& other) noexcept;
  // Copies every field.
  ScanNode& operator=(const ScanNode& other) noexcept;
  virtual ~ScanNode();

  // Sets location, projected distance, projected differential and frame
  // index; start and end location, the indices and the tag stay.
  void setNode(const _GeoPoint<double>& location, double projectedDistance,
               double projectedDifferential, std::int32_t frameIndex) noexcept;

  void setNodelocation(const _GeoPoint<double>& location) noexcept;
  void getLocation(_GeoPoint<double>& location) const noexcept;
  void setStartLocation(const _GeoPoint<double>& location) noexcept;
  void getStartLocation(_GeoPoint<double>& location) const noexcept;
  void setEndLocation(const _GeoPoint<double>& location) noexcept;
  void getEndLocation(_GeoPoint<double>& location) const noexcept;

  void getProjectedDistance(double& distance) const noexcept;
  void getprojectedDifferential(double& differential) const noexcept;
  std::int32_t getFrameIndex() const noexcept;

  // The two indices are the caller's storage, written and read as a pair.
  void setLeftandRightIndecies(const std::int32_t& left,
                               const std::int32_t& right) noexcept;
  void getLeftandRightIndecies(std::int32_t& left,
                               std::int32_t& right) const noexcept;

  // There is no getter: the tag only steers nodaldistance.
  void setTag(const QUERYTAG& tag) noexcept;

  // Distance from this node's point chosen by its tag (location, start or
  // end location) to `other`'s location. `other`'s tag plays no part.
  double nodaldistance(const ScanNode& other) const noexcept;

 private:
  _GeoPoint<double> _location;
  _GeoPoint<double> _endLocation;
  _GeoPoint<double> _startLocation;
  double _projectedDistance;
  double _projectedDifferential;
  std::int32_t _frameIndex;
  std::int32_t _leftIndex;
  std::int32_t _rightIndex;
  QUERYTAG _tag;
};

}  // namespace QUAX

#endif  // QUAX_SCAN_EXTENT_SCANNODE_H_
