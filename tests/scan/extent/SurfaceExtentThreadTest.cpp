// SPDX-License-Identifier: MIT
// Extents computed while an acquisition thread still fills the surface.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <thread>
#include <vector>

#include "scan/extent/SurfaceExtent.h"
#include "tests/scan/extent/ExtentTestSurfaces.h"

namespace QUAX {
namespace {

using namespace std::chrono_literals;
using testing::makeFrame;
using testing::straightFrames;

// Runs `work` on its own thread. finished() waits at most `limit`; a thread
// that is still stuck then is detached rather than joined, so a hang fails
// the test instead of stalling the run (what it uses is kept alive by the
// shared pointers it captured).
class BoundedThread {
 public:
  explicit BoundedThread(std::function<void()> work) {
    auto done = std::make_shared<std::promise<void>>();
    _done = done->get_future();
    _thread = std::thread([work = std::move(work), done] {
      try {
        work();
        done->set_value();
      } catch (...) {
        done->set_exception(std::current_exception());
      }
    });
  }
  ~BoundedThread() {
    if (_thread.joinable()) _thread.detach();
  }

  // True when the work ended within `limit`; rethrows what it threw.
  bool finished(std::chrono::milliseconds limit) {
    if (_done.wait_for(limit) != std::future_status::ready) return false;
    _thread.join();
    _done.get();
    return true;
  }

 private:
  std::future<void> _done;
  std::thread _thread;
};

// Every node belongs to the next frame of the straight test surface.
void expectConsecutiveStraightNodes(const SurfaceExtent& extent,
                                    std::size_t atMost) {
  std::vector<ScanNode*> nodes;
  extent.getNodeList(&nodes);
  ASSERT_LE(nodes.size(), atMost);
  const std::vector<testing::FrameShape> frames = straightFrames(atMost);
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(nodes[i]->getFrameIndex(), static_cast<std::int32_t>(i));
    _GeoPoint<double> location;
    nodes[i]->getLocation(location);
    EXPECT_EQ(location, frames[i].middle);
    double distance = -1;
    nodes[i]->getProjectedDistance(distance);
    EXPECT_NEAR(distance, 0.0, 1e-9);
  }
}

TEST(SurfaceExtentThreads, WaitsForTheFirstFrameOfASurfaceBeingFilled) {
  constexpr std::size_t kFrames = 20;
  auto surface = std::make_shared<_ScanSurface<double>>();
  auto extent = std::make_shared<SurfaceExtent>();
  std::atomic<bool> started{false};

  BoundedThread reader([surface, extent, &started] {
    started = true;
    extent->calculateExtents(surface.get());
  });
  while (!started) std::this_thread::yield();
  // Give the reader time to block on the missing frame 0; the test holds
  // whatever the interleaving is.
  std::this_thread::sleep_for(50ms);
  const std::vector<testing::FrameShape> frames = straightFrames(kFrames);
  for (const testing::FrameShape& shape : frames) {
    surface->appendFrame(makeFrame(shape));
  }
  surface->setComplete();

  ASSERT_TRUE(reader.finished(5000ms)) << "calculateExtents did not return";
  expectConsecutiveStraightNodes(*extent, kFrames);

  SurfaceExtent afterwards;
  afterwards.calculateExtents(surface.get());
  expectConsecutiveStraightNodes(afterwards, kFrames);
  std::vector<ScanNode*> nodes;
  afterwards.getNodeList(&nodes);
  EXPECT_EQ(nodes.size(), kFrames);
}

TEST(SurfaceExtentThreads, TakesInFramesAppendedWhileNodesAreMade) {
  constexpr std::size_t kFirst = 5;
  constexpr std::size_t kFrames = 60;
  const std::vector<testing::FrameShape> frames = straightFrames(kFrames);
  auto surface = std::make_shared<_ScanSurface<double>>();
  for (std::size_t i = 0; i < kFirst; ++i) {
    surface->appendFrame(makeFrame(frames[i]));
  }

  BoundedThread filler([surface, frames] {
    for (std::size_t i = kFirst; i < frames.size(); ++i) {
      surface->appendFrame(makeFrame(frames[i]));
      std::this_thread::sleep_for(1ms);
    }
    surface->setComplete();
  });

  // Repeated computations while the filler runs: each sees at least the
  // frames present when it started, in order, and never more than exist.
  auto extents = std::make_shared<std::vector<SurfaceExtent>>(8);
  BoundedThread reader([surface, extents] {
    for (SurfaceExtent& extent : *extents) {
      extent.calculateExtents(surface.get());
    }
  });

  ASSERT_TRUE(filler.finished(10000ms)) << "the filler did not finish";
  ASSERT_TRUE(reader.finished(10000ms)) << "calculateExtents did not return";
  for (const SurfaceExtent& extent : *extents) {
    std::vector<ScanNode*> nodes;
    extent.getNodeList(&nodes);
    EXPECT_GE(nodes.size(), kFirst);
    expectConsecutiveStraightNodes(extent, kFrames);
  }
}

}  // namespace
}  // namespace QUAX
