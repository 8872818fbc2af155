// SPDX-License-Identifier: MIT
#include "scan/sync/ScanSync.h"

#include <stdexcept>

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
