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
using stitch_test::sweep;
using Positions = std::vector<_GeoPoint<double>>;

struct ProgressLog {
  std::vector<int> values;
  std::vector<unsigned> events;
  void onProgress(Subject<int, unsigned>*, int value, unsigned event) {
    values.push_back(value);
    events.push_back(event);
  }
};

// The tool with the pass over every point switched on.
class EveryPointStitchTool : public ScanStitchTool {
 public:
  explicit EveryPointStitchTool(double tolerance) : ScanStitchTool(tolerance) {
    setEveryPointSearch(true);
  }
};

// A large bowl and a smaller sweep over its middle, lifted by `lift`.
struct OverlappingPair {
  std::unique_ptr<ScanSurface> base = sweep(41, 41, -10.0, -10.0, 0.5, Bowl{});
  std::unique_ptr<ScanSurface> patch;
  explicit OverlappingPair(double lift = 0.2, double shiftX = 0.0)
      : patch(sweep(13, 25, -6.0 + shiftX, -3.0, 0.5, Bowl{lift})) {}
};

void add(ScanStitchTool& tool, OverlappingPair& pair, bool flag = true) {
  tool.addSurfacePointer(pair.base.get(), flag);
  tool.addSurfacePointer(pair.patch.get(), flag);
}

std::vector<int> progressOf(ScanStitchTool& tool, int iterations) {
  ProgressLog log;
  tool.attach(ScanStitchTool::Callback(log, &ProgressLog::onProgress), 1u);
  tool.stitchSurfaces(iterations, ScanStitchTool::STITCH_BOTH);
  for (unsigned event : log.events) EXPECT_EQ(event, 0xFFFFFFFFu);
  return log.values;
}

// Mean height of the patch's points above the moved base bowl.
double meanGapAboveBase(ScanSurface& base, const Positions& baseBefore,
                        ScanSurface& patch) {
  const _MathVector<double> shift = positions(base)[0] - baseBefore[0];
  double sum = 0.0;
  const Positions points = positions(patch);
  for (const _GeoPoint<double>& p : points) {
    const double below =
        Bowl{}(p.x() - shift.x(), p.y() - shift.y()) + shift.z();
    sum += std::fabs(p.z() - below);
  }
  return sum / static_cast<double>(points.size());
}

bool moved(const Positions& before, const Positions& after) {
  for (std::size_t i = 0; i < before.size(); ++i) {
    if (before[i] != after[i]) return true;
  }
  return false;
}

TEST(ScanStitchTool, ProgressIsReportedPerPairAndIteration) {
  struct Case {
    bool third;
    int iterations;
    std::vector<int> expected;
  };
  const Case cases[] = {{false, 1, {50, 100}},
                        {false, 2, {25, 50, 75, 100}},
                        {true, 1, {22, 44, 66, 100}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.iterations + (c.third ? 10 : 0));
    OverlappingPair pair;
    auto third = sweep(9, 17, -2.0, -8.0, 0.5, Bowl{-0.1});
    ScanStitchTool tool(1.0);
    add(tool, pair);
    if (c.third) tool.addSurfacePointer(third.get(), true);
    EXPECT_EQ(progressOf(tool, c.iterations), c.expected);
  }
}

TEST(ScanStitchTool, OneSurfaceOrNoIterationsNeitherMoveNorReport) {
  OverlappingPair pair;
  const Positions base = positions(*pair.base);
  const Positions patch = positions(*pair.patch);
  ScanStitchTool tool(1.0);
  tool.addSurfacePointer(pair.base.get(), true);
  EXPECT_TRUE(progressOf(tool, 3).empty());
  EXPECT_EQ(positions(*pair.base), base);
  tool.addSurfacePointer(pair.patch.get(), true);
  EXPECT_TRUE(progressOf(tool, 0).empty());
  EXPECT_TRUE(progressOf(tool, -2).empty());
  EXPECT_EQ(positions(*pair.base), base);
  EXPECT_EQ(positions(*pair.patch), patch);
}

