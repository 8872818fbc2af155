// SPDX-License-Identifier: MIT
#include "thread/ThreadCondition.h"

#include <memory>

#include "thread/ThreadErrors.h"

namespace QUAX {

void ThreadCondition::wait(std::uint32_t timeoutMs) {
  auto semaphore = std::make_unique<ThreadSemaphore>();
  if (!semaphore->hasHandle()) throw EThreadNoSemaphoreAvailable();
  _waiters.push_back(semaphore.get());
  _mutex->release();

  int result;
  try {
    result = semaphore->wait(timeoutMs);
  } catch (...) {
    // The entry must leave the list before its semaphore goes, or a later
    // notifyAll would post to freed memory. If even that fails, the
    // semaphore is left alive for ever rather than freed under the list.
    if (!takeOffList(semaphore.get())) static_cast<void>(semaphore.release());
    throw;
  }
  if (result == kThreadWaitTimedOut && !takeOffList(semaphore.get())) {
    static_cast<void>(semaphore.release());
    throw EThreadWaitFailOnMutex();
  }
  // Woken: notifyAll has taken the entry off already. Timed out: a
  // notifyAll that came between the timeout and the mutex may have posted
  // once; the count goes with the semaphore.
}

void ThreadCondition::notifyAll() noexcept {
  while (!_waiters.empty()) {
    ThreadSemaphore* semaphore = _waiters.front();
    _waiters.pop_front();
    // The waiter cannot free its semaphore before this post or before it
    // retakes the mutex that we hold.
    semaphore->post();
  }
}

bool ThreadCondition::takeOffList(ThreadSemaphore* semaphore) noexcept {
  try {
    if (_mutex->wait(kThreadWaitInfinite) != kThreadWaitSignalled) return false;
  } catch (...) {
    return false;
  }
  _waiters.remove(semaphore);
  _mutex->release();
  return true;
}

}  // namespace QUAX
