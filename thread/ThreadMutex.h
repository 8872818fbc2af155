// SPDX-License-Identifier: MIT
// A recursive mutex owned by the thread that takes it, created on first use.
#ifndef QUAX_THREAD_THREADMUTEX_H_
#define QUAX_THREAD_THREADMUTEX_H_

#include <atomic>
#include <cstdint>

#include "thread/ThreadPort.h"
#include "thread/ThreadWait.h"

namespace QUAX {

// Thread safety: wait() and release() may be called from any thread; the
// destructor only when no thread owns or waits for the mutex.
class ThreadMutex {
 public:
  ThreadMutex() noexcept = default;
  // Closes the system mutex if one was created.
  ~ThreadMutex();
  ThreadMutex(const ThreadMutex&) = delete;
  ThreadMutex& operator=(const ThreadMutex&) = delete;

  // Takes ownership within `timeoutMs` (kThreadWaitInfinite: no limit),
  // creating the system mutex on first use. Returns kThreadWaitSignalled or
  // kThreadWaitTimedOut. The owner may take it again.
  // Throws EThreadNoMutexAvailable when creation fails (a later call tries
  // again) and EThreadWaitFailOnMutex when the wait fails.
  //
  // Abandoned mutex: when the owning thread ended without releasing the
  // mutex, the next wait (on any thread) throws EThreadWaitFailOnMutex, on
  // Windows and POSIX alike. That wait does not keep the ownership it was
  // handed: the mutex is left free, so the wait after it succeeds (Windows
  // would leave the waiter owning it; not keeping it means a caller that
  // sees the exception has nothing to release). Whatever the mutex guarded
  // may be half changed by the thread that ended.
  int wait(std::uint32_t timeoutMs);
  // Gives up one level of ownership. Does nothing before the first wait or
  // when the caller does not own the mutex.
  void release() noexcept;

 private:
  // Null until the first wait. Atomic because two threads may make that
  // first wait together; one system mutex wins, the other is closed.
  std::atomic<port::MutexHandle> _handle{nullptr};
};

}  // namespace QUAX

#endif  // QUAX_THREAD_THREADMUTEX_H_
