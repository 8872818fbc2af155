// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "tests/thread/ScopedPortHook.h"
#include "thread/ThreadErrors.h"
#include "thread/ThreadMutex.h"

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

TEST(ThreadMutex, FirstWaitsFromManyThreadsShareOneSystemMutex) {
  for (int round = 0; round < 20; ++round) {
    auto mutex = std::make_unique<ThreadMutex>();  // created on first use
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
    for (auto& thread : threads) {
      ASSERT_TRUE(thread->joinWithin(kStressBound));
    }
    EXPECT_EQ(counter, 200);
  }
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
  EXPECT_THROW(mutex.wait(0), EThreadException);
  try {
    mutex.wait(0);
  } catch (const std::exception& e) {
    EXPECT_NE(std::string(e.what()).find("17561"), std::string::npos);
  }
  failWaits = false;
  EXPECT_TRUE(freeForOthers(mutex));
}

}  // namespace
}  // namespace QUAX
