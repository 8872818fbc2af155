// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "scan/ScanErrors.h"
#include "scan/model/ScanSet.h"
#include "scan/model/ScanSurface.h"
#include "scan/model/ScanTransformHistory.h"
#include "tests/thread/ThreadTestSupport.h"

namespace QUAX {
namespace {

using testing::BoundedThread;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::unique_ptr<ScanFrame> frameWithLine(double x, std::size_t points) {
  auto line = std::make_unique<ScanLine>();
  for (std::size_t j = 0; j < points; ++j) {
    line->appendPoint(_GeoPoint<double>(x, double(j), 0));
  }
  return std::make_unique<ScanFrame>(std::move(line));
}

struct Counter {
  std::uint32_t visits = 0;
  void visit(_ScanVisit<double>&) { ++visits; }
};

TEST(ScanFrame, FrameWithoutLineOrImageThrowsAndKeepsItsOwnLine) {
  ScanFrame frame;
  EXPECT_FALSE(frame.hasScanLine());
  EXPECT_THROW(frame.getScanLine(), EScanFrameNoScanLine);
  EXPECT_THROW(frame.getGrayImage(), EScanFrameNoGrayImage);
  EXPECT_EQ(frame.getDataState(), 0u);
  frame.setScanLine(std::make_unique<ScanLine>());
  ScanLine* line = frame.getScanLine();
  frame.setScanLine(std::unique_ptr<ScanLine>(line));  // handed back: kept
  EXPECT_EQ(frame.getScanLine(), line);
  frame.setScanLine(nullptr);
  EXPECT_FALSE(frame.hasScanLine());
}

TEST(ScanSurface, HoldsFramesWalksTheirPointsAndRefusesIndexesPastTheEnd) {
  ScanSurface surface;
  surface.appendFrame(nullptr);  // not appended
  surface.appendFrame(frameWithLine(0, 3));
  surface.appendFrame(std::make_unique<ScanFrame>());  // no line
  surface.appendFrame(frameWithLine(2, 4));
  surface.setComplete();
  EXPECT_EQ(surface.getFrameCount(), 3u);
  EXPECT_THROW(surface.getFrame(3), EScanSurfaceRangeException);
  Counter c;
  _ScanVisit<double> visit;
  EXPECT_EQ(surface.forEachPoint(ScanSurface::PointCallback(c, &Counter::visit),
                                 visit),
            7u);
  EXPECT_EQ(c.visits, 7u);
  EXPECT_EQ(visit.currentPoint, nullptr);

  ScanSet set;
  set.addSurface(std::make_unique<ScanSurface>());
  set.addSurface(std::make_unique<ScanSurface>());
  set.getSurface(1)->appendFrame(frameWithLine(1, 5));
  EXPECT_THROW(set.getSurface(2), std::out_of_range);
  set.transform(_MathMatrix<double>::translation(0, 0, 1));
  EXPECT_EQ(
      set.getSurface(1)->getFrame(0)->getScanLine()->getPoint(4)->position(),
      _GeoPoint<double>(1, 4, 1));
  EXPECT_NO_THROW(
      set.findItem(ScanTransformHistory<double>::getScanTransformHistoryKey()));
}

// One filler and several readers over many frames: every reader waits for
// and sees every frame exactly once, in order, with its own points, and
// ends when the surface is completed. Their first waits at once create the
// surface lock's system mutex, which ThreadSanitizer watches here.
TEST(ScanSurface, FillerAndReadersStress) {
  constexpr std::size_t kFrames = 1500;
  ScanSurface surface;
  std::vector<std::size_t> good(4, 0);
  std::vector<std::unique_ptr<BoundedThread>> readers;
  for (std::size_t& count : good) {
    readers.push_back(std::make_unique<BoundedThread>([&surface, &count] {
      for (std::size_t i = 0;
           !surface.isComplete() || i < surface.getFrameCount(); ++i) {
        ScanFrame* frame;
        try {
          frame = surface.getFrame(i);
        } catch (const EScanSurfaceRangeException&) {
          break;  // completed while we asked for one past the end
        }
        const ScanLine* line = frame->getScanLine();
        count += line->getPointCount() == 3 &&
                 line->getPoint(2)->position() == _GeoPoint<double>(i, 2, 0);
      }
    }));
  }
  for (std::size_t i = 0; i < kFrames; ++i) {
    surface.appendFrame(frameWithLine(double(i), 3));
    if (i % 100 == 0) std::this_thread::yield();
  }
  surface.setComplete();
  for (auto& reader : readers) {
    ASSERT_TRUE(reader->joinWithin(testing::kStressBound));
  }
  for (std::size_t count : good) EXPECT_EQ(count, kFrames);
}

// getFrame with a time limit on a surface that a filler thread fills.
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