TEST(ScanStitchTool, SurfacesWhoseBoxesDoNotOverlapAreNotMoved) {
  OverlappingPair pair(0.2, 100.0);
  const Positions base = positions(*pair.base);
  const Positions patch = positions(*pair.patch);
  ScanStitchTool tool(1.0);
  add(tool, pair);
  tool.stitchSurfaces(2, ScanStitchTool::STITCH_BOTH);
  EXPECT_EQ(positions(*pair.base), base);
  EXPECT_EQ(positions(*pair.patch), patch);
}

TEST(ScanStitchTool, StitchBothMovesEachSurfaceByTheWholeDisplacement) {
  // Both surfaces take the displacement in opposite directions, so an
  // offset of 0.2 is reversed rather than closed.
  OverlappingPair pair(0.2);
  const Positions base = positions(*pair.base);
  const Positions patch = positions(*pair.patch);
  ScanStitchTool tool(1.0);
  add(tool, pair);
  tool.stitchSurfaces(1, ScanStitchTool::STITCH_BOTH);
  const double baseRise = positions(*pair.base)[0].z() - base[0].z();
  const double patchRise = positions(*pair.patch)[0].z() - patch[0].z();
  EXPECT_NEAR(baseRise, 0.2, 0.01);
  EXPECT_NEAR(patchRise, -baseRise, 1e-12);
  EXPECT_NEAR(meanGapAboveBase(*pair.base, base, *pair.patch), 0.2, 0.01);
}

TEST(ScanStitchTool, StitchToReferenceClosesTheGapLeavingTheReferenceInPlace) {
  // The reference of a correspondence is the surface of its sampled point:
  // the later surface of the pair.
  OverlappingPair pair(0.2);
  const Positions base = positions(*pair.base);
  const Positions patch = positions(*pair.patch);
  const double before = meanGapAboveBase(*pair.base, base, *pair.patch);
  EXPECT_NEAR(before, 0.2, 1e-9);
  ScanStitchTool tool(1.0);
  add(tool, pair);
  tool.stitchSurfaces(2, ScanStitchTool::STITCH_TO_REFERENCE);
  EXPECT_EQ(positions(*pair.patch), patch);
  EXPECT_TRUE(moved(base, positions(*pair.base)));
  EXPECT_GT(positions(*pair.base)[0].z(), base[0].z());
  EXPECT_LT(meanGapAboveBase(*pair.base, base, *pair.patch), 0.1 * before);
}

TEST(ScanStitchTool, UnflaggedSurfacesAndUnknownMethodsStitchLikeBoth) {
  struct Case {
    bool flag;
    ScanStitchTool::StitchMethod method;
  };
  const Case cases[] = {{false, ScanStitchTool::STITCH_BOTH},
                        {true, static_cast<ScanStitchTool::StitchMethod>(7)}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.flag);
    OverlappingPair expected(0.2), actual(0.2);
    ScanStitchTool a(1.0), b(1.0);
    add(a, expected);
    add(b, actual, c.flag);
    a.stitchSurfaces(2, ScanStitchTool::STITCH_BOTH);
    b.stitchSurfaces(2, c.method);
    EXPECT_EQ(positions(*actual.base), positions(*expected.base));
    EXPECT_EQ(positions(*actual.patch), positions(*expected.patch));
  }
}

TEST(ScanStitchTool, MovesAreNotRecordedInTheTransformHistory) {
  OverlappingPair pair(0.2);
  ScanStitchTool tool(1.0);
  add(tool, pair);
  tool.stitchSurfaces(1, ScanStitchTool::STITCH_BOTH);
  EXPECT_THROW(pair.base->findItem(
                   ScanTransformHistory<double>::getScanTransformHistoryKey()),
               EExtensionNotPresent);
}

