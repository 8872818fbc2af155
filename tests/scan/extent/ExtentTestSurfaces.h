// SPDX-License-Identifier: MIT
// Surfaces with known middle points for the extent tests.
#ifndef QUAX_TESTS_SCAN_EXTENT_EXTENTTESTSURFACES_H_
#define QUAX_TESTS_SCAN_EXTENT_EXTENTTESTSURFACES_H_

#include <cstddef>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "scan/extent/ScanNode.h"
#include "scan/model/ScanSurface.h"

namespace QUAX {
namespace testing {

// What one test frame holds: no scan line (count 0), or a line of `count`
// points across y whose middle point (index (count - 1) / 2) sits at
// `middle`.
struct FrameShape {
  std::size_t count = 100;
  _GeoPoint<double> middle;
};

inline FrameShape line(std::size_t count, double x, double y, double z) {
  return FrameShape{count, _GeoPoint<double>(x, y, z)};
}
inline FrameShape noLine() { return FrameShape{0, {}}; }

inline std::unique_ptr<_ScanFrame<double>> makeFrame(const FrameShape& shape) {
  if (shape.count == 0) return std::make_unique<_ScanFrame<double>>();
  auto scanLine = std::make_unique<_ScanLine<double>>();
  const double first = -static_cast<double>((shape.count - 1) / 2);
  for (std::size_t j = 0; j < shape.count; ++j) {
    scanLine->appendPoint(_GeoPoint<double>(
        shape.middle.x(), shape.middle.y() + first + j, shape.middle.z()));
  }
  return std::make_unique<_ScanFrame<double>>(std::move(scanLine));
}

// A complete surface with one frame per shape given.
inline std::unique_ptr<_ScanSurface<double>> makeSurface(
    const std::vector<FrameShape>& frames) {
  auto surface = std::make_unique<_ScanSurface<double>>();
  for (const FrameShape& shape : frames) surface->appendFrame(makeFrame(shape));
  surface->setComplete();
  return surface;
}

// Frames i = 0 .. count - 1 of 100 points, middles at (10 i, 0, 0).
inline std::vector<FrameShape> straightFrames(std::size_t count) {
  std::vector<FrameShape> frames;
  for (std::size_t i = 0; i < count; ++i)
    frames.push_back(line(100, 10.0 * i, 0, 0));
  return frames;
}

// Every field of a node: "frame: location start end distance differential
// [left right]".
inline std::string fieldsOf(const ScanNode& node) {
  _GeoPoint<double> p[3];
  node.getLocation(p[0]);
  node.getStartLocation(p[1]);
  node.getEndLocation(p[2]);
  double distance = -1, differential = -1;
  node.getProjectedDistance(distance);
  node.getprojectedDifferential(differential);
  std::int32_t left = -1, right = -1;
  node.getLeftandRightIndecies(left, right);
  std::ostringstream out;
  out << node.getFrameIndex() << ":";
  for (const auto& q : p)
    out << " (" << q.x() << "," << q.y() << "," << q.z() << ")";
  out << " " << distance << " " << differential << " [" << left << " " << right
      << "]";
  return out.str();
}

}  // namespace testing
}  // namespace QUAX

#endif  // QUAX_TESTS_SCAN_EXTENT_EXTENTTESTSURFACES_H_
