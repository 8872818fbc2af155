// SPDX-License-Identifier: MIT
// quaxscan end to end: the program run through the shell on a simulated scan.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <numeric>
#include <string>
#include <vector>

#include "CommandRunner.h"
#include "ScanSetCompare.h"
#include "apps/quaxscan/ScanSetIO.h"
#include "apps/quaxscan/SimulatedScanner.h"

namespace quaxscan {
namespace {

using test::CommandTest;
using test::Outcome;
using test::sameScanSet;

// What `simulate` is given below, for the same simulation in the test.
const char kSimulate[] =
    "simulate --seed 5 --surfaces 2 --frames 40 --points 150 --dropouts 0.1";

SimulationSettings kSimulation() {
  SimulationSettings s;
  s.scanner.seed = 5;
  s.surfaces = 2;
  s.framesPerSurface = 40;
  s.scanner.pointsPerLine = 150;
  s.scanner.dropoutRate = 0.1;
  return s;
}

std::size_t countOf(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos;
       at = text.find(part, at + part.size())) {
    ++n;
  }
  return n;
}

// The two numbers of "…overlapping surfaces: <before> before (…), <after>
// after (…)".
bool gapBeforeAndAfter(const std::string& out, double& before, double& after) {
  const std::string lead = "overlapping surfaces: ";
  const std::size_t at = out.find(lead);
  const std::size_t comma = out.find("), ", at);
  if (at == std::string::npos || comma == std::string::npos) return false;
  before = std::stod(out.substr(at + lead.size()));
  after = std::stod(out.substr(comma + 3));
  return true;
}

// The point count of every frame of the simulated 2 x 40 frames.
std::vector<std::size_t> pointCounts(const QUAX::ScanSet& set) {
  std::vector<std::size_t> counts;
  for (std::size_t s = 0; s < 2; ++s) {
    for (std::size_t f = 0; f < 40; ++f) {
      counts.push_back(
          set.getSurface(s)->getFrame(f)->getScanLine()->getPointCount());
    }
  }
  return counts;
}

class Quaxscan : public CommandTest {
 protected:
  void simulate(const std::string& output, const std::string& more = "") {
    const Outcome run =
        quaxscan(std::string(kSimulate) + " -o " + output + " " + more);
    ASSERT_EQ(run.status, 0) << run.err;
  }
};

// ---- written and read back
// ----------------------------------------------------

TEST_F(Quaxscan, SimulateWritesTheSimulationItself) {
  simulate("sim.ply");
  const auto expected = simulateScanSet(kSimulation());
  EXPECT_TRUE(sameScanSet(*expected, *readScanSetFile(path("sim.ply"))));
}

TEST_F(Quaxscan, ConvertRoundTripsBothPlyFlavoursAndTextToTheSameBytes) {
  simulate("a.ply");
  for (const char* step :
       {"convert a.ply --ascii -o b.ply", "convert b.ply -o c.txt",
        "convert c.txt -o d.ply", "convert b.ply -o e.ply"}) {
    const Outcome run = quaxscan(step);
    ASSERT_EQ(run.status, 0) << step << ": " << run.err;
  }
  EXPECT_EQ(text("b.ply").rfind("ply\nformat ascii 1.0\n", 0), 0u);
  EXPECT_EQ(text("a.ply"), text("d.ply"));  // through ASCII PLY and text
  EXPECT_EQ(text("a.ply"), text("e.ply"));  // through ASCII PLY
}

TEST_F(Quaxscan, GraySumsAndPixelsSurviveAsciiPly) {
  simulate("a.ply", "--graysum --pixels");
  ASSERT_EQ(quaxscan("convert a.ply --ascii -o b.ply").status, 0);
  ASSERT_EQ(quaxscan("convert b.ply -o c.ply").status, 0);
  EXPECT_EQ(text("a.ply"), text("c.ply"));
  EXPECT_NE(text("b.ply").find("property uint graysum\n"), std::string::npos);
}

// ---- each command
// --------------------------------------------------------------

TEST_F(Quaxscan, InfoShowsCountsBoxesAndPointsPerFrame) {
  simulate("sim.ply");
  const std::vector<std::size_t> counts =
      pointCounts(*simulateScanSet(kSimulation()));
  const std::size_t points =
      std::accumulate(counts.begin(), counts.end(), std::size_t{0});
  const Outcome run = quaxscan("info sim.ply --frames");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("sim.ply: 2 surfaces, 80 frames, " +
                         std::to_string(points) + " points\n"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("bounding box: x -40.000 .. 40.150"),
            std::string::npos)
      << run.out;
  EXPECT_EQ(countOf(run.out, "points of each frame:"), 2u);
  EXPECT_NE(run.out.find("surface 1: 40 frames (0 without points)"),
            std::string::npos);
}

TEST_F(Quaxscan, FilterAppliesEveryBlockOfTheSettingsFileInOrder) {
  simulate("sim.ply");
  const Outcome run = quaxscan("filter sim.ply --settings '" QUAX_SETTINGS_FILE
                               "' -o filtered.ply");
  ASSERT_EQ(run.status, 0) << run.err;
  const std::size_t average = run.out.find("ScanAverageFilter: ");
  const std::size_t chordal = run.out.find("ScanChordalDeviationFilter: ");
  const std::size_t nPoint = run.out.find("ScanNPointFilter: ");
  EXPECT_LT(average, chordal);
  EXPECT_LT(chordal, nPoint);
  EXPECT_NE(nPoint, std::string::npos) << run.out;
  // The last block keeps 64 points of every line long enough for it.
  for (std::size_t n : pointCounts(*readScanSetFile(path("filtered.ply")))) {
    EXPECT_LE(n, 64u);
  }
}

TEST_F(Quaxscan, ExtentWritesOneNodeLinePerFrameAndASummary) {
  simulate("sim.ply");
  const Outcome run = quaxscan("extent sim.ply --surface 1 -o nodes.csv");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("surface 1 of 2: 40 nodes from 40 frames"),
            std::string::npos)
      << run.out;
  const std::string nodes = text("nodes.csv");
  EXPECT_EQ(countOf(nodes, "\n"), 40u);
  // Eleven values per node, each followed by a comma.
  EXPECT_EQ(countOf(nodes.substr(0, nodes.find('\n')), ","), 11u);
}

