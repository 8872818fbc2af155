// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "apps/quaxscan/ScanSetIO.h"
#include "acquire/SimulatedScanner.h"

namespace quaxscan {
namespace {

using QUAX::SimulatedScanner;
using QUAX::SimulationSettings;
using QUAX::ScannerSettings;
using QUAX::simulateScanSet;

SimulationSettings smallSimulation(bool items, std::uint32_t seed = 11) {
  SimulationSettings s;
  s.surfaces = 2;
  s.framesPerSurface = 30;
  s.scanner.pointsPerLine = 120;
  s.scanner.dropoutRate = 0.2;
  s.scanner.graysum = items;
  s.scanner.pixels = items;
  s.scanner.seed = seed;
  return s;
}

std::string written(const QUAX::ScanSet& set,
                    ScanFileFormat format = ScanFileFormat::kPlyBinary) {
  std::ostringstream out(std::ios::binary);
  writeScanSet(set, format, out);
  return out.str();
}

TEST(SimulatedScanner, SeedsSweepsHolesAndItems) {
  const auto rich = simulateScanSet(smallSimulation(true));
  EXPECT_EQ(written(*simulateScanSet(smallSimulation(true))), written(*rich));
  EXPECT_NE(written(*simulateScanSet(smallSimulation(true, 12))),
            written(*rich));
  // Items only when asked, and the points stay where they are.
  const auto plain = simulateScanSet(smallSimulation(false));
  EXPECT_EQ(written(*plain, ScanFileFormat::kText),
            written(*rich, ScanFileFormat::kText));
  EXPECT_EQ(written(*plain).find("graysum"), std::string::npos);

  ScannerSettings settings;
  settings.noise = 0.0;
  const auto line = SimulatedScanner(settings).profileAt(45.0);  // the hole
  ASSERT_LT(line->getPointCount(), settings.pointsPerLine);
  for (std::size_t i = 0; i < line->getPointCount(); ++i) {
    const auto& p = line->getPoint(i)->position();
    EXPECT_FALSE(SimulatedScanner::inHole(p.x(), p.y()));
    EXPECT_DOUBLE_EQ(p.z(), SimulatedScanner::partHeight(p.x(), p.y()));
  }
  // 30 frames of 0.5: each sweep starts 7.5 after the one before and is
  // registered off by its number times the misregistration.
  SimulationSettings sweeps = smallSimulation(false);
  sweeps.scanner.noise = 0.0;
  sweeps.scanner.dropoutRate = 0.0;
  sweeps.surfaces = 3;
  sweeps.overlap = 0.5;
  const auto set = simulateScanSet(sweeps);
  const auto& first =
      set->getSurface(2)->getFrame(0)->getScanLine()->getPoint(0)->position();
  EXPECT_DOUBLE_EQ(first.y(), 15.0 + 2 * -0.10);
  EXPECT_DOUBLE_EQ(first.z(), SimulatedScanner::partHeight(-40.0, 15.0) + 0.8);
}

}  // namespace
}  // namespace quaxscan
