// SPDX-License-Identifier: MIT
// Surfaces for the stitch tests: sweeps of straight scan lines over a
// height function; the progress a stitch reports.
#ifndef QUAX_TESTS_SCAN_STITCH_STITCHTESTSURFACES_H_
#define QUAX_TESTS_SCAN_STITCH_STITCHTESTSURFACES_H_

#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

#include "geomath/GeoPoint.h"
#include "scan/model/ScanFrame.h"
#include "scan/model/ScanLine.h"
#include "scan/model/ScanSurface.h"
#include "scan/stitch/ScanStitchTool.h"

namespace QUAX {
namespace stitch_test {

// Frame i is the line y = y0 + i * spacing; its point j lies at
// x = x0 + j * spacing, z = height(x, y).
template <class Height>
std::unique_ptr<ScanSurface> sweep(int frames, int pointsPerLine, double x0,
                                   double y0, double spacing, Height height) {
  auto surface = std::make_unique<ScanSurface>();
  for (int i = 0; i < frames; ++i) {
    auto line = std::make_unique<ScanLine>();
    const double y = y0 + i * spacing;
    for (int j = 0; j < pointsPerLine; ++j) {
      const double x = x0 + j * spacing;
      line->appendPoint(_GeoPoint<double>(x, y, height(x, y)));
    }
    surface->appendFrame(std::make_unique<ScanFrame>(std::move(line)));
  }
  surface->setComplete();
  return surface;
}

// A shallow bowl z = 0.01 (x² + y²) + lift.
struct Bowl {
  double lift = 0.0;
  double operator()(double x, double y) const {
    return 0.01 * (x * x + y * y) + lift;
  }
};

struct PositionRecorder {
  std::vector<_GeoPoint<double>>* out;
  void visit(_ScanVisit<double>& v) {
    out->push_back(v.currentPoint->getPosition());
  }
};

// Every point of `surface`, in visit order.
inline std::vector<_GeoPoint<double>> positions(ScanSurface& surface) {
  std::vector<_GeoPoint<double>> out;
  PositionRecorder recorder{&out};
  _ScanVisit<double> visit;
  surface.forEachPoint(
      ScanSurface::PointCallback(recorder, &PositionRecorder::visit), visit);
  return out;
}

struct ProgressLog {
  std::vector<int> values;
  void on(Subject<int, unsigned>*, int value, unsigned event) {
    EXPECT_EQ(event, 0xFFFFFFFFu);
    values.push_back(value);
  }
};

// Stitches and returns the progress values reported, in order.
inline std::vector<int> progressOf(
    ScanStitchTool& tool, int iterations,
    ScanStitchTool::StitchMethod method = ScanStitchTool::STITCH_BOTH) {
  ProgressLog log;
  const ScanStitchTool::Callback callback(log, &ProgressLog::on);
  tool.attach(callback, 1u);
  tool.stitchSurfaces(iterations, method);
  tool.detach(callback, 1u);
  return log.values;
}

}  // namespace stitch_test
}  // namespace QUAX

#endif  // QUAX_TESTS_SCAN_STITCH_STITCHTESTSURFACES_H_