TEST_F(Quaxscan, StitchShowsPercentagesOffATerminalAndMovesBothSurfaces) {
  simulate("sim.ply");
  const Outcome run = quaxscan(
      "stitch sim.ply -o stitched.ply --tolerance 1 --iterations 4 --method "
      "both");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("stitching: 100%\n"), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find('\r'), std::string::npos);  // no bar in a log
  EXPECT_EQ(run.out.find("moved by (0.0000, 0.0000, 0.0000)"),
            std::string::npos)
      << run.out;
  const auto moved = readScanSetFile(path("stitched.ply"));
  EXPECT_FALSE(sameScanSet(*moved, *simulateScanSet(kSimulation())));
}

TEST_F(Quaxscan, StitchToReferenceLeavesTheLastSurfaceWhereItIs) {
  simulate("sim.ply");
  const Outcome run = quaxscan(
      "stitch sim.ply -o stitched.ply --tolerance 1 --iterations 3 "
      "--to-reference");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("surface 1 moved by (0.0000, 0.0000, 0.0000)"),
            std::string::npos)
      << run.out;
  // Sweep 1 lies 0.4 too high, which the plane distance sees across the
  // sheet's gentle slopes; stitching closes most of it.
  double before = 0, after = 0;
  ASSERT_TRUE(gapBeforeAndAfter(run.out, before, after)) << run.out;
  EXPECT_GT(before, 0.3);
  EXPECT_LT(after, 0.1);
}

TEST_F(Quaxscan, PlotDrawsEachChosenLineBeforeAndAfterAndTheTopView) {
  simulate("sim.ply");
  const Outcome run = quaxscan(
      "plot sim.ply -o plot.svg --frames 5,20,39 --settings "
      "'" QUAX_SETTINGS_FILE "'");
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string svg = text("plot.svg");
  EXPECT_EQ(svg.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg ", 0),
            0u);
  EXPECT_EQ(svg.substr(svg.size() - 7), "</svg>\n");
  EXPECT_EQ(countOf(svg, "<g class=\"profile\">"), 3u);
  EXPECT_EQ(countOf(svg, "<g class=\"filtered\""), 3u);
  EXPECT_EQ(countOf(svg, "<g class=\"surface\""), 2u);
  EXPECT_NE(svg.find("Surface 0, frame 39"), std::string::npos);
}

// ---- bad input
// -----------------------------------------------------------------

