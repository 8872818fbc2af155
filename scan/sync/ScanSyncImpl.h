// SPDX-License-Identifier: MIT
// Implementations of the surface and frame sync objects. Internal: callers
// see only the interfaces of ScanSync.h.
#ifndef QUAX_SCAN_SYNC_SCANSYNCIMPL_H_
#define QUAX_SCAN_SYNC_SCANSYNCIMPL_H_

#include <atomic>
#include <cstdint>

#include "scan/sync/ScanSync.h"
#include "thread/ReadWriteLock.h"
#include "thread/ThreadCondition.h"
#include "thread/ThreadMutex.h"

namespace QUAX {

// How long waitForChange() sleeps without a notification.
constexpr std::uint32_t kScanSurfaceChangePollMs = 250;

// A writer-preferring lock over a surface's frame array and a change signal.
// The lock and the signal are independent: a reader waits for a change
// without holding the lock.
template <class T>
class ScanSurfaceSyncImpl : public ScanSurfaceSyncInterface {
 public:
  // The surface is not owned and not used by the operations; it may be null.
  explicit ScanSurfaceSyncImpl(const _ScanSurface<T>* surface) noexcept
      : _surface(surface), _changeCondition(&_changeMutex) {}
  // Destroys the lock, closes the change mutex, forgets the waiters.
  ~ScanSurfaceSyncImpl() override = default;

  const _ScanSurface<T>* getSurface() const noexcept { return _surface; }

  void lockRead() const override { _surfaceLock.acquireRead(); }
  void lockWrite() const override { _surfaceLock.acquireWrite(); }
  void unlock() const override { _surfaceLock.release(); }

  // Returns after the next notifyChange() or after the poll interval.
  void waitForChange() const override {
    _changeMutex.wait(kThreadWaitInfinite);
    waitHoldingTheMutex(kScanSurfaceChangePollMs);
  }

  // The number of notifications so far. A reader that reads it before it
  // looks at the frames, and then waits with waitForChangeSince, cannot
  // miss a notification that comes between its look and its wait.
  std::uint64_t changeCount() const noexcept {
    return _changes.load(std::memory_order_acquire);
  }

  // Returns after the next notifyChange() or after `timeoutMs`, or at once
  // when a notification came since changeCount() gave `seen` (the count is
  // raised under the change mutex, and compared under it here).
  void waitForChangeSince(std::uint64_t seen, std::uint32_t timeoutMs) const {
    _changeMutex.wait(kThreadWaitInfinite);
    if (_changes.load(std::memory_order_relaxed) != seen) {
      _changeMutex.release();
      return;
    }
    waitHoldingTheMutex(timeoutMs);
  }

  void notifyChange() const override {
    _changeMutex.wait(kThreadWaitInfinite);
    _changes.fetch_add(1, std::memory_order_release);
    _changeCondition.notifyAll();
    _changeMutex.release();
  }

 private:
  // Waits on the change condition, which gives the change mutex up; returns
  // without holding it, woken or timed out.
  void waitHoldingTheMutex(std::uint32_t timeoutMs) const {
    try {
      _changeCondition.wait(timeoutMs);
    } catch (...) {
      // Held only when the condition failed before it gave the mutex up; a
      // release by a thread that does not own it changes nothing.
      _changeMutex.release();
      throw;
    }
  }

  const _ScanSurface<T>* _surface;
  mutable std::atomic<std::uint64_t> _changes{0};
  // The interface's operations are const: a surface hands out a const sync
  // object, and locking does not change what the surface holds.
  mutable ThreadCondition _changeCondition;
  mutable ThreadMutex _changeMutex;
  mutable ReadWriteLock _surfaceLock;
};

// The frame's data state is read without the state mutex (getDataState), so
// every access is atomic. The frame keeps it as a plain std::uint32_t (or a
// std::atomic<std::uint32_t>) that only its sync object touches.
inline std::uint32_t loadScanFrameDataState(
    const std::atomic<std::uint32_t>& state) noexcept {
  return state.load(std::memory_order_acquire);
}
inline void storeScanFrameDataState(std::atomic<std::uint32_t>& state,
                                    std::uint32_t value) noexcept {
  state.store(value, std::memory_order_release);
}
#if defined(__GNUC__) || defined(__clang__)
inline std::uint32_t loadScanFrameDataState(
    const std::uint32_t& state) noexcept {
  return __atomic_load_n(&state, __ATOMIC_ACQUIRE);
}
inline void storeScanFrameDataState(std::uint32_t& state,
                                    std::uint32_t value) noexcept {
  __atomic_store_n(&state, value, __ATOMIC_RELEASE);
}
#else
// MSVC: volatile accesses of aligned 32-bit values are atomic and, under the
// default /volatile:ms, have acquire and release semantics.
inline std::uint32_t loadScanFrameDataState(
    const std::uint32_t& state) noexcept {
  return *static_cast<const volatile std::uint32_t*>(&state);
}
inline void storeScanFrameDataState(std::uint32_t& state,
                                    std::uint32_t value) noexcept {
  *static_cast<volatile std::uint32_t*>(&state) = value;
}
#endif

// Guards a frame's data state and lets readers wait until it is not 0.
// `Frame` provides `dataStateStorage() noexcept`, returning a reference to
// the state; it is _ScanFrame<T> in the library, which keeps that member
// private and befriends this class.
template <class T, class Frame = _ScanFrame<T>>
class _ScanFrameSyncImpl : public ScanFrameSyncInterface {
 public:
  // REQUIRES: `frame` is not null and outlives the sync object.
  explicit _ScanFrameSyncImpl(Frame* frame) noexcept
      : _frame(frame), _stateCondition(&_stateMutex) {}
  // Forgets the waiters, then closes the state mutex.
  ~_ScanFrameSyncImpl() override = default;

  void waitForData() override {
    _stateMutex.wait(kThreadWaitInfinite);
    try {
      while (loadScanFrameDataState(_frame->dataStateStorage()) == 0) {
        _stateCondition.wait(kThreadWaitInfinite);
        _stateMutex.wait(kThreadWaitInfinite);
      }
    } catch (...) {
      _stateMutex.release();  // changes nothing when not held
      throw;
    }
    _stateMutex.release();
  }

  void setDataState(unsigned int state) override {
    _stateMutex.wait(kThreadWaitInfinite);
    storeScanFrameDataState(_frame->dataStateStorage(),
                            static_cast<std::uint32_t>(state));
    _stateCondition.notifyAll();
    _stateMutex.release();
  }

  std::uint32_t getDataState() override {
    return loadScanFrameDataState(_frame->dataStateStorage());
  }

 private:
  Frame* _frame;
  ThreadMutex _stateMutex;
  ThreadCondition _stateCondition;
};

}  // namespace QUAX

#endif  // QUAX_SCAN_SYNC_SCANSYNCIMPL_H_
