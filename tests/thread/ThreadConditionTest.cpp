// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "tests/thread/ScopedPortHook.h"
#include "tests/thread/ThreadTestSupport.h"
#include "thread/ThreadCondition.h"
#include "thread/ThreadErrors.h"

namespace QUAX {
namespace {

using testing::BoundedThread;
using testing::codeThrownBy;
using testing::Counter;
using testing::ScopedPortHook;

// Counts the semaphore waits that begin and the posts that are made.
struct PortCounts {
  Counter semaphoreWaits;
  std::atomic<int> posts{0};

  bool onCall(port::PortCall call) {
    if (call == port::PortCall::kWaitSemaphore) semaphoreWaits.add();
    if (call == port::PortCall::kPostSemaphore) ++posts;
    return false;
  }
};

bool freeForOthers(ThreadMutex& mutex) {
  int result = 1;
  BoundedThread other([&] {
    result = mutex.wait(0);
    if (result == kThreadWaitSignalled) mutex.release();
  });
  EXPECT_TRUE(other.joinWithin());
  return result == kThreadWaitSignalled;
}

void notifyUnderMutex(ThreadMutex& mutex, ThreadCondition& condition) {
  mutex.wait(kThreadWaitInfinite);
  condition.notifyAll();
  mutex.release();
}

TEST(ThreadCondition, TimedOutWaitReturnsWithoutMutexAndLeavesNoEntry) {
  PortCounts counts;
  ScopedPortHook hook([&](port::PortCall c) { return counts.onCall(c); });
  ThreadMutex mutex;
  ThreadCondition condition(&mutex);
  mutex.wait(kThreadWaitInfinite);
  condition.wait(20);
  EXPECT_TRUE(freeForOthers(mutex));
  notifyUnderMutex(mutex, condition);
  EXPECT_EQ(counts.posts.load(), 0);
}

TEST(ThreadCondition, NotifyAllWakesEveryWaiterOnceAndEmptiesTheList) {
  PortCounts counts;
  ScopedPortHook hook([&](port::PortCall c) { return counts.onCall(c); });
  ThreadMutex mutex;
  ThreadCondition condition(&mutex);
  std::vector<std::unique_ptr<BoundedThread>> waiters;
  for (int i = 0; i < 3; ++i) {
    waiters.push_back(std::make_unique<BoundedThread>([&] {
      mutex.wait(kThreadWaitInfinite);
      condition.wait(kThreadWaitInfinite);
    }));
  }
  ASSERT_TRUE(counts.semaphoreWaits.reachesWithin(3));
  notifyUnderMutex(mutex, condition);
  for (auto& waiter : waiters) ASSERT_TRUE(waiter->joinWithin());
  EXPECT_EQ(counts.posts.load(), 3);

  notifyUnderMutex(mutex, condition);
  EXPECT_EQ(counts.posts.load(), 3);
  EXPECT_TRUE(freeForOthers(mutex));
}

TEST(ThreadCondition,
     WaiterThatTimedOutButWasNotifiedBeforeRetakingMutexGoesOn) {
  // The waiter times out while this thread holds the mutex, so its entry is
  // still listed when notifyAll runs; it must find it gone and carry on.
  Counter waiterMutexWaits;
  Counter semaphoreWaits;
  std::atomic<int> posts{0};
  const std::thread::id self = std::this_thread::get_id();
  ScopedPortHook hook([&](port::PortCall call) {
    if (call == port::PortCall::kPostSemaphore) ++posts;
    if (call == port::PortCall::kWaitSemaphore) semaphoreWaits.add();
    if (call == port::PortCall::kWaitMutex &&
        std::this_thread::get_id() != self) {
      waiterMutexWaits.add();
    }
    return false;
  });
  ThreadMutex mutex;
  ThreadCondition condition(&mutex);
  BoundedThread waiter([&] {
    mutex.wait(kThreadWaitInfinite);
    condition.wait(50);
  });
  ASSERT_TRUE(semaphoreWaits.reachesWithin(1));
  mutex.wait(kThreadWaitInfinite);
  // The waiter's second mutex wait is the one after its timeout.
  ASSERT_TRUE(waiterMutexWaits.reachesWithin(2));
  condition.notifyAll();
  mutex.release();
  ASSERT_TRUE(waiter.joinWithin());
  EXPECT_EQ(posts.load(), 1);

  notifyUnderMutex(mutex, condition);
  EXPECT_EQ(posts.load(), 1);
}

TEST(ThreadCondition, SemaphoreCreationFailureThrowsWithTheMutexStillHeld) {
  ScopedPortHook hook([](port::PortCall call) {
    return call == port::PortCall::kCreateSemaphore;
  });
  ThreadMutex mutex;
  ThreadCondition condition(&mutex);
  mutex.wait(kThreadWaitInfinite);
  EXPECT_EQ(codeThrownBy([&] { condition.wait(kThreadWaitInfinite); }),
            kThreadNoSemaphoreAvailable);
  EXPECT_FALSE(freeForOthers(mutex));
  mutex.release();
  EXPECT_TRUE(freeForOthers(mutex));
}

TEST(ThreadCondition, FailedWaitThrowsWithoutMutexAndLeavesNoEntry) {
  std::atomic<bool> failWaits{true};
  std::atomic<int> posts{0};
  ScopedPortHook hook([&](port::PortCall call) {
    if (call == port::PortCall::kPostSemaphore) ++posts;
    return call == port::PortCall::kWaitSemaphore && failWaits.load();
  });
  ThreadMutex mutex;
  ThreadCondition condition(&mutex);
  mutex.wait(kThreadWaitInfinite);
  EXPECT_EQ(codeThrownBy([&] { condition.wait(kThreadWaitInfinite); }),
            kThreadWaitFailOnSemaphore);
  failWaits = false;
  EXPECT_TRUE(freeForOthers(mutex));
  notifyUnderMutex(mutex, condition);
  EXPECT_EQ(posts.load(), 0);
}

}  // namespace
}  // namespace QUAX
