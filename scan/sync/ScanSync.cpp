// SPDX-License-Identifier: MIT
#include "scan/sync/ScanSync.h"

#include <stdexcept>

#include "scan/model/ScanFrame.h"
#include "scan/sync/ScanSyncImpl.h"

namespace QUAX {

ScanSurfaceSyncInterface::~ScanSurfaceSyncInterface() = default;
ScanFrameSyncInterface::~ScanFrameSyncInterface() = default;

template <class T>
ScanSurfaceSyncInterface* ScanSurfaceSyncCreator(
    const _ScanSurface<T>* surface) {
  return new ScanSurfaceSyncImpl<T>(surface);
}

template class ScanSurfaceSyncImpl<double>;
template ScanSurfaceSyncInterface* ScanSurfaceSyncCreator<double>(
    const _ScanSurface<double>*);

// The frame keeps its data state for its sync object and hands it out with
// `std::uint32_t& _ScanFrame<T>::dataStateStorage() noexcept`, private to
// everybody but _ScanFrameSyncImpl.
template <class T>
ScanFrameSyncInterface* ScanFrameSyncCreator(_ScanFrame<T>* frame) {
  if (frame == nullptr) {
    throw std::invalid_argument("QUAX::ScanFrameSyncCreator: null frame");
  }
  return new _ScanFrameSyncImpl<T>(frame);
}

template class _ScanFrameSyncImpl<double>;
template ScanFrameSyncInterface* ScanFrameSyncCreator<double>(
    _ScanFrame<double>*);

ScanSurfaceSyncGuard::ScanSurfaceSyncGuard(const ScanSurfaceSyncInterface* sync,
                                           bool write)
    : _sync(sync) {
  if (sync == nullptr) {
    throw std::invalid_argument("QUAX::ScanSurfaceSyncGuard: null sync object");
  }
  if (write) {
    sync->lockWrite();
  } else {
    sync->lockRead();
  }
}

ScanSurfaceSyncGuard::~ScanSurfaceSyncGuard() {
  // A destructor cannot report a failed unlock; the failure of the system
  // mutex behind it is not the caller's to handle here.
  try {
    if (_sync != nullptr) _sync->unlock();
  } catch (...) {
  }
}

ScanSurfaceReadSyncGuard::ScanSurfaceReadSyncGuard(
    const ScanSurfaceSyncInterface* sync)
    : ScanSurfaceSyncGuard(sync, false) {}

ScanSurfaceWriteSyncGuard::ScanSurfaceWriteSyncGuard(
    const ScanSurfaceSyncInterface* sync)
    : ScanSurfaceSyncGuard(sync, true) {}

}  // namespace QUAX
