// SPDX-License-Identifier: MIT
// A host built against the installed package: it fills two sweeps, runs every
// filter (serially, in parallel and from settings text), measures the extent
// of a sweep and stitches the sweeps, as an application would.
#include <cmath>
#include <cstdio>
#include <memory>
#include <sstream>
#include <vector>

#include <scan/ScanErrors.h>
#include <scan/ScanVersion.h>
#include <scan/extent/ScanNode.h>
#include <scan/extent/SurfaceExtent.h>
#include <scan/filters/ParallelFilter.h>
#include <scan/filters/ScanAverageFilter.h>
#include <scan/filters/ScanChordalDeviationFilter.h>
#include <scan/filters/ScanNPointFilter.h>
#include <scan/model/ScanFrame.h>
#include <scan/model/ScanLine.h>
#include <scan/model/ScanPointItems.h>
#include <scan/model/ScanSet.h>
#include <scan/model/ScanSurface.h>
#include <scan/stitch/ScanStitchTool.h>

namespace {

int failures = 0;

void expect(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "quax_consumer: %s\n", what);
    ++failures;
  }
}

// A sweep over a bump, moved by `shift` along x: 40 frames of 60 points.
std::unique_ptr<QUAX::ScanSurface> sweep(double shift) {
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

std::size_t pointsOf(QUAX::ScanSurface& surface, std::size_t frame) {
  return surface.getFrame(frame)->getScanLine()->getPointCount();
}

}  // namespace

int main() {
  checkScanDllVersion(3);
  QUAX::scanInit();

  QUAX::ScanSet set;
  set.addSurface(sweep(0.0));
  set.addSurface(sweep(0.3));

  // The average filter keeps every point; the thinning filters cut lines.
  QUAX::ScanAverageFilter average(3, 1.0);
  average.applyFilter(set);
  expect(pointsOf(*set.getSurface(0), 0) == 60, "average filter count");
  QUAX::ScanChordalDeviationFilter chordal(0.01);
  QUAX::applyFilterParallel(chordal, set, 2);
  const std::size_t thinned = pointsOf(*set.getSurface(1), 39);
  expect(thinned < 60 && thinned >= 2, "chordal deviation filter count");

  // Settings text round trip, then the N-point filter read from it.
  std::wstringstream text;
  text << QUAX::ScanNPointFilter(12, QUAX::ScanNPointFilter::EQUAL_INDEX);
  QUAX::ScanNPointFilter nPoint(3, QUAX::ScanNPointFilter::EQUAL_ARC_LENGTH);
  text >> nPoint;
  nPoint.applyFilter(set);
  expect(pointsOf(*set.getSurface(0), 7) == 12, "N-point filter count");

  QUAX::SurfaceExtent extent;
  extent.calculateExtents(set.getSurface(0));
  std::vector<QUAX::ScanNode*> nodes;
  extent.getNodeList(&nodes);
  expect(nodes.size() == 40, "one extent node per frame");
  std::ostringstream nodeText;
  nodeText << extent;
  expect(!nodeText.str().empty(), "extent text");

  QUAX::ScanStitchTool tool(1.0);
  tool.addSurfacePointer(set.getSurface(0), true);
  tool.addSurfacePointer(set.getSurface(1), true);
  tool.stitchSurfaces(4, QUAX::ScanStitchTool::STITCH_RIGID);
  expect(tool.getRigidReport().size() == 2, "a rigid report per surface");

  try {
    QUAX::ScanAverageFilter refused(0, 1.0);
    expect(false, "a filter of no points is refused");
  } catch (const QUAX::EVXException& e) {
    expect(e.getCode() != 0, "the refusal carries its code");
  }
  return failures == 0 ? 0 : 1;
}
