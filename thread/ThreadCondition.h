// SPDX-License-Identifier: MIT
// A condition on a ThreadMutex, built from one semaphore per waiting thread.
#ifndef QUAX_THREAD_THREADCONDITION_H_
#define QUAX_THREAD_THREADCONDITION_H_

#include <cstdint>
#include <list>

#include "thread/ThreadMutex.h"
#include "thread/ThreadSemaphore.h"

namespace QUAX {

// Thread safety: wait() and notifyAll() require the associated mutex, which
// guards the waiter list.
class ThreadCondition {
 public:
  // `mutex` belongs to the enclosing object and must outlive the condition.
  explicit ThreadCondition(ThreadMutex* mutex) noexcept : _mutex(mutex) {}
  // Forgets the waiters without waking them.
  ~ThreadCondition() = default;
  ThreadCondition(const ThreadCondition&) = delete;
  ThreadCondition& operator=(const ThreadCondition&) = delete;

  // REQUIRES: the caller holds the associated mutex.
  // Gives up the mutex and waits until notifyAll() or `timeoutMs` passes.
  // Returns without holding the mutex, woken or timed out; a timed-out wait
  // leaves no entry behind. Throws EThreadNoSemaphoreAvailable (and
  // std::bad_alloc) with the mutex still held; throws the semaphore's and
  // the mutex's wait failures without holding it.
  void wait(std::uint32_t timeoutMs);

  // REQUIRES: the caller holds the associated mutex.
  // Wakes every waiter once, in order of arrival; each leaves the list.
  void notifyAll() noexcept;

 private:
  // Takes `semaphore`'s entry off the list under the mutex. False when the
  // mutex could not be taken.
  bool takeOffList(ThreadSemaphore* semaphore) noexcept;

  ThreadMutex* const _mutex;
  // Each entry is the semaphore of one waiting thread, owned by that thread.
  std::list<ThreadSemaphore*> _waiters;
};

}  // namespace QUAX

#endif  // QUAX_THREAD_THREADCONDITION_H_
