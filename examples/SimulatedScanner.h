// SPDX-License-Identifier: MIT
// A simulated laser line scanner for the demo: profiles of a curved sheet
// with a step, seen from above while the sensor sweeps along y.
#ifndef QUAX_EXAMPLES_SIMULATEDSCANNER_H_
#define QUAX_EXAMPLES_SIMULATEDSCANNER_H_

#include <cstdint>
#include <memory>
#include <random>

#include "scan/model/ScanLine.h"
#include "scan/model/ScanSurface.h"

namespace quaxdemo {

struct ScannerSettings {
  std::size_t pointsPerLine = 400;
  double lineWidth = 80.0;     // x extent of one profile
  double frameSpacing = 0.5;   // y advance per frame
  double noise = 0.02;         // standard deviation of the z noise
  std::uint32_t seed = 1;
};

class SimulatedScanner {
 public:
  explicit SimulatedScanner(const ScannerSettings& settings);

  // The height of the simulated part at (x, y), without noise.
  static double partHeight(double x, double y);
  // One profile at frame `index`, with noise; offset moves the whole sweep.
  std::unique_ptr<QUAX::ScanLine> profile(std::size_t index, double xOffset = 0,
                                          double yOffset = 0, double zOffset = 0);
  // A complete surface of `frames` profiles.
  std::unique_ptr<QUAX::ScanSurface> sweep(std::size_t frames, double xOffset = 0,
                                           double yOffset = 0, double zOffset = 0);

  const ScannerSettings& settings() const { return _settings; }

 private:
  ScannerSettings _settings;
  std::mt19937 _random;
  std::normal_distribution<double> _noise;
};

}  // namespace quaxdemo

#endif  // QUAX_EXAMPLES_SIMULATEDSCANNER_H_