// Stitches copies of the same surfaces with the grid and with the pass over
// every point; every point must end in the same place, bit for bit.
void expectGridAndPassAgree(
    const std::vector<std::unique_ptr<ScanSurface>>& grid,
    const std::vector<std::unique_ptr<ScanSurface>>& pass, double tolerance,
    int iterations, ScanStitchTool::StitchMethod method) {
  ScanStitchTool indexed(tolerance);
  EveryPointStitchTool everyPoint(tolerance);
  for (const auto& s : grid) indexed.addSurfacePointer(s.get(), true);
  for (const auto& s : pass) everyPoint.addSurfacePointer(s.get(), true);
  ProgressLog indexedLog, everyPointLog;
  indexed.attach(ScanStitchTool::Callback(indexedLog, &ProgressLog::onProgress),
                 1u);
  everyPoint.attach(
      ScanStitchTool::Callback(everyPointLog, &ProgressLog::onProgress), 1u);
  indexed.stitchSurfaces(iterations, method);
  everyPoint.stitchSurfaces(iterations, method);
  EXPECT_EQ(indexedLog.values, everyPointLog.values);
  for (std::size_t s = 0; s < grid.size(); ++s) {
    const Positions a = positions(*grid[s]);
    const Positions b = positions(*pass[s]);
    ASSERT_EQ(a.size(), b.size());
    std::size_t differing = 0;
    for (std::size_t i = 0; i < a.size(); ++i) differing += a[i] != b[i];
    EXPECT_EQ(differing, 0u) << "surface " << s;
  }
}

TEST(ScanStitchTool, GridAndPassMoveEveryPointAlike) {
  for (unsigned seed = 1; seed <= 3; ++seed) {
    std::vector<std::unique_ptr<ScanSurface>> grid, pass;
    for (int copy = 0; copy < 2; ++copy) {
      std::mt19937_64 rng(seed);
      std::normal_distribution<double> noise(0.0, 0.02);
      auto& out = copy == 0 ? grid : pass;
      auto bumpy = [&rng, &noise](double lift) {
        return [&rng, &noise, lift](double x, double y) {
          return Bowl{lift}(x, y) + noise(rng);
        };
      };
      out.push_back(sweep(24, 41, -10.0, -6.0, 0.5, bumpy(0.0)));
      out.push_back(sweep(18, 30, -7.0, -4.0, 0.5, bumpy(0.15)));
      out.push_back(sweep(15, 20, -3.0, -5.0, 0.5, bumpy(-0.1)));
    }
    expectGridAndPassAgree(grid, pass, 0.8, 3, ScanStitchTool::STITCH_BOTH);
  }
}

TEST(ScanStitchTool, GridAndPassAgreeOnLatticesFullOfTies) {
  // The base lattice straddles the bowl's axis x = 0 by half a step, the
  // patch has points on it: those samples have two equally near points,
  // mirror images, which the tilted local normal tells apart.
  for (auto method :
       {ScanStitchTool::STITCH_BOTH, ScanStitchTool::STITCH_TO_REFERENCE}) {
    std::vector<std::unique_ptr<ScanSurface>> grid, pass;
    for (auto* out : {&grid, &pass}) {
      out->push_back(sweep(40, 42, -5.125, -5.0, 0.25, Bowl{}));
      out->push_back(sweep(14, 24, -3.0, -2.0, 0.25, Bowl{0.125}));
    }
    expectGridAndPassAgree(grid, pass, 0.5, 4, method);
  }
}

TEST(ScanStitchTool, SurfacesWithoutFramesOrNullAreNotAdded) {
  ScanSurface empty;
  empty.setComplete();
  ScanStitchTool tool(1.0);
  tool.addSurfacePointer(&empty, true);
  tool.addSurfacePointer(nullptr, true);
  EXPECT_EQ(tool.getSurfaceCount(), 0u);
}

TEST(ScanStitchTool, AFrameWithoutScanLineRefusesTheSurface) {
  auto surface = sweep(5, 10, 0.0, 0.0, 1.0, Bowl{});
  surface->getFrame(3)->setScanLine(nullptr);
  ScanStitchTool tool(1.0);
  EXPECT_THROW(tool.addSurfacePointer(surface.get(), true),
               EScanFrameNoScanLine);
  EXPECT_EQ(tool.getSurfaceCount(), 0u);

  auto noFirstLine = sweep(5, 10, 0.0, 0.0, 1.0, Bowl{});
  noFirstLine->getFrame(0)->setScanLine(nullptr);
  EXPECT_THROW(tool.addSurfacePointer(noFirstLine.get(), true),
               EScanFrameNoScanLine);
  EXPECT_EQ(tool.getSurfaceCount(), 0u);
}

