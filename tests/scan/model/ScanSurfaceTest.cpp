// SPDX-License-Identifier: MIT
#include "scan/model/ScanSurface.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <thread>
#include <vector>

#include "scan/ScanErrors.h"
#include "scan/model/ScanSet.h"
#include "scan/model/ScanTransformHistory.h"

namespace QUAX {
namespace {

using namespace std::chrono_literals;

std::unique_ptr<ScanFrame> frameWithLine(double x, std::size_t points) {
  auto line = std::make_unique<ScanLine>();
  for (std::size_t j = 0; j < points; ++j) {
    line->appendPoint(_GeoPoint<double>(x, double(j), 0));
  }
  return std::make_unique<ScanFrame>(std::move(line));
}

// Waits for `done` without ever hanging the test run: a thread that is still
// stuck after the bound ends the process with a message.
template <class R>
R boundedGet(std::future<R>& done, std::chrono::seconds bound = 60s) {
  if (done.wait_for(bound) != std::future_status::ready) {
    std::fprintf(stderr, "a surface reader did not finish within %llds\n",
                 static_cast<long long>(bound.count()));
    std::abort();
  }
  return done.get();
}

struct Counter {
  std::uint32_t visits = 0;
  void visit(_ScanVisit<double>&) { ++visits; }
};

TEST(ScanFrame, FrameWithoutLineThrowsNoScanLine) {
  ScanFrame frame;
  EXPECT_FALSE(frame.hasScanLine());
  EXPECT_THROW(frame.getScanLine(), EScanFrameNoScanLine);
  EXPECT_THROW(frame.getGrayImage(), EScanFrameNoGrayImage);
  EXPECT_EQ(frame.getDataState(), 0u);
}

TEST(ScanFrame, HandingBackItsOwnLineKeepsIt) {
  ScanFrame frame(std::make_unique<ScanLine>());
  ScanLine* line = frame.getScanLine();
  line->appendPoint(_GeoPoint<double>(1, 2, 3));
  frame.setScanLine(std::unique_ptr<ScanLine>(line));
  ASSERT_EQ(frame.getScanLine(), line);
  EXPECT_EQ(line->getPoint(0)->position(), _GeoPoint<double>(1, 2, 3));
  frame.setScanLine(nullptr);
  EXPECT_FALSE(frame.hasScanLine());
}

TEST(ScanSurface, CompleteSurfaceRefusesIndexesPastTheEnd) {
  ScanSurface surface;
  surface.appendFrame(nullptr);  // not appended
  surface.appendFrame(frameWithLine(0, 3));
  surface.appendFrame(std::make_unique<ScanFrame>());  // no line
  surface.setComplete();
  EXPECT_EQ(surface.getFrameCount(), 2u);
  EXPECT_TRUE(surface.isComplete());
  EXPECT_NE(surface.getFrame(1), nullptr);  // returned, though without a line
  EXPECT_THROW(surface.getFrame(1)->getScanLine(), EScanFrameNoScanLine);
  EXPECT_THROW(surface.getFrame(2), EScanSurfaceRangeException);
}

TEST(ScanSurface, GetFrameWaitsUntilTheFillerAppends) {
  ScanSurface surface;
  surface.appendFrame(frameWithLine(0, 1));
  std::promise<ScanFrame*> got;
  std::future<ScanFrame*> gotFuture = got.get_future();
  std::thread reader([&] { got.set_value(surface.getFrame(2)); });
  surface.appendFrame(frameWithLine(1, 1));
  std::this_thread::sleep_for(50ms);
  surface.appendFrame(frameWithLine(2, 1));
  ScanFrame* frame = boundedGet(gotFuture);
  reader.join();
  EXPECT_EQ(frame->getScanLine()->getPoint(0)->position().x(), 2.0);
}

TEST(ScanSurface, CompletingWithoutTheFrameEndsTheWait) {
  ScanSurface surface;
  std::promise<bool> threw;
  std::future<bool> threwFuture = threw.get_future();
  std::thread reader([&] {
    try {
      surface.getFrame(5);
      threw.set_value(false);
    } catch (const EScanSurfaceRangeException&) {
      threw.set_value(true);
    }
  });
  std::this_thread::sleep_for(20ms);
  surface.setComplete();
  EXPECT_TRUE(boundedGet(threwFuture));
  reader.join();
}

TEST(ScanSurface, ForEachPointSkipsFramesWithoutLine) {
  ScanSurface surface;
  surface.appendFrame(frameWithLine(0, 3));
  surface.appendFrame(std::make_unique<ScanFrame>());
  surface.appendFrame(frameWithLine(2, 4));
  Counter c;
  _ScanVisit<double> visit;
  EXPECT_EQ(surface.forEachPoint(ScanSurface::PointCallback(c, &Counter::visit), visit), 7u);
  EXPECT_EQ(c.visits, 7u);
  EXPECT_EQ(visit.currentPoint, nullptr);
}

TEST(ScanSet, HoldsSurfacesAndWalksAllPoints) {
  ScanSet set;
  for (int s = 0; s < 2; ++s) {
    auto surface = std::make_unique<ScanSurface>();
    surface->appendFrame(frameWithLine(s, 5));
    surface->setComplete();
    set.addSurface(std::move(surface));
  }
  EXPECT_EQ(set.getSurfaceCount(), 2u);
  EXPECT_THROW(set.getSurface(2), std::out_of_range);

  set.transform(_MathMatrix<double>::translation(0, 0, 1));
  EXPECT_EQ(set.getSurface(1)->getFrame(0)->getScanLine()->getPoint(4)->position(),
            _GeoPoint<double>(1, 4, 1));
  EXPECT_NO_THROW(set.findItem(ScanTransformHistory<double>::getScanTransformHistoryKey()));
}

// One filler and several readers over many frames: every reader sees every
// frame exactly once, in order, with its own points.
TEST(ScanSurface, FillerAndReadersStress) {
  constexpr std::size_t kFrames = 1500;
  constexpr int kReaders = 4;
  ScanSurface surface;

  std::vector<std::future<std::size_t>> results;
  std::vector<std::thread> readers;
  for (int r = 0; r < kReaders; ++r) {
    std::promise<std::size_t> done;
    results.push_back(done.get_future());
    readers.emplace_back([&surface, done = std::move(done)]() mutable {
      std::size_t good = 0;
      for (std::size_t i = 0; !surface.isComplete() || i < surface.getFrameCount(); ++i) {
        ScanFrame* frame;
        try {
          frame = surface.getFrame(i);
        } catch (const EScanSurfaceRangeException&) {
          break;  // completed while we asked for one past the end
        }
        const ScanLine* line = frame->getScanLine();
        if (line->getPointCount() == 3 &&
            line->getPoint(2)->position() == _GeoPoint<double>(double(i), 2, 0)) {
          ++good;
        }
      }
      done.set_value(good);
    });
  }
  for (std::size_t i = 0; i < kFrames; ++i) {
    surface.appendFrame(frameWithLine(double(i), 3));
    if (i % 100 == 0) std::this_thread::yield();
  }
  surface.setComplete();
  for (auto& result : results) EXPECT_EQ(boundedGet(result, 120s), kFrames);
  for (auto& reader : readers) reader.join();
}

}  // namespace
}  // namespace QUAX
