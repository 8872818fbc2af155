// SPDX-License-Identifier: MIT
// A scan surface: the frames of one sweep of the sensor.
#ifndef QUAX_SCAN_MODEL_SCANSURFACE_H_
#define QUAX_SCAN_MODEL_SCANSURFACE_H_

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

#include "scan/model/ScanContainer.h"
#include "scan/model/ScanFrame.h"
#include "scan/sync/ScanSync.h"

namespace QUAX {

// A surface owns its frames, in acquisition order, and its sync object.
//
// Filling: one acquisition thread appends frames with appendFrame() (under
// the surface's write guard, then a change notification) and finally calls
// setComplete(). Any number of other threads may meanwhile read the frame
// count and fetch frames; getFrame() waits for a frame that has not arrived.
// Completion is one-way: a complete surface never gets more frames.
//
// The points of the frames' lines carry no lock: while a thread changes them
// (filtering, stitching) no other thread may use those lines.
template <class T>
class QUAX_SCAN_API _ScanSurface : public _ScanContainer<T> {
 public:
  using PointCallback = typename _ScanContainer<T>::PointCallback;

  _ScanSurface();
  // Not copyable: a surface owns its frames and its sync object, which
  // readers and the filler share by address.
  _ScanSurface(const _ScanSurface&) = delete;
  _ScanSurface& operator=(const _ScanSurface&) = delete;
  ~_ScanSurface() override;

  // The number of frames now, read under the read guard. A surface being
  // filled may grow between two calls.
  std::size_t getFrameCount() const;
  // Frame `index`. On a surface still being filled, waits until the frame
  // has arrived, polling on every change notification and at least every
  // 250 ms; if the surface is completed without it, the complete-surface rule
  // applies. On a complete surface, an index past the end throws
  // EScanSurfaceRangeException.
  _ScanFrame<T>* getFrame(std::size_t index) const;
  // Frame `index`, waiting at most `timeout` for it: as getFrame(index), but
  // on a surface still being filled a frame that has not arrived when the
  // time is up throws EScanSurfaceWaitTimeout (code 17499). It waits in
  // steps of at most 250 ms and never past the time given, give or take the
  // time to take the surface's locks; unlike getFrame(index), it does not
  // miss a notification that comes between its look at the frames and its
  // wait, so it returns as soon as the frame is appended. A timeout of 0 (or
  // less) looks once and does not wait. On a complete surface it never
  // waits and answers as getFrame(index) does.
  _ScanFrame<T>* getFrame(std::size_t index,
                          std::chrono::milliseconds timeout) const;

  const ScanSurfaceSyncInterface* getSyncObject() const noexcept {
    return _sync;
  }
  // 1 once the surface is complete; 0 while it is being filled.
  std::int32_t getCompletionState() const noexcept {
    return _completionState.load();
  }
  bool isComplete() const noexcept { return getCompletionState() == 1; }

  // Filler side. Appends a frame (the surface takes it) and wakes waiting
  // readers. Safe while other threads read. A null frame is ignored, as a
  // set ignores a null surface, so every slot holds a frame.
  void appendFrame(std::unique_ptr<_ScanFrame<T>> frame);
  // Marks the surface complete and wakes waiting readers.
  void setComplete();

  // Visits the points of every frame's line, in frame order then line order;
  // frames without a line are passed over.
  std::uint32_t forEachPoint(const PointCallback& callback,
                             _ScanVisit<T>& visit) override;

 private:
  // Slot `index` under the read guard; null when there is none yet.
  _ScanFrame<T>* slot(std::size_t index) const;
  // Frame `index` of a complete surface, or EScanSurfaceRangeException.
  _ScanFrame<T>* completeFrame(std::size_t index) const;

  std::vector<_ScanFrame<T>*> _frames;
  std::atomic<std::int32_t> _completionState{0};
  ScanSurfaceSyncInterface* _sync;
};

QUAX_SCAN_EXTERN_TEMPLATE(class _ScanSurface<double>)

using ScanSurface = _ScanSurface<double>;

}  // namespace QUAX

#endif  // QUAX_SCAN_MODEL_SCANSURFACE_H_
