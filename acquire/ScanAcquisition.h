// SPDX-License-Identifier: MIT
// The acquisition thread: pulls frames from a source and appends them to
// scan surfaces while other threads read those surfaces.
#ifndef QUAX_ACQUIRE_SCANACQUISITION_H_
#define QUAX_ACQUIRE_SCANACQUISITION_H_

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "acquire/QUAXAcquireExport.h"
#include "acquire/ScanSource.h"
#include "scan/model/ScanSet.h"
#include "scan/model/ScanSurface.h"

namespace QUAX {

struct QUAX_ACQUIRE_API AcquisitionSettings {
  std::uint64_t profiles = 0;  // end after this many profiles (0: no limit)
  double seconds = 0.0;        // end after this long (0: no limit)
  // Frames per surface: a new surface starts when one is full (0: the whole
  // run goes to one surface).
  std::size_t framesPerSurface = 0;
  // How long one wait for the source lasts before the thread looks whether
  // it was asked to stop.
  std::chrono::milliseconds poll{100};
};

// Runs one acquisition on a thread of its own.
//
// Filling follows the surfaces' rules: each frame is appended under the
// surface's write guard and then announced with a change notification
// (ScanSurface::appendFrame); a surface is set complete when it is full and
// when the run ends for any reason, so readers waiting in getFrame() wake
// and find the end. What was acquired up to a failure is kept.
//
// Threads: every method may be called from any thread. Surfaces are made
// before their first frame and live as long as this object (or until
// takeSet()); a reader may hold a surface's pointer meanwhile.
class QUAX_ACQUIRE_API ScanAcquisition {
 public:
  // Starts `source` on the calling thread (so that settings it refuses throw
  // here, before any thread runs) and then the acquisition thread. The
  // source must outlive this object.
  ScanAcquisition(ScanSource& source, const AcquisitionSettings& settings);
  ScanAcquisition(const ScanAcquisition&) = delete;
  ScanAcquisition& operator=(const ScanAcquisition&) = delete;
  // Stops the run and waits for the thread.
  ~ScanAcquisition();

  // Asks the run to end after the frames at hand; returns at once.
  void stop() noexcept;
  // Waits at most `timeout` for the run to end; true when it has.
  bool wait(std::chrono::milliseconds timeout);
  // Waits for the run to end and stops the source.
  AcquisitionRecord wait();
  bool finished() const noexcept { return _finished.load(); }

  // Counts so far: the source's, with `received` and `seconds` as appended
  // to the surfaces. After the run, the final record.
  AcquisitionRecord record() const;

  std::size_t surfaceCount() const;
  // Surface `index` once it exists. Waits at most `timeout` for it; null
  // when it does not come (the run ended before, or the time is up).
  ScanSurface* surface(std::size_t index,
                       std::chrono::milliseconds timeout =
                           std::chrono::milliseconds(0)) const;

  // After the run: its surfaces as a set, handed to the caller (an empty set
  // for an acquisition that got nothing). Waits for the run to end.
  std::unique_ptr<ScanSet> takeSet();

 private:
  void run() noexcept;
  ScanSurface* newSurface();
  void finish(const std::string& failure) noexcept;

  ScanSource& _source;
  AcquisitionSettings _settings;
  std::atomic<bool> _stopRequested{false};
  std::atomic<bool> _finished{false};
  std::atomic<std::uint64_t> _appended{0};
  std::atomic<std::int64_t> _lastAppendNs{0};
  std::chrono::steady_clock::time_point _start;

  mutable std::mutex _mutex;  // guards what follows
  mutable std::condition_variable _changed;
  std::vector<std::unique_ptr<ScanSurface>> _surfaces;
  std::string _failure;
  bool _setTaken = false;

  std::thread _thread;  // last: starts once the members above exist
};

}  // namespace QUAX

#endif  // QUAX_ACQUIRE_SCANACQUISITION_H_
