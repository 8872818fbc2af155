// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "tests/thread/ScopedPortHook.h"
#include "thread/ThreadCondition.h"
#include "thread/ThreadErrors.h"

namespace QUAX {
namespace {

using namespace testing;
using port::PortCall;

void notifyUnderMutex(ThreadMutex& mutex, ThreadCondition& condition) {
  mutex.wait(kThreadWaitInfinite);
  condition.notifyAll();
  mutex.release();
}

TEST(ThreadCondition, NotifyAllWakesEveryWaiterOnceAndTimeoutsLeaveNoEntry) {
  ScopedPortHook hook;
  ThreadMutex mutex;
  ThreadCondition condition(&mutex);
  mutex.wait(kThreadWaitInfinite);
  condition.wait(20);  // returns without the mutex
  EXPECT_TRUE(freeForOthers(mutex));
  std::vector<std::unique_ptr<BoundedThread>> waiters;
  for (int i = 0; i < 3; ++i) {
    waiters.push_back(std::make_unique<BoundedThread>([&] {
      mutex.wait(kThreadWaitInfinite);
      condition.wait(kThreadWaitInfinite);
    }));
  }
  ASSERT_TRUE(hook[PortCall::kWaitSemaphore].reachesWithin(4));
  notifyUnderMutex(mutex, condition);
  for (auto& waiter : waiters) ASSERT_TRUE(waiter->joinWithin());
  notifyUnderMutex(mutex, condition);  // the list is empty again
  EXPECT_EQ(hook[PortCall::kPostSemaphore].value(), 3);
  EXPECT_TRUE(freeForOthers(mutex));
}

TEST(ThreadCondition, WaiterThatTimedOutButWasNotifiedBeforeRetakingGoesOn) {
  // The waiter times out while this thread holds the mutex, so its entry is
  // still listed when notifyAll runs; it must find it gone and carry on.
  const std::thread::id self = std::this_thread::get_id();
  Counter waiterMutexWaits;
  ScopedPortHook hook([&](PortCall call) {
    if (call == PortCall::kWaitMutex && std::this_thread::get_id() != self) {
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
  ASSERT_TRUE(hook[PortCall::kWaitSemaphore].reachesWithin(1));
  mutex.wait(kThreadWaitInfinite);
  ASSERT_TRUE(waiterMutexWaits.reachesWithin(2));  // the one after timeout
  condition.notifyAll();
  mutex.release();
  ASSERT_TRUE(waiter.joinWithin());
  notifyUnderMutex(mutex, condition);
  EXPECT_EQ(hook[PortCall::kPostSemaphore].value(), 1);
}

TEST(ThreadCondition, FailuresThrowAndLeaveNoEntry) {
  // Semaphore creation fails with the mutex still held; a failed wait gives
  // it up.
  std::atomic<PortCall> failing{PortCall::kCreateSemaphore};
  std::atomic<bool> armed{true};
  ScopedPortHook hook(
      [&](PortCall call) { return armed.load() && call == failing.load(); });
  ThreadMutex mutex;
  ThreadCondition condition(&mutex);
  mutex.wait(kThreadWaitInfinite);
  EXPECT_EQ(codeThrownBy([&] { condition.wait(kThreadWaitInfinite); }),
            kThreadNoSemaphoreAvailable);
  EXPECT_FALSE(freeForOthers(mutex));
  failing = PortCall::kWaitSemaphore;
  EXPECT_EQ(codeThrownBy([&] { condition.wait(kThreadWaitInfinite); }),
            kThreadWaitFailOnSemaphore);
  armed = false;
  EXPECT_TRUE(freeForOthers(mutex));
  notifyUnderMutex(mutex, condition);
  EXPECT_EQ(hook[PortCall::kPostSemaphore].value(), 0);
}

}  // namespace
}  // namespace QUAX
