// SPDX-License-Identifier: MIT
// The GenICam source in a build without Aravis: it says so.
#include "acquire/genicam/GenICamSource.h"

#include "acquire/AcquireErrors.h"

namespace QUAX {

namespace {

[[noreturn]] void unavailable() {
  throw EAcquireNotAvailable(
      "this build has no camera support: it needs Aravis 0.8 "
      "(Debian: libaravis-dev libusb-1.0-0-dev, scripts/install-deps acquire)");
}

}  // namespace

struct GenICamSource::Impl {
  StreamInfo info;
};

bool genicamAvailable() noexcept { return false; }

std::vector<CameraInfo> cameras() { unavailable(); }

GenICamSource::GenICamSource(GenICamSettings) { unavailable(); }
GenICamSource::~GenICamSource() = default;
void GenICamSource::start() { unavailable(); }
bool GenICamSource::next(std::vector<std::unique_ptr<ScanFrame>>&,
                         std::chrono::milliseconds) {
  unavailable();
}
void GenICamSource::stop() {}
AcquisitionRecord GenICamSource::record() const { return {}; }
const StreamInfo& GenICamSource::info() const noexcept { return _impl->info; }

}  // namespace QUAX
