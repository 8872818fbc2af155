// SPDX-License-Identifier: MIT
// A simulated laser line scanner sweeping a known part: a turbine-blade-like
// sheet, cambered across and twisted along the sweep, with a step and a
// hole. It gives the built-in data of quaxscan and of the examples, and is a
// ScanSource like a camera.
#ifndef QUAX_ACQUIRE_SIMULATEDSCANNER_H_
#define QUAX_ACQUIRE_SIMULATEDSCANNER_H_

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <random>

#include "acquire/QUAXAcquireExport.h"
#include "acquire/ScanSource.h"
#include "geomath/MathVector.h"
#include "scan/model/ScanLine.h"
#include "scan/model/ScanSet.h"
#include "scan/model/ScanSurface.h"

namespace QUAX {

struct QUAX_ACQUIRE_API ScannerSettings {
  std::size_t pointsPerLine = 400;
  double lineWidth = 80.0;    // x extent of one profile, centred on x = 0
  double frameSpacing = 0.5;  // y advance per frame
  double noise = 0.02;        // standard deviation of the z noise
  // Chance per line of losing a run of 5 to 40 points (a specular flash).
  double dropoutRate = 0.0;
  bool graysum = false;  // give every point a gray sum item
  bool pixels = false;   // give every point its low and high pixel
  std::uint32_t seed = 1;
  // As a source: profiles delivered per second, each at its due time as a
  // camera's would be (0: as fast as they are asked for).
  double lineRate = 0.0;
};

// Several sweeps of the scanner along y that overlap; each later sweep is
// registered off by a known error, as when the part was moved between them.
struct QUAX_ACQUIRE_API SimulationSettings {
  ScannerSettings scanner;
  std::size_t surfaces = 2;
  std::size_t framesPerSurface = 120;
  double overlap = 0.3;  // share of a sweep that the next one scans again
  // Sweep k is registered off by k times this.
  _MathVector<double> misregistration{0.15, -0.10, 0.40};
  // Sweep k is also turned by k times these angles (degrees), about z and
  // then about x, around the middle of the scanned sheet.
  double rotationZ = 0.0, rotationX = 0.0;
};

// As a source, a run delivers profile(0), profile(1), ... without end (the
// acquisition's settings end it), at the settings' line rate.
class QUAX_ACQUIRE_API SimulatedScanner : public ScanSource {
 public:
  explicit SimulatedScanner(const ScannerSettings& settings);

  // The part: its height at (x, y) without noise, and whether (x, y) lies in
  // its hole (where the laser finds nothing).
  static double partHeight(double x, double y);
  static bool inHole(double x, double y);
  // Where the step rises, across x.
  static constexpr double kStepX = 12.0;
  static constexpr double kStepHeight = 2.0;

  // One profile across the part at sweep position y, with noise, the hole's
  // gap and dropouts; every point registered off by `error`.
  std::unique_ptr<ScanLine> profileAt(
      double y, const _MathVector<double>& error = {});
  // The profile of frame `index` of a sweep starting at y = 0.
  std::unique_ptr<ScanLine> profile(std::size_t index) {
    return profileAt(double(index) * _settings.frameSpacing);
  }
  // A complete surface of `frames` profiles from y = yStart on.
  std::unique_ptr<ScanSurface> sweep(
      std::size_t frames, double yStart = 0.0,
      const _MathVector<double>& error = {});

  const ScannerSettings& settings() const { return _settings; }

  // ScanSource. start() begins a new run at profile 0.
  void start() override;
  bool next(std::vector<std::unique_ptr<ScanFrame>>& frames,
            std::chrono::milliseconds timeout) override;
  void stop() override;
  AcquisitionRecord record() const override;

 private:
  ScannerSettings _settings;
  std::mt19937 _random;
  std::normal_distribution<double> _unit{0.0, 1.0};
  // The gray sums draw from a generator of their own (a cheap one: their
  // spread matters, not its tails), so that asking for them leaves the
  // points where they are.
  std::uint64_t _grayState;
  // The current run.
  std::atomic<std::uint64_t> _delivered{0};
  std::atomic<std::int64_t> _lastNs{0};
  std::chrono::steady_clock::time_point _runStart;
};

// The sweeps of `settings`, surface k starting where sweep k - 1 leaves
// `overlap` of its length, registered off by k times the misregistration
// and turned by k times the rotation.
QUAX_ACQUIRE_API std::unique_ptr<ScanSet> simulateScanSet(
    const SimulationSettings& settings);

// The frames of simulateScanSet(settings) one at a time, in scan order
// (surface by surface, frame by frame), each handed to `take` with its
// surface and frame index: a writer can store them without the whole set
// in memory. The frames are those simulateScanSet builds.
QUAX_ACQUIRE_API void simulateScanFrames(
    const SimulationSettings& settings,
    const std::function<void(std::size_t surface, std::size_t frame,
                             std::unique_ptr<ScanFrame> data)>& take);

}  // namespace QUAX

#endif  // QUAX_ACQUIRE_SIMULATEDSCANNER_H_
