// SPDX-License-Identifier: MIT
// The sync implementations from inside the library: the frame sync object
// on a stand-in frame, and the failure paths, driven through the port hook.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

#include "scan/sync/ScanSyncImpl.h"
#include "tests/thread/ScopedPortHook.h"
#include "thread/ThreadErrors.h"

namespace QUAX {
namespace {

using namespace testing;
using port::PortCall;

// Keeps its data state the way the library's frame does.
struct StandInFrame {
  std::uint32_t dataState = 7;
  std::uint32_t& dataStateStorage() noexcept { return dataState; }
};
using FrameSync = _ScanFrameSyncImpl<double, StandInFrame>;

std::unique_ptr<ScanSurfaceSyncInterface> makeSurfaceSync() {
  return std::unique_ptr<ScanSurfaceSyncInterface>(
      ScanSurfaceSyncCreator<double>(nullptr));
}

TEST(ScanFrameSync, WaitForDataSleepsUntilTheStateInTheFrameIsNotZero) {
  std::atomic<PortCall> failing{PortCall::kCreateSemaphore};
  std::atomic<bool> armed{false};
  ScopedPortHook hook(
      [&](PortCall call) { return armed.load() && call == failing.load(); });
  StandInFrame frame;
  FrameSync sync(&frame);
  EXPECT_EQ(sync.getDataState(), 7u);
  sync.setDataState(0);
  EXPECT_EQ(frame.dataState, 0u);
  std::atomic<bool> returned{false};
  BoundedThread waiter([&] {
    sync.waitForData();
    returned = true;
  });
  ASSERT_TRUE(hook[PortCall::kWaitSemaphore].reachesWithin(1));
  sync.setDataState(0);  // wakes the waiter, which tests and sleeps again
  ASSERT_TRUE(hook[PortCall::kWaitSemaphore].reachesWithin(2));
  EXPECT_FALSE(returned.load());
  sync.setDataState(5);
  ASSERT_TRUE(waiter.joinWithin());

  // A failing semaphore gives up the state mutex.
  sync.setDataState(0);
  armed = true;
  EXPECT_EQ(codeThrownBy([&] { sync.waitForData(); }),
            kThreadNoSemaphoreAvailable);
  failing = PortCall::kWaitSemaphore;
  EXPECT_EQ(codeThrownBy([&] { sync.waitForData(); }),
            kThreadWaitFailOnSemaphore);
  armed = false;
  BoundedThread setter([&] { sync.setDataState(1); });
  EXPECT_TRUE(setter.joinWithin());
}

TEST(ScanSurfaceSync, ThreadFailuresReachTheCallerWithTheirCodes) {
  std::atomic<PortCall> failing{PortCall::kCreateMutex};
  std::atomic<bool> armed{true};
  ScopedPortHook hook(
      [&](PortCall call) { return armed.load() && call == failing.load(); });
  auto sync = makeSurfaceSync();
  // The lock mutex is made on first use.
  EXPECT_EQ(codeThrownBy([&] { sync->lockWrite(); }), kThreadNoMutexAvailable);
  armed = false;
  sync->lockRead();
  sync->unlock();
  failing = PortCall::kWaitMutex;
  armed = true;
  EXPECT_EQ(codeThrownBy([&] { sync->lockRead(); }), kThreadWaitFailOnMutex);
  EXPECT_EQ(codeThrownBy([&] { sync->notifyChange(); }),
            kThreadWaitFailOnMutex);
  failing = PortCall::kCreateSemaphore;
  EXPECT_EQ(codeThrownBy([&] { sync->waitForChange(); }),
            kThreadNoSemaphoreAvailable);
  armed = false;
  BoundedThread notifier([&] { sync->notifyChange(); });
  EXPECT_TRUE(notifier.joinWithin());  // the change mutex was given up
}

TEST(ScanSurfaceSync, WaitSinceACountMissesNoNotificationBeforeIt) {
  ScanSurfaceSyncImpl<double> sync(nullptr);
  const std::uint64_t seen = sync.changeCount();
  sync.notifyChange();  // before the wait: a plain wait would miss it
  BoundedThread waiter([&] { sync.waitForChangeSince(seen, 600000); });
  EXPECT_TRUE(waiter.joinWithin());
}

TEST(ScanSurfaceSyncGuard, GuardWhoseLockFailsGivesUpNothing) {
  // This thread holds a read share. A guard that fails to lock must not
  // unlock, or the share would be gone and a writer could get in.
  std::atomic<std::thread::id> failingThread{};
  std::atomic<int> failuresLeft{1};
  ScopedPortHook hook([&](PortCall call) {
    return call == PortCall::kWaitMutex &&
           std::this_thread::get_id() == failingThread.load() &&
           failuresLeft.fetch_sub(1) > 0;
  });
  auto sync = makeSurfaceSync();
  auto share = std::make_unique<ScanSurfaceReadSyncGuard>(sync.get());
  std::int32_t code = 0;
  BoundedThread failing([&] {
    failingThread = std::this_thread::get_id();
    code = codeThrownBy([&] { ScanSurfaceReadSyncGuard guard(sync.get()); });
  });
  ASSERT_TRUE(failing.joinWithin());
  EXPECT_EQ(code, kThreadWaitFailOnMutex);
  std::atomic<bool> shareGone{false};
  bool shareGoneWhenWriterEntered = false;
  BoundedThread writer([&] {
    ScanSurfaceWriteSyncGuard guard(sync.get());
    shareGoneWhenWriterEntered = shareGone.load();
  });
  ASSERT_TRUE(hook[PortCall::kWaitSemaphore].reachesWithin(1));
  shareGone = true;
  share.reset();
  ASSERT_TRUE(writer.joinWithin());
  EXPECT_TRUE(shareGoneWhenWriterEntered);
}

}  // namespace
}  // namespace QUAX
