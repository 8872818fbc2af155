// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <atomic>

#include "tests/thread/ScopedPortHook.h"
#include "tests/thread/ThreadTestSupport.h"
#include "thread/ThreadErrors.h"
#include "thread/ThreadSemaphore.h"

namespace QUAX {
namespace {

using testing::BoundedThread;
using testing::codeThrownBy;
using testing::ScopedPortHook;

TEST(ThreadSemaphore, StartsWithoutCountAndEachWaitTakesOneOfThePosted) {
  ThreadSemaphore semaphore;
  ASSERT_TRUE(semaphore.hasHandle());
  EXPECT_EQ(semaphore.wait(20), kThreadWaitTimedOut);
  semaphore.post();
  semaphore.post();
  semaphore.post();
  EXPECT_EQ(semaphore.wait(0), kThreadWaitSignalled);
  EXPECT_EQ(semaphore.wait(0), kThreadWaitSignalled);
  EXPECT_EQ(semaphore.wait(kThreadWaitInfinite), kThreadWaitSignalled);
  EXPECT_EQ(semaphore.wait(0), kThreadWaitTimedOut);
}

TEST(ThreadSemaphore, PostFromAnotherThreadWakesAnUnlimitedWait) {
  ThreadSemaphore semaphore;
  int result = 1;
  BoundedThread waiter([&] { result = semaphore.wait(kThreadWaitInfinite); });
  semaphore.post();
  ASSERT_TRUE(waiter.joinWithin());
  EXPECT_EQ(result, kThreadWaitSignalled);
}

TEST(ThreadSemaphore, WaitWithoutHandleThrowsWaitOnNullSemaphore) {
  std::atomic<bool> fail{true};
  ScopedPortHook hook([&](port::PortCall call) {
    return call == port::PortCall::kCreateSemaphore && fail.load();
  });
  ThreadSemaphore semaphore;
  fail = false;
  EXPECT_FALSE(semaphore.hasHandle());
  semaphore.post();  // nothing to post to
  EXPECT_EQ(codeThrownBy([&] { semaphore.wait(0); }),
            kThreadWaitOnNullSemaphore);
  EXPECT_THROW(semaphore.wait(kThreadWaitInfinite), EThreadWaitOnNullSemaphore);
}

TEST(ThreadSemaphore, FailedWaitThrowsWaitFailOnSemaphore) {
  ThreadSemaphore semaphore;
  semaphore.post();
  ScopedPortHook hook([](port::PortCall call) {
    return call == port::PortCall::kWaitSemaphore;
  });
  EXPECT_EQ(codeThrownBy([&] { semaphore.wait(0); }),
            kThreadWaitFailOnSemaphore);
}

}  // namespace
}  // namespace QUAX
