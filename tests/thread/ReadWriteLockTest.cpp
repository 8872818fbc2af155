// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "tests/thread/ScopedPortHook.h"
#include "thread/ReadWriteLock.h"
#include "thread/ThreadErrors.h"

namespace QUAX {
namespace {

using namespace testing;
using port::PortCall;

TEST(ReadWriteLock, WriterWaitsForReadersAndHoldsBackALaterReader) {
  ScopedPortHook hook;  // each semaphore wait is a thread going to sleep
  ReadWriteLock lock;
  std::atomic<int> readersReleased{0};
  std::atomic<bool> writerHadLock{false};
  int releasedWhenWriterEntered = -1;
  bool writerHadLockWhenReaderEntered = false;
  Counter release[2];
  Counter readersIn;
  std::vector<std::unique_ptr<BoundedThread>> readers;
  for (Counter& signal : release) {
    readers.push_back(std::make_unique<BoundedThread>([&] {
      lock.acquireRead();
      readersIn.add();
      EXPECT_TRUE(signal.reachesWithin(1));
      ++readersReleased;
      lock.release();
    }));
  }
  ASSERT_TRUE(readersIn.reachesWithin(2));
  BoundedThread writer([&] {
    lock.acquireWrite();
    releasedWhenWriterEntered = readersReleased.load();
    writerHadLock = true;
    lock.release();
  });
  ASSERT_TRUE(hook[PortCall::kWaitSemaphore].reachesWithin(1));
  BoundedThread late([&] {
    lock.acquireRead();
    writerHadLockWhenReaderEntered = writerHadLock.load();
    lock.release();
  });
  // Readers hold the lock, yet the late reader waits behind the writer.
  ASSERT_TRUE(hook[PortCall::kWaitSemaphore].reachesWithin(2));
  release[0].add();
  ASSERT_TRUE(readers[0]->joinWithin());
  EXPECT_FALSE(writerHadLock.load());
  release[1].add();
  ASSERT_TRUE(writer.joinWithin());
  ASSERT_TRUE(late.joinWithin());
  EXPECT_EQ(releasedWhenWriterEntered, 2);
  EXPECT_TRUE(writerHadLockWhenReaderEntered);
}

TEST(ReadWriteLock, WriterHoldsTheLockAloneAndReadersSeeWholeWrites) {
  ScopedPortHook hook;
  ReadWriteLock lock;
  lock.release();  // a free lock stays free
  std::atomic<bool> released{false};
  bool readerSawRelease = false, writerSawRelease = false;
  lock.acquireWrite();
  BoundedThread reader([&] {
    lock.acquireRead();
    readerSawRelease = released.load();
    lock.release();
  });
  BoundedThread writer([&] {
    lock.acquireWrite();
    writerSawRelease = released.load();
    lock.release();
  });
  ASSERT_TRUE(hook[PortCall::kWaitSemaphore].reachesWithin(2));
  released = true;
  lock.release();
  ASSERT_TRUE(reader.joinWithin());
  ASSERT_TRUE(writer.joinWithin());
  EXPECT_TRUE(readerSawRelease);
  EXPECT_TRUE(writerSawRelease);

  int first = 0, second = 0;  // guarded by the lock; equal outside it
  std::atomic<int> tornReads{0};
  std::vector<std::unique_ptr<BoundedThread>> threads;
  for (int t = 0; t < 4; ++t) {
    threads.push_back(std::make_unique<BoundedThread>([&, t] {
      for (int i = 0; i < 200; ++i) {
        if (t % 2) {
          lock.acquireRead();
          if (first != second) ++tornReads;
        } else {
          lock.acquireWrite();
          ++first;
          std::this_thread::yield();
          ++second;
        }
        lock.release();
      }
    }));
  }
  for (auto& thread : threads) ASSERT_TRUE(thread->joinWithin(kStressBound));
  EXPECT_EQ(tornReads.load(), 0);
  EXPECT_EQ(second, 400);
}

// A failed port call inside acquireRead or acquireWrite throws and gives the
// lock mutex up: a release from another thread goes through, and so does
// the next reader or writer (-1: none tried).
TEST(ReadWriteLock, FailuresGiveUpTheLockMutex) {
  const struct {
    bool holdWrite;  // else one read share is held
    bool acquireWrite;
    PortCall failing;
    std::int32_t code;
    int next;  // 0 reader, 1 writer
  } cases[] = {
      {true, false, PortCall::kCreateSemaphore, kThreadNoSemaphoreAvailable, 0},
      {false, true, PortCall::kWaitSemaphore, kThreadWaitFailOnSemaphore, -1},
      // The reader's mutex wait after waking fails.
      {true, false, PortCall::kWaitMutex, kThreadWaitFailOnMutex, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    std::atomic<std::thread::id> failingThread{};
    std::atomic<bool> armed{c.failing != PortCall::kWaitMutex};
    ScopedPortHook hook([&](PortCall call) {
      return armed.load() && call == c.failing &&
             std::this_thread::get_id() == failingThread.load();
    });
    ReadWriteLock lock;
    c.holdWrite ? lock.acquireWrite() : lock.acquireRead();
    std::int32_t code = 0;
    BoundedThread other([&] {
      failingThread = std::this_thread::get_id();
      code = codeThrownBy(
          [&] { c.acquireWrite ? lock.acquireWrite() : lock.acquireRead(); });
    });
    if (c.failing == PortCall::kWaitMutex) {
      ASSERT_TRUE(hook[PortCall::kWaitSemaphore].reachesWithin(1));
      armed = true;
      lock.release();
    }
    ASSERT_TRUE(other.joinWithin());
    EXPECT_EQ(code, c.code);
    armed = false;
    if (c.failing != PortCall::kWaitMutex) {
      BoundedThread release([&] { lock.release(); });
      ASSERT_TRUE(release.joinWithin());
    }
    if (c.next >= 0) {
      BoundedThread next([&] {
        c.next ? lock.acquireWrite() : lock.acquireRead();
        lock.release();
      });
      EXPECT_TRUE(next.joinWithin());
    }
  }
}

}  // namespace
}  // namespace QUAX
