// SPDX-License-Identifier: MIT
#include "apps/quaxscan/AcquireCommand.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <vector>

#include "acquire/AcquireErrors.h"
#include "acquire/LiveFilters.h"
#include "acquire/ScanAcquisition.h"
#include "acquire/genicam/CameraSettingsText.h"
#include "acquire/genicam/GenICamSource.h"
#include "apps/quaxscan/FilterSettings.h"
#include "apps/quaxscan/Interrupts.h"
#include "apps/quaxscan/ProgressReport.h"
#include "apps/quaxscan/ScanSetIO.h"
#include "scan/ScanErrors.h"
#include "util/WideText.h"

namespace quaxscan {

namespace {

using std::chrono::milliseconds;

std::string describe(const QUAX::AcquisitionRecord& r) {
  char text[200];
  std::snprintf(text, sizeof text,
                "%llu profiles, %.0f/s, lost %llu, incomplete %llu",
                static_cast<unsigned long long>(r.received), r.rate(),
                static_cast<unsigned long long>(r.lost),
                static_cast<unsigned long long>(r.incomplete));
  return text;
}

}  // namespace

void runCameras() {
  const auto list = QUAX::cameras();
  if (list.empty()) {
    std::cout << "no camera found\n";
    return;
  }
  for (const QUAX::CameraInfo& c : list) {
    std::cout << c.id << "  (" << c.vendor << " " << c.model << ", serial "
              << c.serial << ", " << c.protocol << " at " << c.address
              << ")\n";
  }
}

namespace {

// The camera's settings from the options' files and names; what cannot be
// read is refused here, before the camera starts.
QUAX::GenICamSettings cameraSettings(const AcquireOptions& options) {
  QUAX::GenICamSettings settings;
  if (!options.settings.empty())
    QUAX::readCameraSettingsFile(options.settings, settings);
  if (!options.camera.empty()) settings.camera = options.camera;
  if (!QUAX::cameraModeFromName(options.mode, settings.mode))
    throw std::invalid_argument("--mode " + options.mode +
                                ": auto, image or profile");
  if (!options.calibration.empty()) {
    settings.calibration =
        QUAX::SensorCalibration::readFile(options.calibration);
  }
  return settings;
}

}  // namespace

void runAcquire(const AcquireOptions& options) {
  // Everything that can be refused is refused before the camera starts.
  const ScanFileFormat format = formatForPath(options.output, options.ascii);
  const QUAX::GenICamSettings settings = cameraSettings(options);
  std::vector<std::unique_ptr<QUAX::ScanLineFilter>> filters;
  if (!options.filters.empty()) filters = readFilterSettingsFile(options.filters);

  QUAX::GenICamSource source(settings);
  QUAX::AcquisitionSettings run;
  run.profiles = options.profiles;
  run.seconds = options.seconds;
  run.framesPerSurface = options.framesPerSurface;
  QUAX::ScanAcquisition acquisition(source, run);
  for (const std::string& warning : source.info().warnings)
    std::cerr << "quaxscan: warning: " << warning << "\n";

  // The filters run live on each frame as it arrives, on one thread per
  // core (the acquisition thread sleeps while it waits for the camera).
  std::vector<const QUAX::ScanLineFilter*> chain;
  for (const auto& filter : filters) chain.push_back(filter.get());
  std::unique_ptr<QUAX::LiveFilters> live;
  if (!chain.empty())
    live = std::make_unique<QUAX::LiveFilters>(acquisition, chain, 0);

  const bool terminal = ProgressReport(stderr, "acquire").isTerminal();
  auto progress = [&](bool last) {
    std::string text = "acquire: " + describe(acquisition.record());
    if (live) text += ", filtered " + std::to_string(live->filtered());
    std::cerr << (terminal ? "\r" : "") << text << (terminal && !last ? "" : "\n");
    std::cerr.flush();
  };
  // Ctrl-C (or SIGTERM) ends the run early; what came before is written.
  std::atomic<bool> interrupted{false};
  stopOnInterrupt([&] {
    interrupted = true;
    acquisition.stop();
  });
  struct ClearStop {
    ~ClearStop() { stopOnInterrupt({}); }  // before the run is gone
  } clearStop;
  const milliseconds step(terminal ? 250 : 1000);
  while (!acquisition.wait(step) || (live && !live->wait(step))) progress(false);
  stopOnInterrupt({});
  const QUAX::AcquisitionRecord record = acquisition.record();
  progress(true);
  if (interrupted) std::cerr << "quaxscan: interrupted: the run was stopped\n";
  std::cerr << "quaxscan: " << source.info().cameraId << ", "
            << source.info().pixelFormat << " "
            << source.info().width << " x " << source.info().height
            << ", packet size " << source.info().packetSize << ", resent "
            << record.resentPackets << " packets, missing "
            << record.missingPackets << ", timeouts " << record.timeouts
            << "\n";
  if (live && live->refused() != 0)
    std::cerr << "quaxscan: the filters refused " << live->refused() << " lines\n";
  if (live && !live->failure().empty())
    std::cerr << "quaxscan: warning: filtering stopped after "
              << live->filtered() << " profiles: " << live->failure() << "\n";
  live.reset();

  const auto set = acquisition.takeSet();
  writeScanSetFile(*set, format, options.output);
  std::cout << "wrote " << record.received << " profiles in "
            << set->getSurfaceCount() << " surface(s) to " << options.output
            << "\n";
  if (!record.failure.empty()) {
    throw std::runtime_error(record.failure + " (the " +
                             std::to_string(record.received) +
                             " profiles before were written)");
  }
}

}  // namespace quaxscan
