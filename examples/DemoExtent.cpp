// SPDX-License-Identifier: MIT
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "Demo.h"
#include "acquire/SimulatedScanner.h"
#include "geomath/GeoLine.h"
#include "scan/extent/SurfaceExtent.h"

namespace quaxdemo {

using QUAX::ScannerSettings;
using QUAX::SimulatedScanner;

namespace {

// A sweep of the simulated scanner in which frame 80 lost all but three
// points (too few to count) and frame 120 has no scan line at all.
std::unique_ptr<QUAX::ScanSurface> sweepWithDropouts(std::size_t frames) {
  SimulatedScanner scanner(ScannerSettings{});
  auto surface = std::make_unique<QUAX::ScanSurface>();
  for (std::size_t i = 0; i < frames; ++i) {
    std::unique_ptr<QUAX::ScanLine> line = scanner.profile(i);
    if (i == 80) line->erase(3, line->getPointCount());
    auto frame = i == 120 ? std::make_unique<QUAX::ScanFrame>()
                          : std::make_unique<QUAX::ScanFrame>(std::move(line));
    surface->appendFrame(std::move(frame));
  }
  surface->setComplete();
  return surface;
}

}  // namespace

void runExtentDemo(const std::filesystem::path& folder) {
  std::printf(
      "\n== Extent: where a sweep runs and how its middle line bends\n");
  constexpr std::size_t kFrames = 200;
  const std::unique_ptr<QUAX::ScanSurface> surface = sweepWithDropouts(kFrames);

  QUAX::SurfaceExtent extent;
  extent.calculateExtents(surface.get());
  std::vector<QUAX::ScanNode*> nodes;
  extent.getNodeList(&nodes);
  std::printf(
      "  %zu nodes from %zu frames (frame 80 too short, 120 without a line)\n",
      nodes.size(), surface->getFrameCount());
  if (nodes.empty()) return;

  QUAX::_GeoLine<double> ref;
  extent.getRefLine(ref);
  QUAX::_MathVector<double> split;
  extent.getSplitDirection(split);
  std::printf(
      "  reference line from (%.2f, %.2f, %.2f) along (%.4f, %.4f, %.4f)\n",
      ref.getOrigin().x(), ref.getOrigin().y(), ref.getOrigin().z(), split.x(),
      split.y(), split.z());

  double widest = 0.0;
  std::int32_t widestFrame = 0;
  double steepest = 0.0;
  for (const QUAX::ScanNode* node : nodes) {
    double distance = 0.0;
    double differential = 0.0;
    node->getProjectedDistance(distance);
    node->getprojectedDifferential(differential);
    if (distance > widest) {
      widest = distance;
      widestFrame = node->getFrameIndex();
    }
    if (std::fabs(differential) > std::fabs(steepest)) steepest = differential;
  }
  std::printf(
      "  middle line leaves the reference line by up to %.3f (frame %d)\n",
      widest, static_cast<int>(widestFrame));
  std::printf("  steepest change of that distance: %.4f per unit of travel\n",
              steepest);

  const std::filesystem::path path = folder / "quax_surface_extent.csv";
  std::ofstream file(path);
  extent << file;
  file.close();
  if (!file) {
    std::printf("  could not write %s\n", path.string().c_str());
    return;
  }
  std::printf("  node text written to %s\n", path.string().c_str());
  std::printf(
      "    (per line: middle, first and last point x,y,z; distance; "
      "differential)\n");
}

}  // namespace quaxdemo
