// SPDX-License-Identifier: MIT
// A counting semaphore (initial count 0, maximum count 0x7FFFFFFF).
#ifndef QUAX_THREAD_THREADSEMAPHORE_H_
#define QUAX_THREAD_THREADSEMAPHORE_H_

#include <cstdint>

#include "thread/ThreadPort.h"
#include "thread/ThreadWait.h"

namespace QUAX {

// Thread safety: wait() and post() may be called from any thread; the
// destructor only when no thread waits.
class ThreadSemaphore {
 public:
  // Creates the system semaphore. Creation failure does not throw: the
  // semaphore is then without a handle (see hasHandle()).
  ThreadSemaphore() noexcept;
  ~ThreadSemaphore();
  ThreadSemaphore(const ThreadSemaphore&) = delete;
  ThreadSemaphore& operator=(const ThreadSemaphore&) = delete;

  bool hasHandle() const noexcept { return _handle != nullptr; }

  // Takes one count within `timeoutMs` (kThreadWaitInfinite: no limit).
  // Returns kThreadWaitSignalled or kThreadWaitTimedOut.
  // Throws EThreadWaitOnNullSemaphore without a handle and
  // EThreadWaitFailOnSemaphore when the wait fails.
  int wait(std::uint32_t timeoutMs);
  // Adds one count; does nothing without a handle.
  void post() noexcept;

 private:
  port::SemaphoreHandle _handle;
};

}  // namespace QUAX

#endif  // QUAX_THREAD_THREADSEMAPHORE_H_
