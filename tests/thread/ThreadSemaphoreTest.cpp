// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <atomic>

#include "tests/thread/ScopedPortHook.h"
#include "thread/ThreadErrors.h"
#include "thread/ThreadSemaphore.h"

namespace QUAX {
namespace {

using namespace testing;
using port::PortCall;

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

}  // namespace
}  // namespace QUAX
