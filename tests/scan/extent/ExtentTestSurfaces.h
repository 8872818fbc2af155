// SPDX-License-Identifier: MIT
// Surfaces with known middle points for the extent tests.
#ifndef QUAX_TESTS_SCAN_EXTENT_EXTENTTESTSURFACES_H_
#define QUAX_TESTS_SCAN_EXTENT_EXTENTTESTSURFACES_H_

#include <cstddef>
#include <memory>
#include <vector>

#include "geomath/GeoPoint.h"
#include "scan/model/ScanFrame.h"
#include "scan/model/ScanLine.h"
#include "scan/model/ScanSurface.h"

namespace QUAX {
namespace testing {

// What one test frame holds: no scan line, or a line of `count` points
// across y whose middle point (index (count - 1) / 2) sits at `middle`.
struct FrameShape {
  bool hasLine = true;
  std::size_t count = 100;
  _GeoPoint<double> middle;
};

inline FrameShape noLine() {
  FrameShape shape;
  shape.hasLine = false;
  return shape;
}

inline FrameShape line(std::size_t count, double x, double y, double z) {
  FrameShape shape;
  shape.count = count;
  shape.middle = _GeoPoint<double>(x, y, z);
  return shape;
}

// Point j of a line: the middle shifted along y by j - (count - 1) / 2.
inline _GeoPoint<double> pointOf(const FrameShape& shape, std::size_t j) {
  const double offset =
      static_cast<double>(j) - static_cast<double>((shape.count - 1) / 2);
  return _GeoPoint<double>(shape.middle.x(), shape.middle.y() + offset,
                           shape.middle.z());
}

inline std::unique_ptr<_ScanFrame<double>> makeFrame(const FrameShape& shape) {
  if (!shape.hasLine) return std::make_unique<_ScanFrame<double>>();
  auto scanLine = std::make_unique<_ScanLine<double>>();
  for (std::size_t j = 0; j < shape.count; ++j) {
    scanLine->appendPoint(pointOf(shape, j));
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

// Frames i = 0 .. count - 1 with `points` points each, middles at (10 i, 0, 0).
inline std::vector<FrameShape> straightFrames(std::size_t count,
                                             std::size_t points = 100) {
  std::vector<FrameShape> frames;
  for (std::size_t i = 0; i < count; ++i) {
    frames.push_back(line(points, 10.0 * static_cast<double>(i), 0, 0));
  }
  return frames;
}

}  // namespace testing
}  // namespace QUAX

#endif  // QUAX_TESTS_SCAN_EXTENT_EXTENTTESTSURFACES_H_
