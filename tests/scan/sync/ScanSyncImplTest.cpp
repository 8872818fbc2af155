// SPDX-License-Identifier: MIT
// The sync implementations from inside the library: the frame sync object
// on a stand-in frame, and the failure paths, driven through the port hook.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

#include "scan/sync/ScanSyncImpl.h"
#include "tests/thread/ScopedPortHook.h"
#include "tests/thread/ThreadTestSupport.h"
#include "thread/ThreadErrors.h"

namespace QUAX {
namespace {

using testing::BoundedThread;
using testing::codeThrownBy;
using testing::Counter;
using testing::ScopedPortHook;

// Keeps its data state the way the library's frame does.
struct StandInFrame {
  std::uint32_t dataState = 0;
  std::uint32_t& dataStateStorage() noexcept { return dataState; }
};
using FrameSync = _ScanFrameSyncImpl<double, StandInFrame>;

// Fails every call of one kind while armed; counts the semaphore waits.
struct FailingPort {
  std::atomic<bool> armed{false};
  port::PortCall failing;
  Counter sleeps;

  explicit FailingPort(port::PortCall call) : failing(call) {}
  bool onCall(port::PortCall call) {
    if (call == port::PortCall::kWaitSemaphore) sleeps.add();
    return armed.load() && call == failing;
  }
};

// ---- frame sync object ------------------------------------------------------

TEST(ScanFrameSync, KeepsItsDataStateInTheFrame) {
  StandInFrame frame;
  frame.dataState = 7;
  FrameSync sync(&frame);
  EXPECT_EQ(sync.getDataState(), 7u);
  sync.setDataState(3);
  EXPECT_EQ(frame.dataState, 3u);
  EXPECT_EQ(sync.getDataState(), 3u);
}

TEST(ScanFrameSync, WaitForDataSleepsUntilTheStateIsNotZero) {
  FailingPort port(port::PortCall::kCreateMutex);  // only counts sleeps
  ScopedPortHook hook([&](port::PortCall c) { return port.onCall(c); });
  StandInFrame frame;
  FrameSync sync(&frame);
  std::atomic<bool> returned{false};
  std::uint32_t seen = 0;
  BoundedThread waiter([&] {
    sync.waitForData();
    seen = sync.getDataState();
    returned = true;
  });
  ASSERT_TRUE(port.sleeps.reachesWithin(1));
  sync.setDataState(0);  // wakes the waiter, which tests and sleeps again
  ASSERT_TRUE(port.sleeps.reachesWithin(2));
  EXPECT_FALSE(returned.load());
  sync.setDataState(5);
  ASSERT_TRUE(waiter.joinWithin());
  EXPECT_EQ(seen, 5u);
}

TEST(ScanFrameSync, WaitForDataGivesUpTheStateMutexWhenItsSemaphoreFails) {
  const struct {
    port::PortCall failing;
    std::int32_t code;
  } cases[] = {{port::PortCall::kCreateSemaphore, kThreadNoSemaphoreAvailable},
               {port::PortCall::kWaitSemaphore, kThreadWaitFailOnSemaphore}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    FailingPort port(c.failing);
    ScopedPortHook hook([&](port::PortCall call) { return port.onCall(call); });
    StandInFrame frame;
    FrameSync sync(&frame);
    port.armed = true;
    EXPECT_EQ(codeThrownBy([&] { sync.waitForData(); }), c.code);
    port.armed = false;
    BoundedThread setter([&] { sync.setDataState(1); });
    EXPECT_TRUE(setter.joinWithin());
  }
}

// ---- surface sync object ----------------------------------------------------

std::unique_ptr<ScanSurfaceSyncInterface> makeSurfaceSync() {
  return std::unique_ptr<ScanSurfaceSyncInterface>(
      ScanSurfaceSyncCreator<double>(nullptr));
}

TEST(ScanSurfaceSync, WaitForChangeGivesUpTheChangeMutexWhenItFails) {
  FailingPort port(port::PortCall::kCreateSemaphore);
  ScopedPortHook hook([&](port::PortCall c) { return port.onCall(c); });
  auto sync = makeSurfaceSync();
  port.armed = true;
  EXPECT_EQ(codeThrownBy([&] { sync->waitForChange(); }),
            kThreadNoSemaphoreAvailable);
  port.armed = false;
  BoundedThread notifier([&] { sync->notifyChange(); });
  EXPECT_TRUE(notifier.joinWithin());
}

TEST(ScanSurfaceSync, ThreadFailuresReachTheCallerWithTheirCodes) {
  FailingPort noMutex(port::PortCall::kCreateMutex);
  FailingPort* active = &noMutex;
  FailingPort failedWait(port::PortCall::kWaitMutex);
  ScopedPortHook hook([&](port::PortCall c) { return active->onCall(c); });
  auto sync = makeSurfaceSync();

  noMutex.armed = true;  // the lock mutex is made on first use
  EXPECT_EQ(codeThrownBy([&] { sync->lockWrite(); }), kThreadNoMutexAvailable);
  noMutex.armed = false;
  sync->lockRead();
  sync->unlock();

  active = &failedWait;
  failedWait.armed = true;
  EXPECT_EQ(codeThrownBy([&] { sync->lockRead(); }), kThreadWaitFailOnMutex);
  EXPECT_EQ(codeThrownBy([&] { sync->notifyChange(); }),
            kThreadWaitFailOnMutex);
  failedWait.armed = false;
  active = &noMutex;
}

TEST(ScanSurfaceSyncGuard, GuardWhoseLockFailsGivesUpNothing) {
  // The main thread holds a read share. A guard that fails to lock must not
  // unlock, or the share would be gone and a writer could get in.
  std::atomic<std::thread::id> failingThread{};
  std::atomic<int> failuresLeft{1};
  Counter sleeps;
  ScopedPortHook hook([&](port::PortCall call) {
    if (call == port::PortCall::kWaitSemaphore) sleeps.add();
    return call == port::PortCall::kWaitMutex &&
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
  ASSERT_TRUE(sleeps.reachesWithin(1));  // the writer waits for the share
  shareGone = true;
  share.reset();
  ASSERT_TRUE(writer.joinWithin());
  EXPECT_TRUE(shareGoneWhenWriterEntered);
}

}  // namespace
}  // namespace QUAX
