// SPDX-License-Identifier: MIT
// A source of scan frames: a camera, a sensor or the simulated scanner. The
// acquisition (ScanAcquisition) pulls frames from a source and appends them
// to scan surfaces, so every source fills surfaces the same way.
#ifndef QUAX_ACQUIRE_SCANSOURCE_H_
#define QUAX_ACQUIRE_SCANSOURCE_H_

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "acquire/QUAXAcquireExport.h"
#include "scan/model/ScanFrame.h"

namespace QUAX {

// What one run of a source delivered and what it lost. Every count is of
// profiles (scan lines), except the packet counts of network cameras.
struct QUAX_ACQUIRE_API AcquisitionRecord {
  std::uint64_t received = 0;    // profiles delivered as frames
  std::uint64_t incomplete = 0;  // profiles of buffers that arrived damaged
                                 // (missing packets): counted, not delivered
  std::uint64_t lost = 0;        // profiles that never reached a frame: the
                                 // consumer fell behind, or the device
                                 // skipped them (gaps in its frame ids)
  std::uint64_t timeouts = 0;    // waits in which nothing arrived
  std::uint64_t resentPackets = 0;
  std::uint64_t missingPackets = 0;
  double seconds = 0.0;  // from the start of the run to its last profile
  // Why the run ended before it was asked to end (the device went away, a
  // stream error); empty when it did not.
  std::string failure;

  // Profiles received per second (0 before the second profile).
  double rate() const noexcept {
    return seconds > 0.0 ? static_cast<double>(received) / seconds : 0.0;
  }
};

// The interface every source implements.
//
// Threads: start(), next() and stop() are never called at once (start() on
// the caller's thread, then next() and stop() on the acquisition thread);
// record() may be called from any thread at any time and returns a
// consistent copy.
class QUAX_ACQUIRE_API ScanSource {
 public:
  virtual ~ScanSource();

  // Checks the settings and starts delivering. Settings the source cannot
  // run with are refused here with EAcquireBadSettings, before anything is
  // acquired; a device that cannot be reached throws EAcquireDevice.
  virtual void start() = 0;
  // Appends the frames that have arrived to `frames`, waiting at most
  // `timeout` for the first one. Each frame holds its scan line and has its
  // data state set (complete). Returns false once the source will deliver
  // nothing more: its run is over or its device is gone (record().failure
  // then says why); frames appended in that call are still valid.
  virtual bool next(std::vector<std::unique_ptr<ScanFrame>>& frames,
                    std::chrono::milliseconds timeout) = 0;
  // Stops delivering and gives the device back. Safe to call twice, and
  // after a failed start().
  virtual void stop() = 0;
  // The counts of the current (or last) run.
  virtual AcquisitionRecord record() const = 0;
};

}  // namespace QUAX

#endif  // QUAX_ACQUIRE_SCANSOURCE_H_
