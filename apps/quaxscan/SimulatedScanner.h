// SPDX-License-Identifier: MIT
// A simulated laser line scanner sweeping a known part: a turbine-blade-like
// sheet, cambered across and twisted along the sweep, with a step and a
// hole. It gives the built-in data of quaxscan and of the examples.
#ifndef QUAX_APPS_QUAXSCAN_SIMULATEDSCANNER_H_
#define QUAX_APPS_QUAXSCAN_SIMULATEDSCANNER_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <random>

#include "geomath/MathVector.h"
#include "scan/model/ScanLine.h"
#include "scan/model/ScanSet.h"
#include "scan/model/ScanSurface.h"

namespace quaxscan {

struct ScannerSettings {
  std::size_t pointsPerLine = 400;
  double lineWidth = 80.0;    // x extent of one profile, centred on x = 0
  double frameSpacing = 0.5;  // y advance per frame
  double noise = 0.02;        // standard deviation of the z noise
  // Chance per line of losing a run of 5 to 40 points (a specular flash).
  double dropoutRate = 0.0;
  bool graysum = false;  // give every point a gray sum item
  bool pixels = false;   // give every point its low and high pixel
  std::uint32_t seed = 1;
};

// Several sweeps of the scanner along y that overlap; each later sweep is
// registered off by a known error, as when the part was moved between them.
struct SimulationSettings {
  ScannerSettings scanner;
  std::size_t surfaces = 2;
  std::size_t framesPerSurface = 120;
  double overlap = 0.3;  // share of a sweep that the next one scans again
  // Sweep k is registered off by k times this.
  QUAX::_MathVector<double> misregistration{0.15, -0.10, 0.40};
  // Sweep k is also turned by k times these angles (degrees), about z and
  // then about x, around the middle of the scanned sheet.
  double rotationZ = 0.0, rotationX = 0.0;
};

class SimulatedScanner {
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
  std::unique_ptr<QUAX::ScanLine> profileAt(
      double y, const QUAX::_MathVector<double>& error = {});
  // The profile of frame `index` of a sweep starting at y = 0.
  std::unique_ptr<QUAX::ScanLine> profile(std::size_t index) {
    return profileAt(double(index) * _settings.frameSpacing);
  }
  // A complete surface of `frames` profiles from y = yStart on.
  std::unique_ptr<QUAX::ScanSurface> sweep(
      std::size_t frames, double yStart = 0.0,
      const QUAX::_MathVector<double>& error = {});

  const ScannerSettings& settings() const { return _settings; }

 private:
  ScannerSettings _settings;
  std::mt19937 _random;
  // The gray sums draw from a generator of their own, so that asking for
  // them leaves the points where they are.
  std::mt19937 _grayRandom;
  std::normal_distribution<double> _unit{0.0, 1.0};
  std::normal_distribution<double> _grayUnit{0.0, 1.0};
};

// The sweeps of `settings`, surface k starting where sweep k - 1 leaves
// `overlap` of its length, registered off by k times the misregistration
// and turned by k times the rotation.
std::unique_ptr<QUAX::ScanSet> simulateScanSet(
    const SimulationSettings& settings);

}  // namespace quaxscan

#endif  // QUAX_APPS_QUAXSCAN_SIMULATEDSCANNER_H_
