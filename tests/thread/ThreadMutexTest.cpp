// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "tests/thread/ScopedPortHook.h"
#include "tests/thread/ThreadTestSupport.h"
#include "thread/ThreadErrors.h"
#include "thread/ThreadMutex.h"

namespace QUAX {
namespace {

using testing::BoundedThread;
using testing::codeThrownBy;
using testing::ScopedPortHook;

// Whether another thread could take `mutex` right now.
bool freeForOthers(ThreadMutex& mutex) {
  int result = 1;
  BoundedThread other([&] {
    result = mutex.wait(0);
    if (result == kThreadWaitSignalled) mutex.release();
  });
  EXPECT_TRUE(other.joinWithin());
  return result == kThreadWaitSignalled;
}

TEST(ThreadMutex, OwnerTakesItAgainAndMustReleaseAsOften) {
  ThreadMutex mutex;
  ASSERT_EQ(mutex.wait(kThreadWaitInfinite), kThreadWaitSignalled);
  ASSERT_EQ(mutex.wait(0), kThreadWaitSignalled);
  mutex.release();
  EXPECT_FALSE(freeForOthers(mutex));
  mutex.release();
  EXPECT_TRUE(freeForOthers(mutex));
}

TEST(ThreadMutex, WaitTimesOutWhileAnotherThreadOwnsIt) {
  ThreadMutex mutex;
  ASSERT_EQ(mutex.wait(kThreadWaitInfinite), kThreadWaitSignalled);
  int result = 1;
  BoundedThread other([&] { result = mutex.wait(20); });
  ASSERT_TRUE(other.joinWithin());
  EXPECT_EQ(result, kThreadWaitTimedOut);
  mutex.release();
}

TEST(ThreadMutex, ReleaseWithoutOwnershipChangesNothing) {
  ThreadMutex mutex;
  mutex.release();  // before the first wait
  ASSERT_EQ(mutex.wait(0), kThreadWaitSignalled);
  BoundedThread stranger([&] { mutex.release(); });
  ASSERT_TRUE(stranger.joinWithin());
  EXPECT_FALSE(freeForOthers(mutex));
  mutex.release();
  EXPECT_TRUE(freeForOthers(mutex));
}

TEST(ThreadMutex, FirstWaitsFromManyThreadsShareOneSystemMutex) {
  // The mutex is created on first use; threads that make that first wait
  // together must still exclude each other.
  for (int round = 0; round < 20; ++round) {
    auto mutex = std::make_unique<ThreadMutex>();
    std::atomic<bool> go{false};
    int counter = 0;  // guarded by *mutex only
    std::vector<std::unique_ptr<BoundedThread>> threads;
    for (int t = 0; t < 4; ++t) {
      threads.push_back(std::make_unique<BoundedThread>([&] {
        while (!go.load()) std::this_thread::yield();
        for (int i = 0; i < 50; ++i) {
          mutex->wait(kThreadWaitInfinite);
          ++counter;
          mutex->release();
        }
      }));
    }
    go = true;
    for (auto& thread : threads) ASSERT_TRUE(thread->joinWithin());
    EXPECT_EQ(counter, 200);
  }
}

TEST(ThreadMutex, CreationFailureThrowsAndALaterWaitTriesAgain) {
  std::atomic<int> failures{1};
  ScopedPortHook hook([&](port::PortCall call) {
    return call == port::PortCall::kCreateMutex && failures.fetch_sub(1) > 0;
  });
  ThreadMutex mutex;
  EXPECT_EQ(codeThrownBy([&] { mutex.wait(0); }), kThreadNoMutexAvailable);
  EXPECT_EQ(mutex.wait(0), kThreadWaitSignalled);
  mutex.release();
}

TEST(ThreadMutex, FailedWaitThrowsWaitFailOnMutexWithoutOwnership) {
  std::atomic<bool> fail{true};
  ScopedPortHook hook([&](port::PortCall call) {
    return call == port::PortCall::kWaitMutex && fail.load();
  });
  ThreadMutex mutex;
  EXPECT_EQ(codeThrownBy([&] { mutex.wait(kThreadWaitInfinite); }),
            kThreadWaitFailOnMutex);
  fail = false;
  EXPECT_TRUE(freeForOthers(mutex));
}

TEST(ThreadMutex, ThreadExceptionsAreCaughtAsTheirGroupAndAsStdException) {
  ScopedPortHook hook(
      [](port::PortCall call) { return call == port::PortCall::kWaitMutex; });
  ThreadMutex mutex;
  EXPECT_THROW(mutex.wait(0), EThreadWaitFailOnMutex);
  EXPECT_THROW(mutex.wait(0), EThreadException);
  try {
    mutex.wait(0);
    ADD_FAILURE() << "no exception";
  } catch (const std::exception& e) {
    EXPECT_NE(std::string(e.what()).find("17561"), std::string::npos)
        << e.what();
  }
}

}  // namespace
}  // namespace QUAX
