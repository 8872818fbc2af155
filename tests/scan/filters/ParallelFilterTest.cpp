// SPDX-License-Identifier: MIT
// The parallel filter walk: the serial walk's result and error handling for
// any number of threads, also on a surface still being filled. Its threads
// share one const filter, whose per-pass buffers grow and shrink in an order
// of each thread's own (ThreadSanitizer runs these tests too).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "FilterTestSupport.h"
#include "scan/ScanErrors.h"
#include "scan/filters/ParallelFilter.h"
#include "scan/filters/ScanAverageFilter.h"
#include "scan/filters/ScanChordalDeviationFilter.h"
#include "scan/filters/ScanNPointFilter.h"
#include "scan/model/ScanFrame.h"
#include "scan/model/ScanSet.h"
#include "scan/model/ScanSurface.h"

namespace QUAX {
namespace {

using test::Points;

// Surfaces of frames with noisy profiles of many lengths (some too short for
// the thinning filters, which then throw EScanExceptions), an empty surface,
// and every seventh frame without a scan line.
std::unique_ptr<ScanSet> randomSet(std::uint32_t seed) {
  auto set = std::make_unique<ScanSet>();
  for (std::uint32_t s = 0; s < 4; ++s) {
    auto surface = std::make_unique<ScanSurface>();
    const std::uint32_t frames = s == 2 ? 0 : 12 + 5 * s;
    for (std::uint32_t f = 0; f < frames; ++f) {
      if (f % 7 == 3) {
        surface->appendFrame(std::make_unique<ScanFrame>());
        continue;
      }
      const std::size_t count = (seed * 31 + f * 97 + s * 13) % 400;
      surface->appendFrame(std::make_unique<ScanFrame>(
          std::make_unique<ScanLine>(test::makeLine(test::noisyProfile(
              count, seed + 100 * s + f, 0.1, f % 5 == 1 ? 3.0 : 0.0)))));
    }
    surface->setComplete();
    set->addSurface(std::move(surface));
  }
  return set;
}

std::vector<Points> linesOf(const ScanSet& set) {
  std::vector<Points> lines;
  for (std::size_t s = 0; s < set.getSurfaceCount(); ++s) {
    const ScanSurface* surface = set.getSurface(s);
    for (std::size_t f = 0; f < surface->getFrameCount(); ++f) {
      try {
        lines.push_back(
            test::positionsOf(*surface->getFrame(f)->getScanLine()));
      } catch (const EScanFrameNoScanLine&) {
        lines.emplace_back();
      }
    }
  }
  return lines;
}

TEST(ParallelFilterWalk, GivesTheSerialResultForAnyThreadCount) {
  const ScanAverageFilter average(5, 500.0);
  const ScanChordalDeviationFilter chordal(0.05, 20.0, 10);
  const ScanNPointFilter nPoint(40, ScanNPointFilter::CHORDAL_DEVIATION);
  const ScanLineFilter* filters[] = {&average, &chordal, &nPoint};
  for (const ScanLineFilter* filter : filters) {
    for (std::uint32_t seed = 1; seed <= 2; ++seed) {
      auto serial = randomSet(seed);
      filter->applyFilter(*serial);
      const std::vector<Points> expected = linesOf(*serial);
      for (unsigned threads = 0; threads <= 4; ++threads) {
        auto parallel = randomSet(seed);
        applyFilterParallel(*filter, *parallel, threads);
        const std::vector<Points> got = linesOf(*parallel);
        ASSERT_EQ(got.size(), expected.size());
        for (std::size_t i = 0; i < got.size(); ++i) {
          EXPECT_TRUE(test::sameBits(got[i], expected[i]))
              << "threads " << threads << " line " << i;
        }
      }
    }
  }
}

// Adds 1 to the z of every point, so a line filtered twice shows. A line
// whose first point has x == -1 throws std::runtime_error naming the line's
// y (its frame's mark). (Frames without lines and lines the filters
// refuse are in the random sets above.)
class MarkingFilter : public ScanLineFilter {
 public:
  MarkingFilter() : ScanLineFilter(L"MarkingFilter") {}

 private:
  void writeSettings(std::wostream&) const override {}
  void readSettings(std::wistream&) override {}
  void filterLine(ScanLine* line) const override {
    const _GeoPoint<double> first = line->getPoint(0)->getPosition();
    if (first.x() == -1.0) {
      throw std::runtime_error(std::to_string(static_cast<int>(first.y())));
    }
    for (std::size_t i = 0; i < line->getPointCount(); ++i) {
      _GeoPoint<double> p = line->getPoint(i)->getPosition();
      line->getPoint(i)->setPosition(p.x(), p.y(), p.z() + 1.0);
    }
  }
};

// A frame of three points at x = `x`, y = `mark`, z = 0.
std::unique_ptr<ScanFrame> markedFrame(double x, int mark) {
  auto line = std::make_unique<ScanLine>();
  for (int i = 0; i < 3; ++i)
    line->appendPoint(_GeoPoint<double>(x, mark, 0.0));
  return std::make_unique<ScanFrame>(std::move(line));
}

// The z of each frame's first point (0: not filtered).
std::vector<double> marksOf(const ScanSurface& surface) {
  std::vector<double> z;
  for (std::size_t f = 0; f < surface.getFrameCount(); ++f) {
    z.push_back(
        surface.getFrame(f)->getScanLine()->getPoint(0)->getPosition().z());
  }
  return z;
}

TEST(ParallelFilterWalk, RethrowsTheLowestFrameErrorAfterFilteringAllBefore) {
  // Surface 1 frame 30 and surface 2 frame 4 throw.
  for (unsigned threads = 1; threads <= 4; ++threads) {
    ScanSet set;
    for (int s = 0; s < 3; ++s) {
      auto surface = std::make_unique<ScanSurface>();
      for (int mark = 100 * s; mark < 100 * s + 60; ++mark) {
        const bool throws = mark == 130 || mark == 204;
        surface->appendFrame(markedFrame(throws ? -1.0 : 0.0, mark));
      }
      surface->setComplete();
      set.addSurface(std::move(surface));
    }
    try {
      applyFilterParallel(MarkingFilter(), set, threads);
      ADD_FAILURE() << "no exception, threads " << threads;
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), "130") << threads;
    }
    for (int s = 0; s < 3; ++s) {
      const std::vector<double> z = marksOf(*set.getSurface(s));
      for (int f = 0; f < 60; ++f) {
        const int mark = 100 * s + f;
        SCOPED_TRACE(testing::Message()
                     << "threads " << threads << " frame " << mark);
        if (mark < 130) {
          EXPECT_EQ(z[f], 1.0);
        } else if (threads == 1 || mark == 130 || mark == 204) {
          // One thread stops at the error, as the serial walk does.
          EXPECT_EQ(z[f], 0.0);
        } else {
          EXPECT_TRUE(z[f] == 1.0 || z[f] == 0.0) << z[f];
        }
      }
    }
  }
}

