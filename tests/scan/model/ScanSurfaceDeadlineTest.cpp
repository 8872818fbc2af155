// SPDX-License-Identifier: MIT
// getFrame with a time limit on a surface that a filler thread fills.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "scan/ScanErrors.h"
#include "scan/model/ScanSurface.h"

namespace QUAX {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TEST(ScanSurfaceDeadline, GetFrameGivesUpWhenTheTimeRunsOut) {
  ScanSurface surface;
  const Clock::time_point start = Clock::now();
  try {
    surface.getFrame(0, 40ms);
    ADD_FAILURE() << "no frame, yet getFrame returned";
  } catch (const EScanSurfaceWaitTimeout& e) {
    EXPECT_EQ(e.getCode(), kScanSurfaceWaitTimeout);
    EXPECT_EQ(kScanSurfaceWaitTimeout, 17499);
  }
  EXPECT_GE(Clock::now() - start, 40ms);

  // A frame that arrives within the time is returned (the limit here only
  // bounds the test); a limit of 0 looks once without waiting.
  ScanFrame* appended = nullptr;
  std::thread filler([&] {
    std::this_thread::sleep_for(20ms);
    auto frame = std::make_unique<ScanFrame>();
    appended = frame.get();
    surface.appendFrame(std::move(frame));
  });
  ScanFrame* got = surface.getFrame(0, 60s);
  filler.join();
  EXPECT_EQ(got, appended);
  EXPECT_EQ(surface.getFrame(0, 0ms), appended);
  EXPECT_THROW(surface.getFrame(1, 0ms), EScanSurfaceWaitTimeout);
  EXPECT_THROW(surface.getFrame(1, -5ms), EScanSurfaceWaitTimeout);

  // A complete surface answers at once, as the plain call does.
  surface.setComplete();
  EXPECT_THROW(surface.getFrame(1, 60s), EScanSurfaceRangeException);
  EXPECT_EQ(surface.getFrame(0, 0ms), appended);
}

}  // namespace
}  // namespace QUAX
