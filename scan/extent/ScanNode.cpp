// SPDX-License-Identifier: MIT
#include "scan/extent/ScanNode.h"

#include <cmath>

namespace QUAX {

ScanNode::ScanNode() noexcept
    : _projectedDistance(0.0),
      _projectedDifferential(0.0),
      _frameIndex(0),
      _leftIndex(0),
      _rightIndex(0),
      _tag(QUERY_LOCATION) {}

ScanNode::ScanNode(const ScanNode& other) noexcept = default;

ScanNode& ScanNode::operator=(const ScanNode& other) noexcept = default;

ScanNode::~ScanNode() = default;

void ScanNode::setNode(const _GeoPoint<double>& location,
                       double projectedDistance, double projectedDifferential,
                       std::int32_t frameIndex) noexcept {
  _location = location;
  _projectedDistance = projectedDistance;
  _projectedDifferential = projectedDifferential;
  _frameIndex = frameIndex;
}

void ScanNode::setNodelocation(const _GeoPoint<double>& location) noexcept {
  _location = location;
}

void ScanNode::getLocation(_GeoPoint<double>& location) const noexcept {
  location = _location;
}

void ScanNode::setStartLocation(const _GeoPoint<double>& location) noexcept {
  _startLocation = location;
}

void ScanNode::getStartLocation(_GeoPoint<double>& location) const noexcept {
  location = _startLocation;
}

void ScanNode::setEndLocation(const _GeoPoint<double>& location) noexcept {
  _endLocation = location;
}

void ScanNode::getEndLocation(_GeoPoint<double>& location) const noexcept {
  location = _endLocation;
}

void ScanNode::getProjectedDistance(double& distance) const noexcept {
  distance = _projectedDistance;
}

void ScanNode::getprojectedDifferential(double& differential) const noexcept {
  differential = _projectedDifferential;
}

std::int32_t ScanNode::getFrameIndex() const noexcept { return _frameIndex; }

void ScanNode::setLeftandRightIndecies(const std::int32_t& left,
                                       const std::int32_t& right) noexcept {
  _leftIndex = left;
  _rightIndex = right;
}

void ScanNode::getLeftandRightIndecies(std::int32_t& left,
                                       std::int32_t& right) const noexcept {
  left = _leftIndex;
  right = _rightIndex;
}

void ScanNode::setTag(const QUERYTAG& tag) noexcept { _tag = tag; }

double ScanNode::nodaldistance(const ScanNode& other) const noexcept {
  const _GeoPoint<double>* from = &_endLocation;
  if (_tag == QUERY_LOCATION) {
    from = &_location;
  } else if (_tag == QUERY_START) {
    from = &_startLocation;
  }
  const double dx = from->x() - other._location.x();
  const double dy = from->y() - other._location.y();
  const double dz = from->z() - other._location.z();
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

}  // namespace QUAX
