// SPDX-License-Identifier: MIT
// The sync objects of surfaces and frames and the surface guards, through
// the library's public API.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

#include "scan/model/ScanFrame.h"
#include "scan/sync/ScanSync.h"
#include "tests/thread/ThreadTestSupport.h"

namespace QUAX {
namespace {

using namespace std::chrono;
using testing::BoundedThread;
using testing::Counter;

std::unique_ptr<ScanSurfaceSyncInterface> makeSurfaceSync() {
  return std::unique_ptr<ScanSurfaceSyncInterface>(
      ScanSurfaceSyncCreator<double>(nullptr));
}

TEST(ScanSurfaceSync, WaitForChangeLastsAQuarterSecondUnlessNotified) {
  auto sync = makeSurfaceSync();
  sync->notifyChange();  // with no waiter: not kept for the later one
  auto start = steady_clock::now();
  sync->waitForChange();
  EXPECT_GE(steady_clock::now() - start, milliseconds(200));
  // Twenty full waits would take 5 s; woken by notifications, far less
  // (the bound leaves room for a loaded machine).
  Counter done;
  BoundedThread notifier([&] {
    while (!done.reachesWithin(1, milliseconds(2))) sync->notifyChange();
  });
  start = steady_clock::now();
  for (int i = 0; i < 20; ++i) sync->waitForChange();
  EXPECT_LT(steady_clock::now() - start, milliseconds(4000));
  done.add();
  ASSERT_TRUE(notifier.joinWithin());
}

// Readers under read guards share the lock; the filler writes under the
// write guard, so no reader sees a frame half appended.
TEST(ScanSurfaceSync, ReadersFollowAFillerThatAppendsUnderTheWriteGuard) {
  auto sync = makeSurfaceSync();
  constexpr int kFrames = 100;
  std::vector<int> frames;  // guarded by the sync object's lock
  std::atomic<int> badReads{0};
  auto readAll = [&] {
    for (std::size_t count = 0; count != kFrames;) {
      {
        ScanSurfaceReadSyncGuard guard(sync.get());
        count = frames.size();
        for (std::size_t i = 0; i < count; ++i) badReads += frames[i] != int(i);
      }
      if (count != kFrames) sync->waitForChange();
    }
  };
  BoundedThread reader1(readAll), reader2(readAll);
  BoundedThread filler([&] {
    for (int i = 0; i < kFrames; ++i) {
      {
        ScanSurfaceWriteSyncGuard guard(sync.get());
        frames.push_back(i);
      }
      sync->notifyChange();
    }
  });
  ASSERT_TRUE(filler.joinWithin(testing::kStressBound));
  ASSERT_TRUE(reader1.joinWithin(testing::kStressBound));
  ASSERT_TRUE(reader2.joinWithin(testing::kStressBound));
  EXPECT_EQ(badReads.load(), 0);
  EXPECT_THROW(ScanSurfaceReadSyncGuard guard(nullptr), std::invalid_argument);
  EXPECT_THROW(ScanSurfaceWriteSyncGuard guard(nullptr), std::invalid_argument);
}

TEST(ScanFrameSync, WaitForDataWakesWhenTheFillerSetsTheState) {
  ScanFrame frame;
  ScanFrameSyncInterface* sync = frame.getSyncObject();
  std::uint32_t seenByWaiter = 0, seenByPoller = 0;
  BoundedThread waiter([&] {
    sync->waitForData();
    seenByWaiter = sync->getDataState();
  });
  // getDataState takes no lock; reading it while the filler writes is safe.
  BoundedThread poller([&] {
    while ((seenByPoller = sync->getDataState()) == 0)
      std::this_thread::yield();
  });
  std::this_thread::sleep_for(milliseconds(20));  // let the waiter sleep
  sync->setDataState(4);
  ASSERT_TRUE(waiter.joinWithin());
  ASSERT_TRUE(poller.joinWithin());
  EXPECT_EQ(seenByWaiter, 4u);
  EXPECT_EQ(seenByPoller, 4u);
  sync->waitForData();  // a complete frame returns at once, mutex free
  BoundedThread filler([&] { sync->setDataState(2); });
  ASSERT_TRUE(filler.joinWithin());
  EXPECT_EQ(frame.getDataState(), 2u);
  EXPECT_THROW(ScanFrameSyncCreator<double>(nullptr), std::invalid_argument);
}

}  // namespace
}  // namespace QUAX
