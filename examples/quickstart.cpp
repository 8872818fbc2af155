// SPDX-License-Identifier: MIT
// The README's quick start: make a scan set of two overlapping sweeps, filter
// every scan line, stitch the sweeps and measure a sweep's extent. Exits 1
// when the stitch does not bring the sweeps together.
// [quickstart]
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

#include "scan/extent/SurfaceExtent.h"
#include "scan/filters/ScanAverageFilter.h"
#include "scan/filters/ScanChordalDeviationFilter.h"
#include "scan/model/ScanPointItems.h"
#include "scan/model/ScanSet.h"
#include "scan/stitch/ScanStitchTool.h"

using Vector = QUAX::_MathVector<double>;

// One sweep along y over a curved sheet: 80 lines of 200 points from y0 on,
// each point put off by `off` (a misregistered sweep).
std::unique_ptr<QUAX::ScanSurface> sweep(double y0, const Vector& off) {
  auto surface = std::make_unique<QUAX::ScanSurface>();
  for (int f = 0; f < 80; ++f) {
    auto line = std::make_unique<QUAX::ScanLine>();
    for (int i = 0; i < 200; ++i) {
      const double x = -20 + 0.2 * i, y = y0 + 0.5 * f;
      const double z = 0.02 * x * x + 2 * std::sin(0.2 * y) + std::cos(x) / 2;
      line->appendPoint(QUAX::_GeoPoint<double>(x, y, z) + off);
    }
    surface->appendFrame(std::make_unique<QUAX::ScanFrame>(std::move(line)));
  }
  surface->setComplete();  // readers waiting for more frames stop waiting
  return surface;
}

int main() {
  QUAX::scanInit();  // once, before threads use extension items
  QUAX::ScanSet set;
  set.addSurface(sweep(0, Vector(0.3, -0.2, 0.4)));
  set.addSurface(sweep(30, Vector()));  // overlaps sweep 0 for y 30 to 39.5

  QUAX::ScanAverageFilter(5, 1.0).applyFilter(set);          // smooth
  QUAX::ScanChordalDeviationFilter(0.005).applyFilter(set);  // thin

  QUAX::ScanStitchTool stitch(1.0);  // pairs points up to 1 unit apart
  stitch.addSurfacePointer(set.getSurface(0), true);
  stitch.addSurfacePointer(set.getSurface(1), true);
  stitch.stitchSurfaces(10, QUAX::ScanStitchTool::STITCH_RIGID);
  const auto moved = stitch.getRigidReport()[0];  // sweep 0, moved onto 1
  std::printf("sweep 0: RMS %.4f -> %.4f\n", moved.rmsBefore, moved.rmsAfter);

  QUAX::SurfaceExtent extent;
  extent.calculateExtents(set.getSurface(0));
  std::vector<QUAX::ScanNode*> nodes;  // owned by the extent
  extent.getNodeList(&nodes);
  std::printf("extent of sweep 0: %zu nodes\n", nodes.size());
  // [quickstart]
  const bool ok = moved.status == QUAX::ScanStitchTool::RIGID_REGISTERED &&
                  moved.rmsAfter < 0.01 && nodes.size() == 80;
  return ok ? 0 : 1;
}
