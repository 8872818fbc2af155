// SPDX-License-Identifier: MIT
// A reader/writer lock that prefers writers.
#ifndef QUAX_THREAD_READWRITELOCK_H_
#define QUAX_THREAD_READWRITELOCK_H_

#include <cstdint>

#include "thread/ThreadCondition.h"
#include "thread/ThreadMutex.h"

namespace QUAX {

// Any number of readers share the lock; a writer holds it alone. A new
// reader is refused while a writer waits, and a release wakes waiting
// writers before waiting readers. Woken threads retest under the lock
// mutex and take the lock in no fixed order.
//
// Thread safety: all operations may be called from any thread. A thread
// must not acquire the lock again while it holds it.
class ReadWriteLock {
 public:
  ReadWriteLock() noexcept : _readers(&_mutex), _writers(&_mutex) {}
  // Closes the lock mutex, then forgets both waiter lists.
  ~ReadWriteLock() = default;
  ReadWriteLock(const ReadWriteLock&) = delete;
  ReadWriteLock& operator=(const ReadWriteLock&) = delete;

  // Blocks until the caller holds a read share.
  void acquireRead();
  // Blocks until the caller holds the lock alone.
  void acquireWrite();
  // Gives up a read share or the write hold; does nothing on a free lock.
  void release();

  // On failure both acquire operations throw the thread exceptions of the
  // mutex and the condition, with the lock mutex given up. The count of
  // waiting readers or writers then stays as it was raised: it is not
  // lowered again. Such a failure is one of the system's mutex or semaphore,
  // after which the lock is not to be relied on. In particular a failed
  // acquireWrite() leaves the waiting-writer count raised for good, so from
  // then on every new reader waits as it would behind a waiting writer
  // (writers still get the lock when it is free): the failure shows as
  // readers held back, never as a reader let in beside a writer.

 private:
  // Field order fixes destruction order: the mutex goes first.
  ThreadCondition _readers;
  ThreadCondition _writers;
  // 0 free, n > 0 readers, -1 one writer. This and the counts are guarded
  // by _mutex.
  std::int32_t _state = 0;
  std::int32_t _waitingReaders = 0;
  std::int32_t _waitingWriters = 0;
  ThreadMutex _mutex;
};

}  // namespace QUAX

#endif  // QUAX_THREAD_READWRITELOCK_H_
