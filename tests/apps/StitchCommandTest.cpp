// SPDX-License-Identifier: MIT
// quaxscan's rigid stitch end to end: a sweep simulated off by a shift and a
// rotation, put back by `stitch`, and the overlap map before and after.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "CommandRunner.h"
#include "apps/quaxscan/ScanSetIO.h"
#include "apps/quaxscan/SimulatedScanner.h"

namespace quaxscan {
namespace {

using test::CommandTest;
using test::Outcome;
using Points = std::vector<QUAX::_GeoPoint<double>>;

class StitchCommand : public CommandTest {};

constexpr double kDegree = 3.14159265358979323846 / 180.0;
const char kSweeps[] = "simulate --seed 3 --frames 60 --points 200 --noise 0";

// Where sweep 1 of kSweeps puts a point p of the part: shifted by the
// misregistration, then turned about the middle of the sheet.
QUAX::_MathVector<double> offBySweepOne(const QUAX::_GeoPoint<double>& p) {
  const double length = 60 * 0.5, advance = length * (1.0 - 0.3);
  const double middleY = (advance + length) / 2.0;
  const QUAX::_MathVector<double> middle(
      0.0, middleY, SimulatedScanner::partHeight(0.0, middleY));
  const double a = 0.3 * kDegree, b = 0.2 * kDegree;
  const QUAX::_MathMatrix<double> turn =
      QUAX::_MathMatrix<double>(1, 0, 0, 0, std::cos(b), -std::sin(b), 0,
                                std::sin(b), std::cos(b), 0, 0, 0) *
      QUAX::_MathMatrix<double>::rotationZ(a);
  return turn.applyToPosition(p.toVector() +
                              QUAX::_MathVector<double>(0.15, -0.1, 0.4) -
                              middle) +
         middle;
}

// Every point of the surface, frame after frame.
Points pointsOf(const QUAX::ScanSurface& surface) {
  Points points;
  for (std::size_t f = 0; f < surface.getFrameCount(); ++f) {
    const QUAX::ScanLine& line = *surface.getFrame(f)->getScanLine();
    for (std::size_t j = 0; j < line.getPointCount(); ++j) {
      points.push_back(line.getPoint(j)->position());
    }
  }
  return points;
}

TEST_F(StitchCommand, RigidPutsTheEarlierSweepOntoTheRotatedOne) {
  ASSERT_EQ(quaxscan(std::string(kSweeps) + " -o clean.ply "
                                            "--misregistration 0 0 0")
                .status,
            0);
  ASSERT_EQ(
      quaxscan(std::string(kSweeps) + " -o scan.ply --rotation 0.3 0.2").status,
      0);
  const Outcome run =
      quaxscan("stitch scan.ply -o stitched.ply --tolerance 1 --iterations 10");
  ASSERT_EQ(run.status, 0) << run.err;
  // "surface 0: registered; RMS distance <before> before (…), <after> after"
  const std::string lead = "surface 0: registered; RMS distance ";
  const std::size_t at = run.out.find(lead);
  ASSERT_NE(at, std::string::npos) << run.out;
  const double before = std::stod(run.out.substr(at + lead.size()));
  const double after = std::stod(run.out.substr(run.out.find("), ", at) + 3));
  EXPECT_GT(before, 0.2) << run.out;
  EXPECT_LT(after, 0.1 * before) << run.out;
  EXPECT_NE(run.out.find("surface 1: reference, not moved"), std::string::npos)
      << run.out;

  // Without height noise (the dropouts stay), the earlier sweep, stitched,
  // lies where sweep 1's error puts the clean sweep, within 0.005 RMS. (With
  // noise, the short overlap of this sheet hardly shows a slide along y.)
  // The reference stays where it was, bit for bit.
  const auto clean = readScanSetFile(path("clean.ply"));
  const auto scan = readScanSetFile(path("scan.ply"));
  const auto stitched = readScanSetFile(path("stitched.ply"));
  const Points truth = pointsOf(*clean->getSurface(0));
  const Points moved = pointsOf(*stitched->getSurface(0));
  ASSERT_EQ(truth.size(), moved.size());
  double sum = 0.0;
  for (std::size_t i = 0; i < truth.size(); ++i) {
    const QUAX::_MathVector<double> d =
        moved[i].toVector() - offBySweepOne(truth[i]);
    sum += d.x() * d.x() + d.y() * d.y() + d.z() * d.z();
  }
  EXPECT_LT(std::sqrt(sum / double(truth.size())), 0.005);
  EXPECT_EQ(pointsOf(*stitched->getSurface(1)), pointsOf(*scan->getSurface(1)));

  // The overlap map: both panels, and the distances they report.
  const Outcome plot =
      quaxscan("plot stitched.ply --before scan.ply -o overlap.svg");
  ASSERT_EQ(plot.status, 0) << plot.err;
  const std::string svg = text("overlap.svg");
  EXPECT_NE(svg.find("before (scan.ply): mean distance"), std::string::npos);
  EXPECT_NE(svg.find("after (stitched.ply): mean distance"), std::string::npos);
  EXPECT_NE(svg.find("class=\"colour-bar\""), std::string::npos);
  EXPECT_NE(plot.out.find("after (stitched.ply): mean distance 0.0"),
            std::string::npos)
      << plot.out;
}

TEST_F(StitchCommand, MethodsAreNamedOnce) {
  ASSERT_EQ(quaxscan(std::string(kSweeps) + " -o scan.ply").status, 0);
  EXPECT_NE(quaxscan("stitch scan.ply -o out.ply --tolerance 1 --iterations "
                     "2 --method reference --to-reference")
                .status,
            0);
  const Outcome unknown = quaxscan(
      "stitch scan.ply -o out.ply --tolerance 1 --iterations 2 --method icp");
  EXPECT_NE(unknown.status, 0);
  EXPECT_NE(unknown.err.find("--method"), std::string::npos) << unknown.err;
}

}  // namespace
}  // namespace quaxscan
