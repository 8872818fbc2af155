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

// The first computation waits for frame 0 of an empty surface; later ones
// start with a few frames and see at least those, in order.
TEST(SurfaceExtentThreads, FollowsTheFramesOfASurfaceBeingFilled) {
  for (const std::size_t present : {0u, 5u}) {
    _ScanSurface<double> surface;
    for (std::size_t i = 0; i < present; ++i)
      surface.appendFrame(makeFrame(kShapes[i]));
    std::vector<SurfaceExtent> extents(present == 0 ? 1 : 8);
    BoundedThread reader([&] {
      for (SurfaceExtent& extent : extents) extent.calculateExtents(&surface);
    });
    if (present == 0)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    for (std::size_t i = present; i < kFrames; ++i) {
      surface.appendFrame(makeFrame(kShapes[i]));
      if (present != 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    surface.setComplete();
    ASSERT_TRUE(reader.joinWithin()) << "calculateExtents did not return";
    for (const SurfaceExtent& extent : extents)
      expectConsecutiveNodes(extent, present);
    SurfaceExtent afterwards;
    afterwards.calculateExtents(&surface);
    expectConsecutiveNodes(afterwards, kFrames);
  }
}

}  // namespace
}  // namespace QUAX
