// SPDX-License-Identifier: MIT
#include "SimulatedScanner.h"

#include <cmath>

namespace quaxdemo {

SimulatedScanner::SimulatedScanner(const ScannerSettings& settings)
    : _settings(settings), _random(settings.seed), _noise(0.0, settings.noise) {}

double SimulatedScanner::partHeight(double x, double y) {
  // A gently curved sheet with a 2-unit step at x = 10.
  const double curve = 0.004 * x * x + 0.002 * (y - 20) * (y - 20);
  const double step = x > 10.0 ? 2.0 : 0.0;
  return 30.0 - curve + step;
}

std::unique_ptr<QUAX::ScanLine> SimulatedScanner::profile(std::size_t index,
                                                          double xOffset,
                                                          double yOffset,
                                                          double zOffset) {
  auto line = std::make_unique<QUAX::ScanLine>();
  const std::size_t n = _settings.pointsPerLine;
  line->getPoints().reserveBlock(n);
  const double y = double(index) * _settings.frameSpacing;
  for (std::size_t j = 0; j < n; ++j) {
    const double x = -_settings.lineWidth / 2 + _settings.lineWidth * double(j) / double(n - 1);
    const double z = partHeight(x, y) + _noise(_random);
    line->getPoint(j)->setPosition(x + xOffset, y + yOffset, z + zOffset);
  }
  return line;
}

std::unique_ptr<QUAX::ScanSurface> SimulatedScanner::sweep(std::size_t frames,
                                                           double xOffset,
                                                           double yOffset,
                                                           double zOffset) {
  auto surface = std::make_unique<QUAX::ScanSurface>();
  for (std::size_t i = 0; i < frames; ++i) {
    surface->appendFrame(std::make_unique<QUAX::ScanFrame>(
        profile(i, xOffset, yOffset, zOffset)));
  }
  surface->setComplete();
  return surface;
}

}  // namespace quaxdemo
