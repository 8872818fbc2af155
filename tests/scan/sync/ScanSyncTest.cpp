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

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using testing::BoundedThread;
using testing::Signal;

std::unique_ptr<ScanSurfaceSyncInterface> makeSurfaceSync() {
  return std::unique_ptr<ScanSurfaceSyncInterface>(
      ScanSurfaceSyncCreator<double>(nullptr));
}

milliseconds elapsedSince(Clock::time_point start) {
  return std::chrono::duration_cast<milliseconds>(Clock::now() - start);
}

// Repeats notifyChange() until `done` is raised.
void notifyUntil(const ScanSurfaceSyncInterface& sync, Signal& done) {
  while (!done.waitWithin(milliseconds(2))) sync.notifyChange();
}

// ---- change signal ----------------------------------------------------------

TEST(ScanSurfaceSync, WaitForChangeReturnsAfterAQuarterSecondWithoutNotify) {
  auto sync = makeSurfaceSync();
  sync->notifyChange();  // with no waiter: not kept for the later one
  const auto start = Clock::now();
  sync->waitForChange();
  const milliseconds took = elapsedSince(start);
  EXPECT_GE(took.count(), 200);
  EXPECT_LT(took.count(), 5000);
}

TEST(ScanSurfaceSync, NotifyChangeWakesWaitersEarly) {
  // Twenty waits that each lasted the full 250 ms would take 5 s; woken by
  // notifications they take a fraction of that.
  auto sync = makeSurfaceSync();
  constexpr int kWaits = 20;
  std::vector<milliseconds> took(2);
  Signal done[2];
  std::vector<std::unique_ptr<BoundedThread>> waiters;
  for (int w = 0; w < 2; ++w) {
    waiters.push_back(std::make_unique<BoundedThread>([&, w] {
      const auto start = Clock::now();
      for (int i = 0; i < kWaits; ++i) sync->waitForChange();
      took[w] = elapsedSince(start);
      done[w].raise();
    }));
  }
  Signal allDone;
  BoundedThread notifier([&] { notifyUntil(*sync, allDone); });
  for (auto& waiter : waiters)
    ASSERT_TRUE(waiter->joinWithin(milliseconds(10000)));
  allDone.raise();
  ASSERT_TRUE(notifier.joinWithin());
  for (const milliseconds& t : took) EXPECT_LT(t.count(), kWaits * 250 / 2);
}

// ---- guards -----------------------------------------------------------------

TEST(ScanSurfaceSyncGuard, ReadGuardsOnTwoThreadsHoldTogether) {
  auto sync = makeSurfaceSync();
  ScanSurfaceReadSyncGuard mine(sync.get());
  BoundedThread other([&] { ScanSurfaceReadSyncGuard theirs(sync.get()); });
  EXPECT_TRUE(other.joinWithin());
}

TEST(ScanSurfaceSyncGuard, WriterProceedsOnlyAfterTheReaderGuardIsDestroyed) {
  auto sync = makeSurfaceSync();
  std::atomic<bool> readerGone{false};
  std::atomic<bool> writerIn{false};
  bool readerGoneWhenWriterEntered = false;
  auto reader = std::make_unique<ScanSurfaceReadSyncGuard>(sync.get());
  BoundedThread writer([&] {
    ScanSurfaceWriteSyncGuard guard(sync.get());
    readerGoneWhenWriterEntered = readerGone.load();
    writerIn = true;
  });
  std::this_thread::sleep_for(milliseconds(50));  // let the writer queue up
  EXPECT_FALSE(writerIn.load());
  readerGone = true;
  reader.reset();
  ASSERT_TRUE(writer.joinWithin());
  EXPECT_TRUE(readerGoneWhenWriterEntered);
}

TEST(ScanSurfaceSyncGuard, ReaderProceedsOnlyAfterTheWriterGuardIsDestroyed) {
  auto sync = makeSurfaceSync();
  std::atomic<bool> writerGone{false};
  bool writerGoneWhenReaderEntered = false;
  auto writer = std::make_unique<ScanSurfaceWriteSyncGuard>(sync.get());
  BoundedThread reader([&] {
    ScanSurfaceReadSyncGuard guard(sync.get());
    writerGoneWhenReaderEntered = writerGone.load();
  });
  std::this_thread::sleep_for(milliseconds(50));
  writerGone = true;
  writer.reset();
  ASSERT_TRUE(reader.joinWithin());
  EXPECT_TRUE(writerGoneWhenReaderEntered);
}

TEST(ScanSurfaceSyncGuard, NullSyncObjectIsRefused) {
  EXPECT_THROW(ScanSurfaceReadSyncGuard guard(nullptr), std::invalid_argument);
  EXPECT_THROW(ScanSurfaceWriteSyncGuard guard(nullptr), std::invalid_argument);
}

// ---- a filler and its readers ----------------------------------------------

TEST(ScanSurfaceSync, ReadersFollowAFillerThatAppendsUnderTheWriteGuard) {
  auto sync = makeSurfaceSync();
  constexpr int kFrames = 100;
  std::vector<int> frames;  // guarded by the sync object's lock
  std::atomic<int> badReads{0};
  auto readAll = [&] {
    for (;;) {
      std::size_t count;
      {
        ScanSurfaceReadSyncGuard guard(sync.get());
        count = frames.size();
        for (std::size_t i = 0; i < count; ++i) {
          if (frames[i] != static_cast<int>(i)) ++badReads;
        }
      }
      if (count == kFrames) return;
      sync->waitForChange();
    }
  };
  BoundedThread reader1(readAll);
  BoundedThread reader2(readAll);
  BoundedThread filler([&] {
    for (int i = 0; i < kFrames; ++i) {
      {
        ScanSurfaceWriteSyncGuard guard(sync.get());
        frames.push_back(i);
      }
      sync->notifyChange();
    }
  });
  ASSERT_TRUE(filler.joinWithin());
  ASSERT_TRUE(reader1.joinWithin());
  ASSERT_TRUE(reader2.joinWithin());
  EXPECT_EQ(badReads.load(), 0);
}

// ---- frame sync object ------------------------------------------------------

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
}

TEST(ScanFrameSync, WaitForDataOnACompleteFrameLeavesTheStateMutexFree) {
  ScanFrame frame;
  ScanFrameSyncInterface* sync = frame.getSyncObject();
  sync->setDataState(1);
  sync->waitForData();
  sync->waitForData();  // every later caller returns at once too
  BoundedThread filler([&] { sync->setDataState(2); });
  ASSERT_TRUE(filler.joinWithin());
  EXPECT_EQ(frame.getDataState(), 2u);
}

TEST(ScanFrameSync, CreatorRefusesANullFrame) {
  EXPECT_THROW(ScanFrameSyncCreator<double>(nullptr), std::invalid_argument);
}

}  // namespace
}  // namespace QUAX
