// SPDX-License-Identifier: MIT
// A host built against the installed package: two sweeps through every
// filter (serially, in parallel, from settings text), the extent and the
// stitch tool.
#include <cmath>
#include <memory>
#include <sstream>
#include <vector>

#include <scan/ScanVersion.h>
#include <scan/extent/SurfaceExtent.h>
#include <scan/filters/ParallelFilter.h>
#include <scan/filters/ScanAverageFilter.h>
#include <scan/filters/ScanChordalDeviationFilter.h>
#include <scan/filters/ScanNPointFilter.h>
#include <scan/model/ScanPointItems.h>
#include <scan/model/ScanSet.h>
#include <scan/stitch/ScanStitchTool.h>

// A sweep over a bump, moved by `shift` along x: 40 frames of 60 points.
static std::unique_ptr<QUAX::ScanSurface> sweep(double shift) {
  auto surface = std::make_unique<QUAX::ScanSurface>();
  for (int f = 0; f < 40; ++f) {
    auto line = std::make_unique<QUAX::ScanLine>();
    for (int i = 0; i < 60; ++i) {
      const double x = 0.5 * i + shift;
      line->appendPoint(QUAX::_GeoPoint<double>(
          x, 0.5 * f, 3.0 * std::exp(-0.01 * (x - 15) * (x - 15))));
    }
    surface->appendFrame(std::make_unique<QUAX::ScanFrame>(std::move(line)));
  }
  surface->setComplete();
  return surface;
}

static std::size_t pointsOf(QUAX::ScanSet& set, std::size_t s) {
  return set.getSurface(s)->getFrame(7)->getScanLine()->getPointCount();
}

int main() {
  checkScanDllVersion(3);
  QUAX::scanInit();
  QUAX::ScanSet set;
  set.addSurface(sweep(0.0));
  set.addSurface(sweep(0.3));
  QUAX::ScanAverageFilter(3, 1.0).applyFilter(set);
  bool ok = pointsOf(set, 0) == 60;
  QUAX::applyFilterParallel(QUAX::ScanChordalDeviationFilter(0.01), set, 2);
  ok = ok && pointsOf(set, 1) < 60;
  std::wstringstream text;  // the N-point filter read from settings text
  text << QUAX::ScanNPointFilter(12, QUAX::ScanNPointFilter::EQUAL_INDEX);
  QUAX::ScanNPointFilter nPoint(3, QUAX::ScanNPointFilter::EQUAL_ARC_LENGTH);
  text >> nPoint;
  nPoint.applyFilter(set);
  ok = ok && pointsOf(set, 0) == 12;

  QUAX::SurfaceExtent extent;
  extent.calculateExtents(set.getSurface(0));
  std::vector<QUAX::ScanNode*> nodes;
  extent.getNodeList(&nodes);
  ok = ok && nodes.size() == 40;

  QUAX::ScanStitchTool tool(1.0);
  tool.addSurfacePointer(set.getSurface(0), true);
  tool.addSurfacePointer(set.getSurface(1), true);
  tool.stitchSurfaces(4, QUAX::ScanStitchTool::STITCH_RIGID);
  return ok && tool.getRigidReport().size() == 2 ? 0 : 1;
}
