// SPDX-License-Identifier: MIT
// The rigid stitch on noisy sweeps: the noise of single points averages out
// of the fit.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "scan/stitch/ScanStitchTool.h"
#include "tests/scan/stitch/StitchTestSurfaces.h"

namespace QUAX {
namespace {

using stitch_test::positions;

// Curved both ways, so that every rigid move shows.
double sheet(double x, double y) {
  return 0.03 * x * x - 0.02 * y * y + 0.4 * std::sin(0.5 * x + 0.3 * y);
}

// Frames 0.2 apart from y0, 101 points 0.2 apart from x = -10, heights with
// normal noise of `sigma`; `truth` gets the noisy points before `off`.
std::unique_ptr<ScanSurface> noisySweep(double y0, double sigma,
                                        const _MathMatrix<double>& off,
                                        std::vector<_GeoPoint<double>>* truth) {
  std::mt19937 random(y0 < 0 ? 11 : 12);
  std::normal_distribution<double> noise(0.0, sigma);
  auto surface = std::make_unique<ScanSurface>();
  for (int i = 0; i < 75; ++i) {
    auto line = std::make_unique<ScanLine>();
    for (int j = 0; j < 101; ++j) {
      const double x = -10.0 + 0.2 * j, y = y0 + 0.2 * i;
      const _GeoPoint<double> p(x, y, sheet(x, y) + noise(random));
      if (truth != nullptr) truth->push_back(p);
      const _MathVector<double> q = off.applyToPosition(p.toVector());
      line->appendPoint(_GeoPoint<double>(q.x(), q.y(), q.z()));
    }
    surface->appendFrame(std::make_unique<ScanFrame>(std::move(line)));
  }
  surface->setComplete();
  return surface;
}

TEST(RigidStitch, NoisySweepsComeBackWellWithinTheNoise) {
  constexpr double kNoise = 0.01;
  constexpr double kDegree = 3.14159265358979323846 / 180.0;
  const _MathMatrix<double> turn =
      _MathMatrix<double>(1, 0, 0, 0, std::cos(0.2 * kDegree),
                          -std::sin(0.2 * kDegree), 0, std::sin(0.2 * kDegree),
                          std::cos(0.2 * kDegree), 0, 0, 0) *
      _MathMatrix<double>::rotationZ(0.3 * kDegree);
  _MathMatrix<double> off = turn;
  const _MathVector<double> middle(0.0, 0.0, 0.0);
  off.setTranslation(middle - turn.applyToPosition(middle) +
                     _MathVector<double>(0.3, -0.2, 0.5));
  std::vector<_GeoPoint<double>> truth;
  auto moving = noisySweep(-12.0, kNoise, off, &truth);
  auto reference = noisySweep(-5.0, kNoise, _MathMatrix<double>(), nullptr);

  ScanStitchTool tool(1.0);
  tool.addSurfacePointer(moving.get(), true);
  tool.addSurfacePointer(reference.get(), true);
  tool.stitchSurfaces(10, ScanStitchTool::STITCH_RIGID);
  const auto report = tool.getRigidReport();
  ASSERT_EQ(report[0].status, ScanStitchTool::RIGID_REGISTERED);
  // The points' residual noise (from two surfaces) stays; the offset goes.
  EXPECT_LT(report[0].rmsAfter, 2.0 * kNoise);
  const std::vector<_GeoPoint<double>> moved = positions(*moving);
  double sum = 0.0;
  for (std::size_t i = 0; i < moved.size(); ++i) {
    const _MathVector<double> d = moved[i] - truth[i];
    sum += d.x() * d.x() + d.y() * d.y() + d.z() * d.z();
  }
  // Put back to a fraction of the noise at every point, RMS.
  EXPECT_LT(std::sqrt(sum / double(moved.size())), 0.5 * kNoise);
}

}  // namespace
}  // namespace QUAX
