// SPDX-License-Identifier: MIT
// POSIX port: a recursive, robust pthread mutex and an unnamed sem_t. Timed
// waits take an absolute CLOCK_REALTIME deadline, computed once per wait so
// that a wait interrupted by a signal resumes with the time it has left.
//
// The mutex is robust so that one whose owner thread ended without releasing
// it is reported as a failed wait, as a Windows mutex reports WAIT_ABANDONED,
// instead of timing out (or blocking for ever) in every later wait.
#include <errno.h>
#include <pthread.h>
#include <semaphore.h>
#include <time.h>

#include <atomic>
#include <new>
#include <thread>

#include "thread/ThreadPort.h"

namespace QUAX {
namespace port {

struct MutexObject {
  pthread_mutex_t mutex;
  // The owner and its depth, so that a release by a thread that does not
  // own the mutex fails without touching it, as on Windows. Written only by
  // the owner; read by others only to learn that they are not the owner.
  std::atomic<std::thread::id> owner{};
  std::uint32_t depth = 0;
};

struct SemaphoreObject {
  sem_t semaphore;
};

namespace {

timespec deadlineAfter(std::uint32_t timeoutMs) noexcept {
  timespec deadline{};
  clock_gettime(CLOCK_REALTIME, &deadline);
  deadline.tv_sec += static_cast<time_t>(timeoutMs / 1000u);
  deadline.tv_nsec += static_cast<long>(timeoutMs % 1000u) * 1000000L;
  if (deadline.tv_nsec >= 1000000000L) {
    deadline.tv_sec += 1;
    deadline.tv_nsec -= 1000000000L;
  }
  return deadline;
}

}  // namespace

MutexHandle createMutex() noexcept {
  if (detail::failByHook(PortCall::kCreateMutex)) return nullptr;
  auto* object = new (std::nothrow) MutexObject;
  if (object == nullptr) return nullptr;
  pthread_mutexattr_t attributes;
  if (pthread_mutexattr_init(&attributes) != 0) {
    delete object;
    return nullptr;
  }
  int rc = pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
  if (rc == 0)
    rc = pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST);
  if (rc == 0) rc = pthread_mutex_init(&object->mutex, &attributes);
  pthread_mutexattr_destroy(&attributes);
  if (rc != 0) {
    delete object;
    return nullptr;
  }
  return object;
}

WaitResult waitMutex(MutexHandle mutex, std::uint32_t timeoutMs) noexcept {
  if (detail::failByHook(PortCall::kWaitMutex)) return WaitResult::kFailed;
  int rc;
  if (timeoutMs == kInfinite) {
    do {
      rc = pthread_mutex_lock(&mutex->mutex);
    } while (rc == EINTR);
  } else {
    const timespec deadline = deadlineAfter(timeoutMs);
    do {
      rc = pthread_mutex_timedlock(&mutex->mutex, &deadline);
    } while (rc == EINTR);
  }
  if (rc == ETIMEDOUT) return WaitResult::kTimedOut;
  if (rc == EOWNERDEAD) {
    // The owner thread ended holding the mutex; we own it now, once. What it
    // guarded may be half changed, so the wait fails. As the Windows port
    // does with an abandoned mutex, the mutex is made usable again and
    // given back: the failed wait leaves it unowned, like every failed wait,
    // and the next wait takes it normally. (ThreadSanitizer knows this
    // path after pthread_mutex_lock only; after a timed lock it takes the
    // unlock below for one of a mutex we do not hold.)
    if (pthread_mutex_consistent(&mutex->mutex) == 0) {
      mutex->owner.store(std::thread::id(), std::memory_order_relaxed);
      mutex->depth = 0;
      pthread_mutex_unlock(&mutex->mutex);
    }
    return WaitResult::kFailed;
  }
  if (rc != 0) return WaitResult::kFailed;  // ENOTRECOVERABLE among others
  const std::thread::id self = std::this_thread::get_id();
  if (mutex->owner.load(std::memory_order_relaxed) == self) {
    ++mutex->depth;
  } else {
    mutex->owner.store(self, std::memory_order_relaxed);
    mutex->depth = 1;
  }
  return WaitResult::kSignalled;
}

bool releaseMutex(MutexHandle mutex) noexcept {
  if (detail::failByHook(PortCall::kReleaseMutex)) return false;
  if (mutex->owner.load(std::memory_order_relaxed) !=
      std::this_thread::get_id()) {
    return false;
  }
  if (--mutex->depth == 0) {
    mutex->owner.store(std::thread::id(), std::memory_order_relaxed);
  }
  return pthread_mutex_unlock(&mutex->mutex) == 0;
}

void closeMutex(MutexHandle mutex) noexcept {
  pthread_mutex_destroy(&mutex->mutex);
  delete mutex;
}

SemaphoreHandle createSemaphore() noexcept {
  if (detail::failByHook(PortCall::kCreateSemaphore)) return nullptr;
  auto* object = new (std::nothrow) SemaphoreObject;
  if (object == nullptr) return nullptr;
  // SEM_VALUE_MAX is 0x7FFFFFFF on the platforms we build for; sem_post
  // fails beyond it as ReleaseSemaphore does beyond the maximum count.
  if (sem_init(&object->semaphore, 0, 0) != 0) {
    delete object;
    return nullptr;
  }
  return object;
}

WaitResult waitSemaphore(SemaphoreHandle semaphore,
                         std::uint32_t timeoutMs) noexcept {
  if (detail::failByHook(PortCall::kWaitSemaphore)) return WaitResult::kFailed;
  int rc;
  if (timeoutMs == kInfinite) {
    do {
      rc = sem_wait(&semaphore->semaphore);
    } while (rc != 0 && errno == EINTR);
  } else {
    const timespec deadline = deadlineAfter(timeoutMs);
    do {
      rc = sem_timedwait(&semaphore->semaphore, &deadline);
    } while (rc != 0 && errno == EINTR);
  }
  if (rc == 0) return WaitResult::kSignalled;
  return errno == ETIMEDOUT ? WaitResult::kTimedOut : WaitResult::kFailed;
}

bool postSemaphore(SemaphoreHandle semaphore) noexcept {
  if (detail::failByHook(PortCall::kPostSemaphore)) return false;
  return sem_post(&semaphore->semaphore) == 0;
}

void closeSemaphore(SemaphoreHandle semaphore) noexcept {
  sem_destroy(&semaphore->semaphore);
  delete semaphore;
}

}  // namespace port
}  // namespace QUAX
