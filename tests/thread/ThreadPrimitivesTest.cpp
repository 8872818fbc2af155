// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/thread/ScopedPortHook.h"
#include "thread/ThreadCondition.h"
#include "thread/ThreadErrors.h"
#include "thread/ThreadMutex.h"
#include "thread/ThreadSemaphore.h"

namespace QUAX {
namespace {

using namespace testing;
using port::PortCall;

TEST(ThreadMutex, OwnerTakesItAgainAndOthersWaitOrTimeOut) {
  ThreadMutex mutex;
  mutex.release();  // before the first wait: changes nothing
  ASSERT_EQ(mutex.wait(kThreadWaitInfinite), kThreadWaitSignalled);
  ASSERT_EQ(mutex.wait(0), kThreadWaitSignalled);
  int result = 1;
  const auto start = std::chrono::steady_clock::now();
  BoundedThread other([&] {
    result = mutex.wait(1200);  // over a second: the deadline carries
    mutex.release();            // a release without ownership is ignored
  });
  ASSERT_TRUE(other.joinWithin());
  EXPECT_EQ(result, kThreadWaitTimedOut);
  EXPECT_GE(std::chrono::steady_clock::now() - start,
            std::chrono::milliseconds(1150));
  mutex.release();
  EXPECT_FALSE(freeForOthers(mutex));
  mutex.release();
  EXPECT_TRUE(freeForOthers(mutex));
}

TEST(ThreadMutex, FailedCreationOrWaitThrowsWithoutOwnership) {
  std::atomic<int> creations{1};
  std::atomic<bool> failWaits{false};
  ScopedPortHook hook([&](PortCall call) {
    return (call == PortCall::kCreateMutex && creations.fetch_sub(1) > 0) ||
           (call == PortCall::kWaitMutex && failWaits.load());
  });
  ThreadMutex mutex;
  EXPECT_EQ(codeThrownBy([&] { mutex.wait(0); }), kThreadNoMutexAvailable);
  failWaits = true;
  EXPECT_EQ(codeThrownBy([&] { mutex.wait(kThreadWaitInfinite); }),
            kThreadWaitFailOnMutex);
  try {
    mutex.wait(0);
    ADD_FAILURE() << "no exception";
  } catch (const EThreadException& e) {
    EXPECT_NE(std::string(e.what()).find("17561"), std::string::npos);
  }
  failWaits = false;
  EXPECT_TRUE(freeForOthers(mutex));
}

// A mutex whose owner thread ended without releasing it.
TEST(ThreadMutex, AbandonedMutexFailsTheNextWaitThenIsFreeAgain) {
  ThreadMutex mutex;
  BoundedThread owner([&] {
    ASSERT_EQ(mutex.wait(kThreadWaitInfinite), kThreadWaitSignalled);
  });  // ends holding the mutex
  ASSERT_TRUE(owner.joinWithin());
  // A wait without limit, as the reader/writer lock makes, bounded by the
  // thread helper: it would block for ever if the abandoned mutex were not
  // noticed. (ThreadSanitizer follows an abandoned mutex through the
  // untimed lock only; the timed one takes the same path in the port.)
  std::int32_t code = 0;
  BoundedThread waiter(
      [&] { code = codeThrownBy([&] { mutex.wait(kThreadWaitInfinite); }); });
  ASSERT_TRUE(waiter.joinWithin());
  EXPECT_EQ(code, kThreadWaitFailOnMutex);

  // The failed wait left it free for any thread.
  EXPECT_TRUE(freeForOthers(mutex));
  EXPECT_EQ(mutex.wait(0), kThreadWaitSignalled);
  mutex.release();
}

TEST(ThreadSemaphore, EachWaitTakesOneOfThePosted) {
  ThreadSemaphore semaphore;
  ASSERT_TRUE(semaphore.hasHandle());
  EXPECT_EQ(semaphore.wait(20), kThreadWaitTimedOut);
  for (int i = 0; i < 3; ++i) semaphore.post();
  EXPECT_EQ(semaphore.wait(0), kThreadWaitSignalled);
  EXPECT_EQ(semaphore.wait(999), kThreadWaitSignalled);
  EXPECT_EQ(semaphore.wait(kThreadWaitInfinite), kThreadWaitSignalled);
  EXPECT_EQ(semaphore.wait(0), kThreadWaitTimedOut);
  int result = 1;
  BoundedThread waiter([&] { result = semaphore.wait(kThreadWaitInfinite); });
  semaphore.post();
  ASSERT_TRUE(waiter.joinWithin());
  EXPECT_EQ(result, kThreadWaitSignalled);
}

TEST(ThreadSemaphore, MissingHandleOrFailedWaitThrows) {
  std::atomic<bool> fail{true};
  ScopedPortHook hook([&](PortCall call) {
    return fail.load() && (call == PortCall::kCreateSemaphore ||
                           call == PortCall::kWaitSemaphore);
  });
  ThreadSemaphore none;
  EXPECT_FALSE(none.hasHandle());
  none.post();  // nothing to post to
  EXPECT_EQ(codeThrownBy([&] { none.wait(0); }), kThreadWaitOnNullSemaphore);
  EXPECT_THROW(none.wait(kThreadWaitInfinite), EThreadWaitOnNullSemaphore);
  fail = false;
  ThreadSemaphore semaphore;
  semaphore.post();
  fail = true;
  EXPECT_EQ(codeThrownBy([&] { semaphore.wait(0); }),
            kThreadWaitFailOnSemaphore);
}

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
