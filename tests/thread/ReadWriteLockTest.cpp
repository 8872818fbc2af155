// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "tests/thread/ScopedPortHook.h"
#include "tests/thread/ThreadTestSupport.h"
#include "thread/ReadWriteLock.h"
#include "thread/ThreadErrors.h"

namespace QUAX {
namespace {

using testing::BoundedThread;
using testing::codeThrownBy;
using testing::Counter;
using testing::ScopedPortHook;
using testing::Signal;

// Each semaphore wait that begins is a thread going to sleep on the lock.
struct SleepCounter {
  Counter sleeps;
  bool onCall(port::PortCall call) {
    if (call == port::PortCall::kWaitSemaphore) sleeps.add();
    return false;
  }
};

TEST(ReadWriteLock, WriterWaitsForBothReadersAndHoldsBackALaterReader) {
  // Sleeps (semaphore waits) of the writer and of the late reader.
  std::atomic<std::thread::id> writerId{}, lateId{};
  Counter writerSleeps, lateSleeps;
  ScopedPortHook hook([&](port::PortCall call) {
    if (call == port::PortCall::kWaitSemaphore) {
      if (std::this_thread::get_id() == writerId.load()) writerSleeps.add();
      if (std::this_thread::get_id() == lateId.load()) lateSleeps.add();
    }
    return false;
  });
  ReadWriteLock lock;
  std::atomic<int> readersReleased{0};
  std::atomic<bool> writerHadLock{false};
  int releasedWhenWriterEntered = -1;
  bool writerHadLockWhenReaderEntered = false;

  Signal releaseFirst, releaseSecond;
  Counter readersIn;
  auto reader = [&](Signal& release) {
    lock.acquireRead();
    readersIn.add();
    EXPECT_TRUE(release.waitWithin());
    ++readersReleased;
    lock.release();
  };
  BoundedThread first([&] { reader(releaseFirst); });
  BoundedThread second([&] { reader(releaseSecond); });
  ASSERT_TRUE(readersIn.reachesWithin(2));
  BoundedThread writer([&] {
    writerId = std::this_thread::get_id();
    lock.acquireWrite();
    releasedWhenWriterEntered = readersReleased.load();
    writerHadLock = true;
    lock.release();
  });
  ASSERT_TRUE(writerSleeps.reachesWithin(1));
  BoundedThread late([&] {
    lateId = std::this_thread::get_id();
    lock.acquireRead();
    writerHadLockWhenReaderEntered = writerHadLock.load();
    lock.release();
  });
  // Readers hold the lock, yet the late reader waits behind the writer.
  ASSERT_TRUE(lateSleeps.reachesWithin(1));

  releaseFirst.raise();
  ASSERT_TRUE(first.joinWithin());
  EXPECT_FALSE(writerHadLock.load());
  releaseSecond.raise();
  ASSERT_TRUE(second.joinWithin());
  ASSERT_TRUE(writer.joinWithin());
  ASSERT_TRUE(late.joinWithin());
  EXPECT_EQ(releasedWhenWriterEntered, 2);
  EXPECT_TRUE(writerHadLockWhenReaderEntered);
}

TEST(ReadWriteLock, WriterHoldsTheLockAlone) {
  SleepCounter counter;
  ScopedPortHook hook([&](port::PortCall c) { return counter.onCall(c); });
  ReadWriteLock lock;
  std::atomic<bool> writerReleased{false};
  bool readerSawRelease = false, writerSawRelease = false;
  lock.acquireWrite();
  BoundedThread reader([&] {
    lock.acquireRead();
    readerSawRelease = writerReleased.load();
    lock.release();
  });
  BoundedThread writer([&] {
    lock.acquireWrite();
    writerSawRelease = writerReleased.load();
    lock.release();
  });
  ASSERT_TRUE(counter.sleeps.reachesWithin(2));
  writerReleased = true;
  lock.release();
  ASSERT_TRUE(reader.joinWithin());
  ASSERT_TRUE(writer.joinWithin());
  EXPECT_TRUE(readerSawRelease);
  EXPECT_TRUE(writerSawRelease);
}

TEST(ReadWriteLock, ReleaseOfAFreeLockChangesNothing) {
  ReadWriteLock lock;
  lock.release();
  lock.release();
  // Still free: a writer gets it, and after it two readers together.
  BoundedThread writer([&] {
    lock.acquireWrite();
    lock.release();
  });
  ASSERT_TRUE(writer.joinWithin());
  lock.acquireRead();
  BoundedThread reader([&] {
    lock.acquireRead();
    lock.release();
  });
  EXPECT_TRUE(reader.joinWithin());
  lock.release();
}

TEST(ReadWriteLock, ReadersSeeOnlyWholeWrites) {
  ReadWriteLock lock;
  int first = 0, second = 0;  // guarded by the lock; always equal outside it
  std::atomic<int> tornReads{0};
  std::vector<std::unique_ptr<BoundedThread>> threads;
  for (int t = 0; t < 2; ++t) {
    threads.push_back(std::make_unique<BoundedThread>([&] {
      for (int i = 0; i < 200; ++i) {
        lock.acquireWrite();
        ++first;
        std::this_thread::yield();
        ++second;
        lock.release();
      }
    }));
    threads.push_back(std::make_unique<BoundedThread>([&] {
      for (int i = 0; i < 200; ++i) {
        lock.acquireRead();
        if (first != second) ++tornReads;
        lock.release();
      }
    }));
  }
  for (auto& thread : threads) ASSERT_TRUE(thread->joinWithin());
  EXPECT_EQ(tornReads.load(), 0);
  EXPECT_EQ(first, 400);
  EXPECT_EQ(second, 400);
}

// ---- failure paths ----------------------------------------------------------

TEST(ReadWriteLock, AcquireReadGivesUpTheLockMutexWhenNoSemaphoreCanBeMade) {
  std::atomic<bool> failCreation{false};
  ScopedPortHook hook([&](port::PortCall call) {
    return call == port::PortCall::kCreateSemaphore && failCreation.load();
  });
  ReadWriteLock lock;
  lock.acquireWrite();
  failCreation = true;
  std::int32_t code = 0;
  BoundedThread reader(
      [&] { code = codeThrownBy([&] { lock.acquireRead(); }); });
  ASSERT_TRUE(reader.joinWithin());
  EXPECT_EQ(code, kThreadNoSemaphoreAvailable);
  failCreation = false;
  // The lock mutex is free again: the writer releases, a reader gets in.
  BoundedThread release([&] { lock.release(); });
  ASSERT_TRUE(release.joinWithin());
  BoundedThread nextReader([&] {
    lock.acquireRead();
    lock.release();
  });
  EXPECT_TRUE(nextReader.joinWithin());
}

TEST(ReadWriteLock, AcquireWriteGivesUpTheLockMutexWhenItsWaitFails) {
  std::atomic<bool> failWaits{false};
  ScopedPortHook hook([&](port::PortCall call) {
    return call == port::PortCall::kWaitSemaphore && failWaits.load();
  });
  ReadWriteLock lock;
  lock.acquireRead();
  failWaits = true;
  std::int32_t code = 0;
  BoundedThread writer(
      [&] { code = codeThrownBy([&] { lock.acquireWrite(); }); });
  ASSERT_TRUE(writer.joinWithin());
  EXPECT_EQ(code, kThreadWaitFailOnSemaphore);
  failWaits = false;
  BoundedThread release([&] { lock.release(); });
  EXPECT_TRUE(release.joinWithin());
}

TEST(ReadWriteLock, AcquireReadThrowsWhenRetakingTheLockMutexFails) {
  std::atomic<std::thread::id> readerId{};
  std::atomic<bool> armed{false};
  Counter sleeps;
  ScopedPortHook hook([&](port::PortCall call) {
    if (call == port::PortCall::kWaitSemaphore) sleeps.add();
    return call == port::PortCall::kWaitMutex && armed.load() &&
           std::this_thread::get_id() == readerId.load();
  });
  ReadWriteLock lock;
  lock.acquireWrite();
  std::int32_t code = 0;
  BoundedThread reader([&] {
    readerId = std::this_thread::get_id();
    code = codeThrownBy([&] { lock.acquireRead(); });
  });
  ASSERT_TRUE(sleeps.reachesWithin(1));
  armed = true;  // the reader's mutex wait after waking fails
  lock.release();
  ASSERT_TRUE(reader.joinWithin());
  EXPECT_EQ(code, kThreadWaitFailOnMutex);
  // Nothing is left held: a writer still gets the lock.
  BoundedThread writer([&] {
    lock.acquireWrite();
    lock.release();
  });
  EXPECT_TRUE(writer.joinWithin());
}

}  // namespace
}  // namespace QUAX
