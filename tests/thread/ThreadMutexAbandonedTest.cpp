// SPDX-License-Identifier: MIT
// A mutex whose owner thread ended without releasing it.
#include <gtest/gtest.h>

#include <cstdint>

#include "tests/thread/ThreadTestSupport.h"
#include "thread/ThreadErrors.h"
#include "thread/ThreadMutex.h"

namespace QUAX {
namespace {

using testing::BoundedThread;
using testing::codeThrownBy;
using testing::kBound;

TEST(ThreadMutexAbandoned, NextWaitFailsThenTheMutexIsFreeAgain) {
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

  // The failed wait left it free: this thread and another take it in turn.
  const auto bound = static_cast<std::uint32_t>(kBound.count());
  EXPECT_EQ(mutex.wait(bound), kThreadWaitSignalled);
  mutex.release();
  BoundedThread other([&] {
    EXPECT_EQ(mutex.wait(bound), kThreadWaitSignalled);
    mutex.release();
  });
  EXPECT_TRUE(other.joinWithin());
  EXPECT_EQ(mutex.wait(0), kThreadWaitSignalled);
  mutex.release();
}

}  // namespace
}  // namespace QUAX