TEST(ScanStitchTool, AnEmptyFirstLineIsAccepted) {
  OverlappingPair pair;
  pair.patch->getFrame(0)->getScanLine()->resize(0);
  ScanStitchTool tool(1.0);
  add(tool, pair);
  EXPECT_EQ(tool.getSurfaceCount(), 2u);
  EXPECT_EQ(progressOf(tool, 1), (std::vector<int>{50, 100}));
}

TEST(ScanStitchTool, ALineRemovedAfterAddingStopsTheStitch) {
  OverlappingPair pair;
  ScanStitchTool tool(1.0);
  add(tool, pair);
  // Frame 5 is a neighbour of the sampled frames 4 and 6.
  pair.patch->getFrame(5)->setScanLine(nullptr);
  EXPECT_THROW(tool.stitchSurfaces(1, ScanStitchTool::STITCH_BOTH),
               EScanFrameNoScanLine);
}

TEST(ScanStitchTool, StackedFramesGiveADegenerateNormal) {
  // Every frame of the patch is the same line: the neighbours' nearest
  // points coincide and the local normal cannot be formed.
  OverlappingPair pair;
  auto stacked = std::make_unique<ScanSurface>();
  for (int i = 0; i < 6; ++i) {
    auto line = std::make_unique<ScanLine>();
    for (int j = 0; j < 25; ++j) {
      const double x = -6.0 + 0.5 * j;
      line->appendPoint(_GeoPoint<double>(x, 0.0, Bowl{0.2}(x, 0.0)));
    }
    stacked->appendFrame(std::make_unique<ScanFrame>(std::move(line)));
  }
  stacked->setComplete();
  ScanStitchTool tool(1.0);
  tool.addSurfacePointer(pair.base.get(), true);
  tool.addSurfacePointer(stacked.get(), true);
  EXPECT_THROW(tool.stitchSurfaces(1, ScanStitchTool::STITCH_BOTH),
               EMathZeroVector);
}

TEST(ScanStitchTool, ACopyStitchesTheSameSurfaces) {
  OverlappingPair pair(0.2), twin(0.2);
  ScanStitchTool tool(1.0);
  add(tool, pair);
  ScanStitchTool copy(tool);
  EXPECT_EQ(copy.getSurfaceCount(), 2u);
  EXPECT_EQ(copy.getStitchTolerance(), 1.0);
  copy.stitchSurfaces(1, ScanStitchTool::STITCH_BOTH);

  ScanStitchTool reference(1.0);
  add(reference, twin);
  reference.stitchSurfaces(1, ScanStitchTool::STITCH_BOTH);
  EXPECT_EQ(positions(*pair.patch), positions(*twin.patch));

  ScanStitchTool assigned(5.0);
  assigned = tool;
  EXPECT_EQ(assigned.getSurfaceCount(), 2u);
  EXPECT_EQ(assigned.getStitchTolerance(), 1.0);
}

TEST(ScanStitchTool, ASecondCallStartsFromTheTranslationsLeft) {
  // The first iteration of a call averages its displacements into the
  // translations the previous call left: the base moves on although the
  // first call already closed the gap.
  OverlappingPair pair(0.2);
  ScanStitchTool tool(1.0);
  add(tool, pair);
  const double z0 = positions(*pair.base)[0].z();
  tool.stitchSurfaces(1, ScanStitchTool::STITCH_TO_REFERENCE);
  const double z1 = positions(*pair.base)[0].z();
  tool.stitchSurfaces(1, ScanStitchTool::STITCH_TO_REFERENCE);
  const double z2 = positions(*pair.base)[0].z();
  EXPECT_NEAR(z1 - z0, 0.2, 0.01);
  EXPECT_GT(z2 - z1, 0.5 * (z1 - z0));
  EXPECT_LT(z2 - z1, z1 - z0);
}

}  // namespace
}  // namespace QUAX
