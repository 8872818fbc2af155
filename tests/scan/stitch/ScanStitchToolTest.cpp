// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "geomath/MathErrors.h"
#include "scan/ScanErrors.h"
#include "scan/model/ScanTransformHistory.h"
#include "scan/stitch/ScanStitchTool.h"
#include "tests/scan/stitch/StitchTestSurfaces.h"
#include "util/VXException.h"

namespace QUAX {
namespace {

using stitch_test::Bowl;
using stitch_test::positions;
using stitch_test::progressOf;
using stitch_test::sweep;
using Positions = std::vector<_GeoPoint<double>>;
using Surfaces = std::vector<std::unique_ptr<ScanSurface>>;

// A large bowl and a smaller sweep over its middle, lifted by `lift`.
struct OverlappingPair {
  std::unique_ptr<ScanSurface> base = sweep(41, 41, -10.0, -10.0, 0.5, Bowl{});
  std::unique_ptr<ScanSurface> patch;
  explicit OverlappingPair(double lift = 0.2, double shiftX = 0.0)
      : patch(sweep(13, 25, -6.0 + shiftX, -3.0, 0.5, Bowl{lift})) {}
  void addTo(ScanStitchTool& tool, bool flag = true) {
    tool.addSurfacePointer(base.get(), flag);
    tool.addSurfacePointer(patch.get(), flag);
  }
  // Mean height of the patch's points above the moved base bowl.
  double gap(const Positions& baseBefore) {
    const _MathVector<double> shift = positions(*base)[0] - baseBefore[0];
    double sum = 0.0;
    const Positions points = positions(*patch);
    for (const _GeoPoint<double>& p : points) {
      sum += std::fabs(p.z() - Bowl{}(p.x() - shift.x(), p.y() - shift.y()) -
                       shift.z());
    }
    return sum / static_cast<double>(points.size());
  }
};

TEST(ScanStitchTool, ProgressPerPairAndIterationAndWhatIsLeftAlone) {
  // One surface or no iterations: nothing reported; surfaces apart report
  // progress but are not moved.
  const struct {
    int surfaces;
    double shiftX;
    int iterations;
    std::vector<int> expected;
  } cases[] = {{2, 0.0, 1, {50, 100}},
               {2, 0.0, 2, {25, 50, 75, 100}},
               {3, 0.0, 1, {22, 44, 66, 100}},
               {2, 0.0, 0, {}},
               {2, 0.0, -2, {}},
               {1, 0.0, 3, {}},
               {2, 100.0, 2, {25, 50, 75, 100}}};
  for (const auto& c : cases) {
    OverlappingPair pair(0.2, c.shiftX);
    const Positions base = positions(*pair.base);
    const Positions patch = positions(*pair.patch);
    auto third = sweep(9, 17, -2.0, -8.0, 0.5, Bowl{-0.1});
    ScanStitchTool tool(1.0);
    tool.addSurfacePointer(pair.base.get(), true);
    if (c.surfaces > 1) tool.addSurfacePointer(pair.patch.get(), true);
    if (c.surfaces > 2) tool.addSurfacePointer(third.get(), true);
    EXPECT_EQ(progressOf(tool, c.iterations), c.expected) << c.iterations;
    if (c.shiftX > 0.0 || c.expected.empty()) {
      EXPECT_EQ(positions(*pair.base), base) << c.surfaces << c.iterations;
      EXPECT_EQ(positions(*pair.patch), patch) << c.surfaces << c.iterations;
    }
  }
}

TEST(ScanStitchTool, StitchBothReversesTheOffsetAndToReferenceClosesIt) {
  // Both surfaces take the whole displacement, in opposite directions.
  OverlappingPair both(0.2);
  Positions base = positions(*both.base);
  Positions patch = positions(*both.patch);
  ScanStitchTool tool(1.0);
  both.addTo(tool);
  tool.stitchSurfaces(1, ScanStitchTool::STITCH_BOTH);
  const double rise = positions(*both.base)[0].z() - base[0].z();
  EXPECT_NEAR(rise, 0.2, 0.01);
  EXPECT_NEAR(positions(*both.patch)[0].z() - patch[0].z(), -rise, 1e-12);
  EXPECT_NEAR(both.gap(base), 0.2, 0.01);
  EXPECT_THROW(both.base->findItem(
                   ScanTransformHistory<double>::getScanTransformHistoryKey()),
               EExtensionNotPresent);  // moves are not recorded

  // The reference of a correspondence is the later surface of the pair.
  OverlappingPair ref(0.2);
  base = positions(*ref.base);
  patch = positions(*ref.patch);
  EXPECT_NEAR(ref.gap(base), 0.2, 1e-9);
  ScanStitchTool toRef(1.0);
  ref.addTo(toRef);
  toRef.stitchSurfaces(1, ScanStitchTool::STITCH_TO_REFERENCE);
  const double z1 = positions(*ref.base)[0].z();
  EXPECT_NEAR(z1 - base[0].z(), 0.2, 0.01);
  EXPECT_EQ(positions(*ref.patch), patch);
  EXPECT_LT(ref.gap(base), 0.02);
  // A second call averages into the translations the first one left.
  toRef.stitchSurfaces(1, ScanStitchTool::STITCH_TO_REFERENCE);
  const double z2 = positions(*ref.base)[0].z();
  EXPECT_GT(z2 - z1, 0.5 * (z1 - base[0].z()));
  EXPECT_LT(z2 - z1, z1 - base[0].z());
}

TEST(ScanStitchTool, UnflaggedSurfacesUnknownMethodsAndCopiesStitchLikeBoth) {
  OverlappingPair expected(0.2);
  ScanStitchTool reference(1.0);
  expected.addTo(reference);
  reference.stitchSurfaces(2, ScanStitchTool::STITCH_BOTH);
  // Values past the named methods (3 up, and negative ones) stitch like
  // STITCH_BOTH.
  for (int c = 0; c < 4; ++c) {
    OverlappingPair actual(0.2);
    ScanStitchTool tool(1.0);
    actual.addTo(tool, c != 0);
    if (c == 2) {
      ScanStitchTool assigned(5.0);  // takes the surfaces and the tolerance
      assigned = tool;
      ScanStitchTool(assigned).stitchSurfaces(2, ScanStitchTool::STITCH_BOTH);
    } else {
      tool.stitchSurfaces(
          2, static_cast<ScanStitchTool::StitchMethod>(c == 3 ? -1 : c * 3));
    }
    EXPECT_EQ(positions(*actual.base), positions(*expected.base)) << c;
    EXPECT_EQ(positions(*actual.patch), positions(*expected.patch)) << c;
  }
}

// Stitches copies of the same surfaces with the grid and with the pass over
// every point: every point ends in the same place, bit for bit.
void expectGridAndPassAgree(const Surfaces& grid, const Surfaces& pass,
                            double tolerance, int iterations,
                            ScanStitchTool::StitchMethod method) {
  struct EveryPointTool : ScanStitchTool {
    explicit EveryPointTool(double t) : ScanStitchTool(t) {
      setEveryPointSearch(true);
    }
  };
  ScanStitchTool indexed(tolerance);
  EveryPointTool everyPoint(tolerance);
  for (const auto& s : grid) indexed.addSurfacePointer(s.get(), true);
  for (const auto& s : pass) everyPoint.addSurfacePointer(s.get(), true);
  EXPECT_EQ(progressOf(indexed, iterations, method),
            progressOf(everyPoint, iterations, method));
  for (std::size_t s = 0; s < grid.size(); ++s) {
    EXPECT_EQ(positions(*grid[s]), positions(*pass[s])) << "surface " << s;
  }
}

TEST(ScanStitchTool, GridAndPassMoveEveryPointAlike) {
  for (unsigned seed = 1; seed <= 3; ++seed) {
    Surfaces grid, pass;
    for (Surfaces* out : {&grid, &pass}) {
      std::mt19937_64 rng(seed);
      std::normal_distribution<double> noise(0.0, 0.02);
      auto bumpy = [&](double lift) {
        return [&, lift](double x, double y) {
          return Bowl{lift}(x, y) + noise(rng);
        };
      };
      out->push_back(sweep(24, 41, -10.0, -6.0, 0.5, bumpy(0.0)));
      out->push_back(sweep(18, 30, -7.0, -4.0, 0.5, bumpy(0.15)));
      out->push_back(sweep(15, 20, -3.0, -5.0, 0.5, bumpy(-0.1)));
    }
    expectGridAndPassAgree(grid, pass, 0.8, 3, ScanStitchTool::STITCH_BOTH);
  }
  // A base lattice straddling the bowl's axis by half a step and a patch on
  // it: samples with two equally near mirror-image points.
  for (auto method :
       {ScanStitchTool::STITCH_BOTH, ScanStitchTool::STITCH_TO_REFERENCE}) {
    Surfaces grid, pass;
    for (Surfaces* out : {&grid, &pass}) {
      out->push_back(sweep(40, 42, -5.125, -5.0, 0.25, Bowl{}));
      out->push_back(sweep(14, 24, -3.0, -2.0, 0.25, Bowl{0.125}));
    }
    expectGridAndPassAgree(grid, pass, 0.5, 4, method);
  }
}

TEST(ScanStitchTool, SurfacesWithoutFramesLinesOrNormalsAreRefused) {
  ScanSurface empty;
  empty.setComplete();
  ScanStitchTool tool(1.0);
  tool.addSurfacePointer(&empty, true);
  tool.addSurfacePointer(nullptr, true);
  EXPECT_EQ(tool.getSurfaceCount(), 0u);
  for (std::size_t frame : {3u, 0u}) {
    auto surface = sweep(5, 10, 0.0, 0.0, 1.0, Bowl{});
    surface->getFrame(frame)->setScanLine(nullptr);
    EXPECT_THROW(tool.addSurfacePointer(surface.get(), true),
                 EScanFrameNoScanLine);
    EXPECT_EQ(tool.getSurfaceCount(), 0u);
  }
  // An empty first line is accepted; a line removed after adding stops the
  // stitch (frame 5 neighbours the sampled frames 4 and 6).
  OverlappingPair pair;
  pair.patch->getFrame(0)->getScanLine()->resize(0);
  pair.addTo(tool);
  EXPECT_EQ(progressOf(tool, 1), (std::vector<int>{50, 100}));
  pair.patch->getFrame(5)->setScanLine(nullptr);
  EXPECT_THROW(tool.stitchSurfaces(1, ScanStitchTool::STITCH_BOTH),
               EScanFrameNoScanLine);
  // Every frame of a patch the same line: the local normal cannot form.
  auto stacked = sweep(6, 25, -6.0, 0.0, 0.5, Bowl{0.2});
  for (std::size_t i = 1; i < 6; ++i) {
    *stacked->getFrame(i)->getScanLine() = *stacked->getFrame(0)->getScanLine();
  }
  ScanStitchTool stackedTool(1.0);
  stackedTool.addSurfacePointer(pair.base.get(), true);
  stackedTool.addSurfacePointer(stacked.get(), true);
  EXPECT_THROW(stackedTool.stitchSurfaces(1, ScanStitchTool::STITCH_BOTH),
               EMathZeroVector);
}

}  // namespace
}  // namespace QUAX