// Frame 0 and a later frame throw on two threads, in the order `earlyFirst`
// gives: the first thrower waits for the other to be filtering, the other for
// the first thrower's thread to leave the walk (waits bounded: "timeout").
class RacingFilter : public ScanLineFilter {
 public:
  explicit RacingFilter(bool earlyFirst)
      : ScanLineFilter(L"RacingFilter"), _earlyFirst(earlyFirst) {}
  void walkerLeft() {
    const std::lock_guard<std::mutex> lock(_mutex);
    ++_walkersLeft;
    _changed.notify_all();
  }

 private:
  void writeSettings(std::wostream&) const override {}
  void readSettings(std::wistream&) override {}
  void filterLine(ScanLine* line) const override {
    const int mark = static_cast<int>(line->getPoint(0)->getPosition().y());
    const bool first = (mark == 0) == _earlyFirst;
    std::unique_lock<std::mutex> lock(_mutex);
    _secondEntered = _secondEntered || !first;
    _changed.notify_all();
    const bool ready = _changed.wait_for(lock, std::chrono::seconds(30), [&] {
      return first ? _secondEntered : _walkersLeft > 0;
    });
    throw std::runtime_error(ready ? std::to_string(mark) : "timeout");
  }

  const bool _earlyFirst;
  mutable std::mutex _mutex;
  mutable std::condition_variable _changed;
  mutable bool _secondEntered = false;
  mutable int _walkersLeft = 0;
};

TEST(ParallelFilterWalk, RethrowsTheEarlierOfTwoErrorsWhicheverCameFirst) {
  // Frames 0 and 1 of one surface, or frame 0 of two (marks 0 and 100).
  for (const int surfaces : {1, 2}) {
    for (const bool earlyFirst : {true, false}) {
      SCOPED_TRACE(testing::Message() << surfaces << " surfaces, early first "
                                      << earlyFirst);
      ScanSet set;
      for (int s = 0; s < surfaces; ++s) {
        auto surface = std::make_unique<ScanSurface>();
        for (int f = 0; f < 3 - surfaces; ++f)
          surface->appendFrame(markedFrame(-1.0, 100 * s + f));
        surface->setComplete();
        set.addSurface(std::move(surface));
      }
      RacingFilter filter(earlyFirst);
      ParallelFilterWalk walk(filter, set);
      auto walker = [&walk, &filter] { walk.work(); filter.walkerLeft(); };
      auto helper = std::async(std::launch::async, walker);
      walker();
      ASSERT_EQ(helper.wait_for(std::chrono::seconds(60)),
                std::future_status::ready);
      std::string error;
      try {
        walk.finish();
      } catch (const std::runtime_error& e) {
        error = e.what();
      }
      EXPECT_EQ(error, "0");
    }
  }
}

TEST(ParallelFilterWalk, FiltersAPrefixOfASurfaceBeingFilledOnce) {
  // The walk ends where it catches up with the filler, as the serial walk
  // does: every frame before its end filtered once, none after it.
  const MarkingFilter filter;
  for (int round = 0; round < 3; ++round) {
    ScanSurface surface;
    for (int f = 0; f < 20; ++f) surface.appendFrame(markedFrame(0.0, f));
    std::atomic<bool> walking{true};
    auto filler = std::async(std::launch::async, [&surface, &walking] {
      for (int f = 20; f < 300 && walking.load(); ++f) {
        surface.appendFrame(markedFrame(0.0, f));
        if (f % 5 == 0)
          std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      surface.setComplete();
    });
    const std::size_t before = surface.getFrameCount();
    ParallelFilterWalk walk(filter, surface);
    auto helper = std::async(std::launch::async, [&walk] { walk.work(); });
    walk.work();
    ASSERT_EQ(helper.wait_for(std::chrono::seconds(60)),
              std::future_status::ready);
    walk.finish();
    walking = false;
    ASSERT_EQ(filler.wait_for(std::chrono::seconds(60)),
              std::future_status::ready);
    const std::vector<double> z = marksOf(surface);
    std::size_t end = 0;
    while (end < z.size() && z[end] == 1.0) ++end;
    EXPECT_GE(end, before);
    for (std::size_t f = end; f < z.size(); ++f) {
      ASSERT_EQ(z[f], 0.0) << "frame " << f << " of " << z.size();
    }
  }
}

}  // namespace
}  // namespace QUAX
