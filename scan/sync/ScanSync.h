// SPDX-License-Identifier: MIT
// Synchronisation of surfaces and frames that an acquisition thread fills
// while other threads read them.
//
// A surface's sync object is a writer-preferring reader/writer lock over the
// surface's frame array plus a change signal that readers poll on. A frame's
// sync object guards the frame's data state and lets readers wait until the
// frame's data are complete.
#ifndef QUAX_SCAN_SYNC_SCANSYNC_H_
#define QUAX_SCAN_SYNC_SCANSYNC_H_

#include <cstdint>

#include "scan/QUAXScanExport.h"

namespace QUAX {

template <class T>
class _ScanSurface;
template <class T>
class _ScanFrame;

class QUAX_SCAN_API ScanSurfaceSyncInterface {
 public:
  virtual ~ScanSurfaceSyncInterface();
  // Takes a read share of the surface lock. Many readers may hold one; a
  // new reader waits while a writer holds or waits for the lock.
  virtual void lockRead() const = 0;
  // Takes the surface lock alone.
  virtual void lockWrite() const = 0;
  // Gives up what the caller holds.
  virtual void unlock() const = 0;
  // Returns after the next notifyChange() or after 250 ms.
  virtual void waitForChange() const = 0;
  // Wakes every thread waiting in waitForChange().
  virtual void notifyChange() const = 0;
};

class QUAX_SCAN_API ScanFrameSyncInterface {
 public:
  virtual ~ScanFrameSyncInterface();
  // Blocks until the frame's data state is not 0.
  virtual void waitForData() = 0;
  // Stores the frame's data state and wakes the threads in waitForData().
  virtual void setDataState(unsigned int state) = 0;
  // The frame's data state, read without a lock.
  virtual std::uint32_t getDataState() = 0;
};

// A new sync object for `surface`, owned by the caller.
template <class T>
ScanSurfaceSyncInterface* ScanSurfaceSyncCreator(
    const _ScanSurface<T>* surface);
// A new sync object guarding `frame`'s data state, owned by the caller.
template <class T>
ScanFrameSyncInterface* ScanFrameSyncCreator(_ScanFrame<T>* frame);

extern template QUAX_SCAN_API ScanSurfaceSyncInterface*
ScanSurfaceSyncCreator<double>(const _ScanSurface<double>*);
extern template QUAX_SCAN_API ScanFrameSyncInterface*
ScanFrameSyncCreator<double>(_ScanFrame<double>*);

// Scoped guards on a surface's sync object: the lock is taken in the
// constructor and given up in the destructor. A guard whose constructor
// throws has taken nothing and gives up nothing. A thread must not take a
// second guard on a surface while it holds one.
//
// Guards are neither copied nor moved, nor assigned: each guard gives up
// exactly the one lock its constructor took, on the sync object it took it
// on. (An assignment that only copied the pointer would unlock one object
// twice and the other never.)
class QUAX_SCAN_API ScanSurfaceSyncGuard {
 public:
  // Calls unlock() on the stored interface.
  ~ScanSurfaceSyncGuard();
  ScanSurfaceSyncGuard(const ScanSurfaceSyncGuard&) = delete;
  ScanSurfaceSyncGuard& operator=(const ScanSurfaceSyncGuard&) = delete;
  ScanSurfaceSyncGuard(ScanSurfaceSyncGuard&&) = delete;
  ScanSurfaceSyncGuard& operator=(ScanSurfaceSyncGuard&&) = delete;

 protected:
  // Stores `sync` and takes it for writing or for reading. The lock is taken
  // here, in the base, so that a throwing lock leaves no guard behind to
  // unlock. Throws std::invalid_argument for a null `sync`.
  ScanSurfaceSyncGuard(const ScanSurfaceSyncInterface* sync, bool write);

  const ScanSurfaceSyncInterface* _sync;
};

class QUAX_SCAN_API ScanSurfaceReadSyncGuard : public ScanSurfaceSyncGuard {
 public:
  explicit ScanSurfaceReadSyncGuard(const ScanSurfaceSyncInterface* sync);
};

class QUAX_SCAN_API ScanSurfaceWriteSyncGuard : public ScanSurfaceSyncGuard {
 public:
  explicit ScanSurfaceWriteSyncGuard(const ScanSurfaceSyncInterface* sync);
};

}  // namespace QUAX

#endif  // QUAX_SCAN_SYNC_SCANSYNC_H_
