// SPDX-License-Identifier: MIT
#include "scan/model/ScanSurface.h"

#include <algorithm>

#include "scan/ScanErrors.h"
#include "scan/sync/ScanSyncImpl.h"

namespace QUAX {

template <class T>
_ScanSurface<T>::_ScanSurface() : _sync(ScanSurfaceSyncCreator<T>(this)) {}

template <class T>
_ScanSurface<T>::~_ScanSurface() {
  for (_ScanFrame<T>* frame : _frames) delete frame;
  delete _sync;
}

template <class T>
std::size_t _ScanSurface<T>::getFrameCount() const {
  ScanSurfaceReadSyncGuard guard(_sync);
  return _frames.size();
}

template <class T>
_ScanFrame<T>* _ScanSurface<T>::slot(std::size_t index) const {
  ScanSurfaceReadSyncGuard guard(_sync);
  return index < _frames.size() ? _frames[index] : nullptr;
}

// A reader waiting for a frame that the filler never delivers would wait
// for ever: once the surface is complete it can no longer grow, so the wait
// ends there and the complete-surface rule answers (the frame, or
// EScanSurfaceRangeException). For frames that do arrive nothing changes.
template <class T>
_ScanFrame<T>* _ScanSurface<T>::getFrame(std::size_t index) const {
  while (!isComplete()) {
    if (_ScanFrame<T>* frame = slot(index)) return frame;
    // No guard is held while waiting: the filler needs the write guard.
    _sync->waitForChange();
  }
  return completeFrame(index);
}

template <class T>
_ScanFrame<T>* _ScanSurface<T>::getFrame(
    std::size_t index, std::chrono::milliseconds timeout) const {
  using Clock = std::chrono::steady_clock;
  // A century stands for "no limit" and keeps the deadline representable.
  constexpr std::chrono::milliseconds kLongest = std::chrono::hours(24 * 36525);
  const auto limit =
      std::clamp(timeout, std::chrono::milliseconds(0), kLongest);
  const Clock::time_point deadline = Clock::now() + limit;
  // The surface makes its own sync object with ScanSurfaceSyncCreator, so it
  // is the library's implementation, which can wait for a given time.
  const auto* sync = static_cast<const ScanSurfaceSyncImpl<T>*>(_sync);
  // The notification count is read before each look, so that a frame
  // appended (or the surface completed) between the look and the wait ends
  // the wait at once instead of after the poll interval.
  for (;;) {
    const std::uint64_t seen = sync->changeCount();
    if (isComplete()) break;
    if (_ScanFrame<T>* frame = slot(index)) return frame;
    const Clock::duration left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) throw EScanSurfaceWaitTimeout();
    const auto step = std::min<std::chrono::milliseconds>(
        std::chrono::ceil<std::chrono::milliseconds>(left),
        std::chrono::milliseconds(kScanSurfaceChangePollMs));
    sync->waitForChangeSince(seen, static_cast<std::uint32_t>(step.count()));
  }
  return completeFrame(index);
}

// Complete surfaces never grow, so the range test and the read can share
// one read guard instead of taking it twice; the result is the same.
template <class T>
_ScanFrame<T>* _ScanSurface<T>::completeFrame(std::size_t index) const {
  ScanSurfaceReadSyncGuard guard(_sync);
  if (index >= _frames.size()) throw EScanSurfaceRangeException();
  return _frames[index];
}

template <class T>
void _ScanSurface<T>::appendFrame(std::unique_ptr<_ScanFrame<T>> frame) {
  // A null slot would be handed to readers, which go on to its scan line.
  if (!frame) return;
  {
    ScanSurfaceWriteSyncGuard guard(_sync);
    _frames.push_back(frame.get());
    frame.release();
  }
  _sync->notifyChange();
}

template <class T>
void _ScanSurface<T>::setComplete() {
  {
    ScanSurfaceWriteSyncGuard guard(_sync);
    _completionState.store(1);
  }
  _sync->notifyChange();
}

template <class T>
std::uint32_t _ScanSurface<T>::forEachPoint(const PointCallback& callback,
                                            _ScanVisit<T>& visit) {
  std::uint32_t visited = 0;
  for (std::size_t i = 0; i < getFrameCount(); ++i) {
    _ScanFrame<T>* frame = slot(i);
    if (frame != nullptr && frame->hasScanLine()) {
      visited += frame->getScanLine()->forEachPoint(callback, visit);
    }
  }
  visit.currentPoint = nullptr;
  return visited;
}

template class _ScanSurface<double>;

}  // namespace QUAX
