// SPDX-License-Identifier: MIT
// Extents computed while an acquisition thread still fills the surface.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "scan/extent/SurfaceExtent.h"
#include "tests/scan/extent/ExtentTestSurfaces.h"
#include "tests/thread/ThreadTestSupport.h"

namespace QUAX {
namespace {

using testing::BoundedThread;
using testing::makeFrame;

constexpr std::size_t kFrames = 40;
const std::vector<testing::FrameShape> kShapes =
    testing::straightFrames(kFrames);

// Every node belongs to the next frame of the straight test surface.
void expectConsecutiveNodes(const SurfaceExtent& extent, std::size_t atLeast) {
  std::vector<ScanNode*> nodes;
  extent.getNodeList(&nodes);
  ASSERT_GE(nodes.size(), atLeast);
  ASSERT_LE(nodes.size(), kFrames);
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    _GeoPoint<double> location;
    nodes[i]->getLocation(location);
    EXPECT_EQ(nodes[i]->getFrameIndex(), static_cast<std::int32_t>(i));
    EXPECT_EQ(location, kShapes[i].middle) << i;
  }
}

// The first computation waits for frame 0 of an empty surface and then sees
// the frames in order, however far the filler has got.
TEST(SurfaceExtentThreads, FollowsTheFramesOfASurfaceBeingFilled) {
  _ScanSurface<double> surface;
  std::vector<SurfaceExtent> extents(4);
  BoundedThread reader([&] {
    for (SurfaceExtent& extent : extents) extent.calculateExtents(&surface);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  for (std::size_t i = 0; i < kFrames; ++i) {
    surface.appendFrame(makeFrame(kShapes[i]));
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  surface.setComplete();
  ASSERT_TRUE(reader.joinWithin()) << "calculateExtents did not return";
  for (const SurfaceExtent& extent : extents) expectConsecutiveNodes(extent, 0);
  SurfaceExtent afterwards;
  afterwards.calculateExtents(&surface);
  expectConsecutiveNodes(afterwards, kFrames);
}

}  // namespace
}  // namespace QUAX
