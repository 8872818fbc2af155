// SPDX-License-Identifier: MIT
// Platform port of the thread primitives: a recursive mutex owned by a
// thread and a counting semaphore, behind opaque handles.
//
// One implementation file per platform (ThreadPort_posix.cpp,
// ThreadPort_win.cpp) is compiled in; nothing above this header sees the
// operating system. Internal to QUAXScan.
#ifndef QUAX_THREAD_THREADPORT_H_
#define QUAX_THREAD_THREADPORT_H_

#include <cstdint>

namespace QUAX {
namespace port {

// Opaque; a handle is never dereferenced outside the port.
struct MutexObject;
struct SemaphoreObject;
using MutexHandle = MutexObject*;
using SemaphoreHandle = SemaphoreObject*;

// Timeouts are relative, in milliseconds; this value waits without limit.
constexpr std::uint32_t kInfinite = 0xFFFFFFFFu;

enum class WaitResult { kSignalled, kTimedOut, kFailed };

// A recursive mutex owned by the thread that takes it, not initially owned.
// Returns null when the system has none to give.
MutexHandle createMutex() noexcept;
// Takes ownership within `timeoutMs`. A failed wait leaves the mutex unowned
// by the caller. A mutex abandoned by its owner (the owner thread ended
// without releasing it) fails the next wait, on every platform; that wait
// makes it usable and free again, so the wait after it takes it normally.
WaitResult waitMutex(MutexHandle mutex, std::uint32_t timeoutMs) noexcept;
// Gives up one level of ownership. Fails, changing nothing, when the caller
// does not own the mutex.
bool releaseMutex(MutexHandle mutex) noexcept;
// REQUIRES: no thread owns or waits for the mutex.
void closeMutex(MutexHandle mutex) noexcept;

// A counting semaphore with count 0 and maximum count 0x7FFFFFFF.
// Returns null when the system has none to give.
SemaphoreHandle createSemaphore() noexcept;
// Takes one count within `timeoutMs`.
WaitResult waitSemaphore(SemaphoreHandle semaphore,
                         std::uint32_t timeoutMs) noexcept;
// Adds one count; fails at the maximum count.
bool postSemaphore(SemaphoreHandle semaphore) noexcept;
// REQUIRES: no thread waits on the semaphore.
void closeSemaphore(SemaphoreHandle semaphore) noexcept;

// ---- test seam -------------------------------------------------------------
// Every port call first asks the installed hook, if any. A hook that returns
// true makes the call fail as the system would fail it (creation returns
// null, a wait returns kFailed, release and post return false), so tests can
// drive the failure paths above the port; a hook that returns false only
// observes the call. The hook runs on the calling thread.
enum class PortCall {
  kCreateMutex,
  kWaitMutex,
  kReleaseMutex,
  kCreateSemaphore,
  kWaitSemaphore,
  kPostSemaphore,
};

struct PortHook {
  bool (*onCall)(void* context, PortCall call);
  void* context;
};

// Installs `hook` (null removes it). The hook object must outlive its
// installation.
void setPortHook(const PortHook* hook) noexcept;

namespace detail {
// True when the installed hook asks `call` to fail.
bool failByHook(PortCall call) noexcept;
}  // namespace detail

}  // namespace port
}  // namespace QUAX

#endif  // QUAX_THREAD_THREADPORT_H_
