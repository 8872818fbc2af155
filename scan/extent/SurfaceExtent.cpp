// SPDX-License-Identifier: MIT
#include "scan/extent/SurfaceExtent.h"

#include <cstddef>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <utility>

#include "scan/model/ScanFrame.h"
#include "scan/model/ScanLine.h"
#include "scan/model/ScanSurface.h"

namespace QUAX {

namespace {

// A scan line counts for the extent when it holds more than five points.
constexpr std::size_t kMinPoints = 6;
// Below this length the split direction is taken as no direction at all.
constexpr double kDegenerateLength = 2.220446049250313e-16;

// The frame's scan line, or null when the frame has none. Asking first
// avoids throwing and catching EScanFrameNoScanLine for every such frame.
const _ScanLine<double>* lineOf(const _ScanFrame<double>* frame) {
  return frame->hasScanLine() ? frame->getScanLine() : nullptr;
}

_GeoPoint<double> middleOf(const _ScanLine<double>& line) {
  return line.getPoint((line.getPointCount() - 1) / 2)->getPosition();
}

// Copies of every node of `source`; on failure the copies made so far are
// destroyed and `source` is untouched.
std::vector<ScanNode*> copyNodes(const std::vector<ScanNode*>& source) {
  std::vector<ScanNode*> copies;
  copies.reserve(source.size());
  try {
    for (const ScanNode* node : source) copies.push_back(new ScanNode(*node));
  } catch (...) {
    for (ScanNode* node : copies) delete node;
    throw;
  }
  return copies;
}

}  // namespace

SurfaceExtent::SurfaceExtent() noexcept : _splitDirection(0.0, 0.0, 0.0) {}

SurfaceExtent::SurfaceExtent(const SurfaceExtent& other)
    : _splitDirection(other._splitDirection),
      _nodes(copyNodes(other._nodes)),
      _refLine(other._refLine) {}

SurfaceExtent::SurfaceExtent(SurfaceExtent&& other) noexcept
    : _splitDirection(other._splitDirection),
      _nodes(std::move(other._nodes)),
      _refLine(other._refLine) {
  other._nodes.clear();
}

SurfaceExtent& SurfaceExtent::operator=(const SurfaceExtent& other) {
  if (this != &other) {
    std::vector<ScanNode*> copies = copyNodes(other._nodes);
    clearNodes();
    _nodes.swap(copies);
    _splitDirection = other._splitDirection;
    _refLine = other._refLine;
  }
  return *this;
}

SurfaceExtent& SurfaceExtent::operator=(SurfaceExtent&& other) noexcept {
  if (this != &other) {
    clearNodes();
    _nodes.swap(other._nodes);
    _splitDirection = other._splitDirection;
    _refLine = other._refLine;
  }
  return *this;
}

SurfaceExtent::~SurfaceExtent() { clearNodes(); }

void SurfaceExtent::clearNodes() noexcept {
  for (ScanNode* node : _nodes) delete node;
  _nodes.clear();
}

void SurfaceExtent::calculateExtents(_ScanSurface<double>* surface) {
  if (surface == nullptr) {
    throw std::invalid_argument(
        "SurfaceExtent::calculateExtents: null surface");
  }
  if (lineOf(surface->getFrame(0)) == nullptr) return;

  const std::size_t n = surface->getFrameCount();
  if (n == 0) return;

  // The middle of the first usable line, searched forward; frame n - 1 is
  // left to the backward search.
  _GeoPoint<double> first;
  for (std::size_t i = 0; i + 1 < n; ++i) {
    const _ScanLine<double>* line = lineOf(surface->getFrame(i));
    if (line == nullptr) return;
    if (line->getPointCount() >= kMinPoints) {
      first = middleOf(*line);
      break;
    }
  }
  // The middle of the last usable line, searched backward; never frame 0.
  _GeoPoint<double> last;
  for (std::size_t i = n - 1; i >= 1; --i) {
    const _ScanLine<double>* line = lineOf(surface->getFrame(i));
    if (line == nullptr) return;
    if (line->getPointCount() >= kMinPoints) {
      last = middleOf(*line);
      break;
    }
  }

  _splitDirection = last - first;
  if (_splitDirection.length() < kDegenerateLength) return;
  _refLine = _GeoLine<double>(first, _splitDirection);

  double previousDistance = 0.0;
  _GeoPoint<double> previousMiddle;
  double differential = 0.0;
  _nodes.reserve(_nodes.size() + n);
  for (std::size_t i = 0; i < surface->getFrameCount(); ++i) {
    const _ScanLine<double>* line = lineOf(surface->getFrame(i));
    if (line == nullptr) continue;
    const std::size_t count = line->getPointCount();
    if (count < kMinPoints) continue;

    const _GeoPoint<double> middle = middleOf(*line);
    const double distance = (middle - _refLine.project(middle)).length();
    // Frames 0 and 1 keep the differential at 0; a zero step between equal
    // middle points gives the IEEE result of the division.
    if (i > 1) {
      differential =
          (distance - previousDistance) / (middle - previousMiddle).length();
    }

    auto node = std::make_unique<ScanNode>();
    node->setNodelocation(middle);
    node->setStartLocation(line->getPoint(0)->getPosition());
    node->setEndLocation(line->getPoint(count - 1)->getPosition());
    node->setNode(middle, distance, differential, static_cast<std::int32_t>(i));
    _nodes.push_back(node.get());
    node.release();

    previousDistance = distance;
    previousMiddle = middle;
  }
}

void SurfaceExtent::getNodeList(std::vector<ScanNode*>* nodes) const {
  if (nodes == nullptr) {
    throw std::invalid_argument("SurfaceExtent::getNodeList: null vector");
  }
  nodes->assign(_nodes.begin(), _nodes.end());
}

void SurfaceExtent::getRefLine(_GeoLine<double>& line) const {
  line = _refLine;
}

void SurfaceExtent::getSplitDirection(_MathVector<double>& direction) {
  _splitDirection.normalize();
  direction = _splitDirection;
}

std::ostream& SurfaceExtent::operator<<(std::ostream& out) const {
  _GeoPoint<double> location;
  _GeoPoint<double> start;
  _GeoPoint<double> end;
  double distance = 0.0;
  double differential = 0.0;
  for (const ScanNode* node : _nodes) {
    node->getLocation(location);
    node->getStartLocation(start);
    node->getEndLocation(end);
    node->getProjectedDistance(distance);
    node->getprojectedDifferential(differential);
    out << location.x() << ',' << location.y() << ',' << location.z() << ','
        << start.x() << ',' << start.y() << ',' << start.z() << ',' << end.x()
        << ',' << end.y() << ',' << end.z() << ',' << distance << ','
        << differential << ',' << std::endl;
  }
  return out;
}

std::ostream& operator<<(std::ostream& out, const SurfaceExtent& extent) {
  return extent << out;
}

}  // namespace QUAX
