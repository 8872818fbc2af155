// SPDX-License-Identifier: MIT
// Windows port: kernel mutex and semaphore objects. A handle is the kernel
// HANDLE itself, cast to the port's opaque pointer type.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
// windows.h would otherwise define min and max as macros.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "thread/ThreadPort.h"

namespace QUAX {
namespace port {

namespace {

constexpr LONG kMaximumCount = 0x7FFFFFFF;

HANDLE toHandle(void* object) noexcept { return static_cast<HANDLE>(object); }

WaitResult waitFor(HANDLE handle, std::uint32_t timeoutMs) noexcept {
  switch (WaitForSingleObject(handle, timeoutMs)) {
    case WAIT_OBJECT_0:
      return WaitResult::kSignalled;
    case WAIT_TIMEOUT:
      return WaitResult::kTimedOut;
    default:
      return WaitResult::kFailed;
  }
}

}  // namespace

MutexHandle createMutex() noexcept {
  if (detail::failByHook(PortCall::kCreateMutex)) return nullptr;
  return static_cast<MutexHandle>(
      static_cast<void*>(CreateMutexW(nullptr, FALSE, nullptr)));
}

WaitResult waitMutex(MutexHandle mutex, std::uint32_t timeoutMs) noexcept {
  if (detail::failByHook(PortCall::kWaitMutex)) return WaitResult::kFailed;
  HANDLE handle = toHandle(mutex);
  const DWORD rc = WaitForSingleObject(handle, timeoutMs);
  if (rc == WAIT_OBJECT_0) return WaitResult::kSignalled;
  if (rc == WAIT_TIMEOUT) return WaitResult::kTimedOut;
  // An abandoned mutex is owned by the caller now, but what it guarded is in
  // an unknown state: report the failure and do not keep the ownership, so
  // that it is not held for ever by a thread that no longer uses it.
  if (rc == WAIT_ABANDONED) ReleaseMutex(handle);
  return WaitResult::kFailed;
}

bool releaseMutex(MutexHandle mutex) noexcept {
  if (detail::failByHook(PortCall::kReleaseMutex)) return false;
  return ReleaseMutex(toHandle(mutex)) != FALSE;
}

void closeMutex(MutexHandle mutex) noexcept { CloseHandle(toHandle(mutex)); }

SemaphoreHandle createSemaphore() noexcept {
  if (detail::failByHook(PortCall::kCreateSemaphore)) return nullptr;
  return static_cast<SemaphoreHandle>(
      static_cast<void*>(CreateSemaphoreW(nullptr, 0, kMaximumCount, nullptr)));
}

WaitResult waitSemaphore(SemaphoreHandle semaphore,
                         std::uint32_t timeoutMs) noexcept {
  if (detail::failByHook(PortCall::kWaitSemaphore)) return WaitResult::kFailed;
  return waitFor(toHandle(semaphore), timeoutMs);
}

bool postSemaphore(SemaphoreHandle semaphore) noexcept {
  if (detail::failByHook(PortCall::kPostSemaphore)) return false;
  return ReleaseSemaphore(toHandle(semaphore), 1, nullptr) != FALSE;
}

void closeSemaphore(SemaphoreHandle semaphore) noexcept {
  CloseHandle(toHandle(semaphore));
}

}  // namespace port
}  // namespace QUAX