const struct BadPly {
  const char* bytes;
  const char* message;
} kBadPly[] = {
    {"ply\nformat binary_little_endian 1.0\nelement vertex 10\nprop",
     "quaxscan: error: bad.ply: the file ends inside the PLY header (no "
     "'end_header' line)\n"},
    {"ply\nformat ascii 1.0\nelement vertex 1\nproperty double x\n"
     "property double y\nproperty real z\nend_header\n1 2 3\n",
     "quaxscan: error: bad.ply: header line 6: unknown property type 'real'\n"},
    {"ply\nformat binary_little_endian 1.0\nelement vertex 900000000000\n"
     "property double x\nproperty double y\nproperty double z\nend_header\n"
     "0123456789abcdef01234567",
     "quaxscan: error: bad.ply: header line 3: element 'vertex' declares "
     "900000000000 rows of at least 24 bytes, but only 24 bytes follow\n"},
};

TEST_F(Quaxscan, BadPlyFilesFailWithTheirNameAndLeaveOutputsAlone) {
  for (const BadPly& bad : kBadPly) {
    write("bad.ply", bad.bytes);
    write("old.ply", "old");
    for (const char* command :
         {"convert bad.ply -o old.ply", "convert bad.ply -o new.ply",
          "stitch bad.ply -o old.ply --tolerance 1 --iterations 1",
          "filter bad.ply --settings '" QUAX_SETTINGS_FILE "' -o new.ply",
          "extent bad.ply -o new.csv", "plot bad.ply -o new.svg",
          "info bad.ply"}) {
      const Outcome run = quaxscan(command);
      EXPECT_EQ(run.status, 1) << command;
      EXPECT_EQ(run.err, bad.message) << command;
      EXPECT_EQ(text("old.ply"), "old") << command;
      EXPECT_EQ(fileCount(), 2u) << command;  // bad.ply and old.ply only
    }
  }
}

TEST_F(Quaxscan, TextErrorNamesFileAndLine) {
  write("bad.txt", "1 2 3\n4 5 6\n\n7 8 nine\n");
  const Outcome run = quaxscan("convert bad.txt -o out.ply");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "quaxscan: error: bad.txt:4: 'nine' is not a finite number\n");
  EXPECT_FALSE(std::filesystem::exists(path("out.ply")));
}

TEST_F(Quaxscan, BadSettingsFailBeforeAnythingIsWritten) {
  simulate("sim.ply");
  write("bad.settings",
        "<ScanAverageFilter>\n<NeighborhoodSize value=\"3\"/>\n"
        "<ProximityLimit value=\"5\"/>\n<Weights value=\"1\"/>\n"
        "<Weights value=\"2\"/>\n<Weights value=\"1\"/>\n</ScanAverageFilter>\n"
        "\n<ScanMedianFilter>\n");
  const Outcome run =
      quaxscan("filter sim.ply --settings bad.settings -o out.ply");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(
      run.err.rfind("quaxscan: error: bad.settings:9: '<ScanMedianFilter>' "
                    "does not start a filter settings block",
                    0),
      0u)
      << run.err;
  EXPECT_FALSE(std::filesystem::exists(path("out.ply")));

  write("cut.settings",
        "<ScanChordalDeviationFilter>\n<DeviationLimit value=\"0.05\"/>\n");
  const Outcome cut =
      quaxscan("filter sim.ply --settings cut.settings -o out.ply");
  EXPECT_EQ(cut.status, 1);
  EXPECT_EQ(cut.err.rfind("quaxscan: error: cut.settings:1: the "
                          "ScanChordalDeviationFilter block cannot be read",
                          0),
            0u)
      << cut.err;
}

TEST_F(Quaxscan, WrongUsageIsRefusedWithANonZeroExit) {
  simulate("sim.ply");
  const Outcome none = quaxscan("");
  EXPECT_NE(none.status, 0);
  const Outcome noTolerance =
      quaxscan("stitch sim.ply -o out.ply --iterations 2");
  EXPECT_NE(noTolerance.status, 0);
  EXPECT_NE(noTolerance.err.find("--tolerance"), std::string::npos)
      << noTolerance.err;
  const Outcome badType = quaxscan("convert sim.ply -o out.obj");
  EXPECT_EQ(badType.status, 1);
  EXPECT_EQ(
      badType.err,
      "quaxscan: error: out.obj: unknown scan file type '.obj' (use .ply, "
      ".txt or .xyz)\n");
  const Outcome noSurface = quaxscan("extent sim.ply --surface 2");
  EXPECT_EQ(noSurface.status, 1);
  EXPECT_EQ(
      noSurface.err,
      "quaxscan: error: sim.ply: has 2 surfaces; there is no surface 2\n");
  const Outcome noFrame = quaxscan("plot sim.ply -o p.svg --frames 40");
  EXPECT_EQ(noFrame.status, 1);
  EXPECT_FALSE(std::filesystem::exists(path("p.svg")));
}

}  // namespace
}  // namespace quaxscan
