// SPDX-License-Identifier: MIT
// Stitching: two overlapping sweeps of a curved part, the second registered
// with a known error, brought back together by the stitch tool.
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "Demo.h"
#include "apps/quaxscan/ProgressReport.h"
#include "acquire/SimulatedScanner.h"
#include "scan/model/ScanFrame.h"
#include "scan/model/ScanLine.h"
#include "scan/model/ScanSurface.h"
#include "scan/stitch/ScanStitchTool.h"

namespace quaxdemo {

namespace {

using QUAX::_GeoPoint;
using QUAX::_MathVector;
using QUAX::ScanStitchTool;
using QUAX::ScanSurface;

constexpr int kPointsPerLine = 300;
constexpr double kLineWidth = 60.0;
constexpr double kFrameSpacing = 0.5;
constexpr int kFrames = 120;

// One sweep of the simulated scanner along y from `y0`; every point is
// registered off by `error`.
std::unique_ptr<ScanSurface> sweep(QUAX::SimulatedScanner& scanner,
                                   double y0,
                                   const _MathVector<double>& error) {
  return scanner.sweep(kFrames, y0, error);
}

double partHeight(double x, double y) {
  return QUAX::SimulatedScanner::partHeight(x, y);
}

_GeoPoint<double> firstPoint(ScanSurface& surface) {
  return surface.getFrame(0)->getScanLine()->getPoint(0)->getPosition();
}

// Mean height of the second sweep's points above the first sweep, where the
// first sweep (moved by `firstShift`) lies under them.
double meanGap(ScanSurface& second, const _MathVector<double>& firstShift,
               double firstY0) {
  double sum = 0.0;
  std::size_t n = 0;
  for (std::size_t i = 0; i < second.getFrameCount(); ++i) {
    const QUAX::ScanLine& line = *second.getFrame(i)->getScanLine();
    for (std::size_t j = 0; j < line.getPointCount(); ++j) {
      const _GeoPoint<double>& p = line.getPoint(j)->position();
      const double x = p.x() - firstShift.x(), y = p.y() - firstShift.y();
      if (y < firstY0 || y > firstY0 + (kFrames - 1) * kFrameSpacing) continue;
      if (std::fabs(x) > kLineWidth / 2) continue;
      sum += std::fabs(p.z() - (partHeight(x, y) + firstShift.z()));
      ++n;
    }
  }
  return n == 0 ? 0.0 : sum / static_cast<double>(n);
}

void printOffset(const char* label, const _MathVector<double>& offset,
                 double gap) {
  std::printf(
      "  %s: residual offset (%.3f, %.3f, %.3f), length %.3f; mean gap %.3f\n",
      label, offset.x(), offset.y(), offset.z(), offset.length(), gap);
}

}  // namespace

void runStitchDemo() {
  std::printf("== Stitching two overlapping sweeps\n");
  QUAX::ScannerSettings settings;
  settings.pointsPerLine = kPointsPerLine;
  settings.lineWidth = kLineWidth;
  settings.frameSpacing = kFrameSpacing;
  settings.noise = 0.01;
  settings.seed = 7;
  QUAX::SimulatedScanner scanner(settings);
  const _MathVector<double> error(0.15, -0.10, 0.40);
  auto first = sweep(scanner, 0.0, _MathVector<double>());
  auto second = sweep(scanner, 30.0, error);
  std::printf(
      "  two sweeps of %d lines x %d points, y 0 to %.1f and 30 to %.1f;\n"
      "  the second registered off by (%.2f, %.2f, %.2f)\n",
      kFrames, kPointsPerLine, (kFrames - 1) * kFrameSpacing,
      30.0 + (kFrames - 1) * kFrameSpacing, error.x(), error.y(), error.z());

  const _GeoPoint<double> firstStart = firstPoint(*first);
  const _GeoPoint<double> secondStart = firstPoint(*second);
  printOffset("before", error, meanGap(*second, _MathVector<double>(), 0.0));

  ScanStitchTool tool(1.0);
  quaxscan::ProgressReport bar(stdout, "  progress ");
  tool.attach(
      ScanStitchTool::Callback(bar, &quaxscan::ProgressReport::onProgress),
      0xFFFFFFFFu);
  tool.addSurfacePointer(first.get(), true);
  tool.addSurfacePointer(second.get(), true);
  std::printf(
      "  stitching with tolerance 1.0 in 4 iterations, the second sweep as "
      "reference:\n");
  tool.stitchSurfaces(4, ScanStitchTool::STITCH_TO_REFERENCE);

  const _MathVector<double> firstShift = firstPoint(*first) - firstStart;
  const _MathVector<double> secondShift = firstPoint(*second) - secondStart;
  printOffset("after ", error + (secondShift - firstShift),
              meanGap(*second, firstShift, 0.0));
  std::printf(
      "  (surfaces move along their local normals: the offset across the "
      "part\n   closes, the part of it along the part's surface stays)\n\n");
}

}  // namespace quaxdemo
