// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <iomanip>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "geomath/MathErrors.h"
#include "scan/ScanErrors.h"
#include "scan/extent/SurfaceExtent.h"
#include "tests/scan/extent/ExtentTestSurfaces.h"

namespace QUAX {
namespace {

using testing::line;
using testing::makeSurface;
using testing::noLine;
using testing::straightFrames;
using Point = _GeoPoint<double>;
using Vector = _MathVector<double>;

constexpr double kTol = 1e-9;

std::vector<ScanNode*> nodesOf(const SurfaceExtent& extent) {
  std::vector<ScanNode*> nodes;
  extent.getNodeList(&nodes);
  return nodes;
}

Point locationOf(const ScanNode& node) {
  Point p;
  node.getLocation(p);
  return p;
}

double distanceOf(const ScanNode& node) {
  double d = -1;
  node.getProjectedDistance(d);
  return d;
}

double differentialOf(const ScanNode& node) {
  double d = -1;
  node.getprojectedDifferential(d);
  return d;
}

std::vector<std::int32_t> frameIndicesOf(const SurfaceExtent& extent) {
  std::vector<std::int32_t> indices;
  for (const ScanNode* node : nodesOf(extent)) {
    indices.push_back(node->getFrameIndex());
  }
  return indices;
}

std::string textOf(const SurfaceExtent& extent) {
  std::ostringstream out;
  extent << out;
  return out.str();
}

void expectNear(const Point& p, double x, double y, double z) {
  EXPECT_NEAR(p.x(), x, kTol);
  EXPECT_NEAR(p.y(), y, kTol);
  EXPECT_NEAR(p.z(), z, kTol);
}

void expectNear(const Vector& v, double x, double y, double z) {
  EXPECT_NEAR(v.x(), x, kTol);
  EXPECT_NEAR(v.y(), y, kTol);
  EXPECT_NEAR(v.z(), z, kTol);
}

// The extent of a complete surface made of `frames`.
SurfaceExtent extentOf(const std::vector<testing::FrameShape>& frames) {
  auto surface = makeSurface(frames);
  SurfaceExtent extent;
  extent.calculateExtents(surface.get());
  return extent;
}

// An extent computed on a straight surface along y, to tell "unchanged"
// from "never computed".
SurfaceExtent computedAlongY() {
  std::vector<testing::FrameShape> frames;
  for (int i = 0; i < 4; ++i) frames.push_back(line(10, 0, 0, 7.0 * i));
  return extentOf(frames);
}

void expectStillAlongY(SurfaceExtent& extent) {
  EXPECT_EQ(nodesOf(extent).size(), 4u);
  _GeoLine<double> ref;
  extent.getRefLine(ref);
  expectNear(ref.getOrigin(), 0, 0, 0);
  expectNear(ref.getDirection(), 0, 0, 1);
  Vector split;
  extent.getSplitDirection(split);
  expectNear(split, 0, 0, 1);
}

// ---- initial state
// -----------------------------------------------------------

TEST(SurfaceExtent, NewExtentHasNoNodesAndTheDefaultReferenceLine) {
  SurfaceExtent extent;
  EXPECT_TRUE(nodesOf(extent).empty());
  _GeoLine<double> ref(Point(1, 2, 3), Vector(1, 0, 0));
  extent.getRefLine(ref);
  expectNear(ref.getOrigin(), 0, 0, 0);
  expectNear(ref.getDirection(), 0, 0, 1);
  Vector split(5, 5, 5);
  EXPECT_THROW(extent.getSplitDirection(split), EMathZeroVector);
  EXPECT_EQ(textOf(extent), "");
}

TEST(SurfaceExtent, NullArgumentsAreRefused) {
  SurfaceExtent extent;
  EXPECT_THROW(extent.calculateExtents(nullptr), std::invalid_argument);
  EXPECT_THROW(extent.getNodeList(nullptr), std::invalid_argument);
}

// ---- reference line and nodes
// ------------------------------------------------

TEST(SurfaceExtent, StraightTenFrameSurfaceGivesTenNodesOnTheReferenceLine) {
  std::vector<testing::FrameShape> frames;
  for (int i = 0; i < 10; ++i) {
    frames.push_back(line(100, 1 + 3.0 * i, 2 + 4.0 * i, 3 - 12.0 * i));
  }
  SurfaceExtent extent = extentOf(frames);

  _GeoLine<double> ref;
  extent.getRefLine(ref);
  expectNear(ref.getOrigin(), 1, 2, 3);
  expectNear(ref.getDirection(), 3.0 / 13, 4.0 / 13, -12.0 / 13);
  Vector split;
  extent.getSplitDirection(split);
  expectNear(split, 3.0 / 13, 4.0 / 13, -12.0 / 13);

  const std::vector<ScanNode*> nodes = nodesOf(extent);
  ASSERT_EQ(nodes.size(), 10u);
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    SCOPED_TRACE(i);
    const ScanNode& node = *nodes[i];
    EXPECT_EQ(node.getFrameIndex(), static_cast<std::int32_t>(i));
    EXPECT_EQ(locationOf(node), frames[i].middle);
    Point p;
    node.getStartLocation(p);
    EXPECT_EQ(p, testing::pointOf(frames[i], 0));
    node.getEndLocation(p);
    EXPECT_EQ(p, testing::pointOf(frames[i], 99));
    EXPECT_NEAR(distanceOf(node), 0.0, 1e-12);
    EXPECT_NEAR(differentialOf(node), 0.0, 1e-12);
  }
}

TEST(SurfaceExtent, ShortFirstAndLastFramesAreLeftOut) {
  std::vector<testing::FrameShape> frames = straightFrames(10);
  // Off the line of the others: taking either as an end would tilt the line.
  frames[0] = line(5, 0, 0, 50);
  frames[9] = line(5, 90, 0, -50);
  SurfaceExtent extent = extentOf(frames);

  _GeoLine<double> ref;
  extent.getRefLine(ref);
  expectNear(ref.getOrigin(), 10, 0, 0);
  expectNear(ref.getDirection(), 1, 0, 0);
  EXPECT_EQ(frameIndicesOf(extent),
            (std::vector<std::int32_t>{1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST(SurfaceExtent, EvenPointCountTakesTheLowerOfTheTwoMiddlePoints) {
  SurfaceExtent extent = extentOf({line(6, 0, 0, 0), line(6, 10, 0, 0)});
  const std::vector<ScanNode*> nodes = nodesOf(extent);
  ASSERT_EQ(nodes.size(), 2u);
  // Points of a 6-point line run from y = -2 to y = 3; index 2 is at y = 0.
  EXPECT_EQ(locationOf(*nodes[1]), Point(10, 0, 0));
  Point end;
  nodes[1]->getEndLocation(end);
  EXPECT_EQ(end, Point(10, 3, 0));
}

TEST(SurfaceExtent, SingleQualifyingFrameStoresZeroSplitAndMakesNoNode) {
  SurfaceExtent extent = computedAlongY();
  std::vector<testing::FrameShape> frames(10, line(3, 0, 0, 0));
  frames[3] = line(100, 4, 5, 6);
  auto surface = makeSurface(frames);

  extent.calculateExtents(surface.get());

  EXPECT_EQ(nodesOf(extent).size(), 4u);
  _GeoLine<double> ref;
  extent.getRefLine(ref);
  expectNear(ref.getDirection(), 0, 0, 1);
  Vector split;
  EXPECT_THROW(extent.getSplitDirection(split), EMathZeroVector);
}

TEST(SurfaceExtent, TwoFramesWithOnlyFrameZeroQualifyingSplitTowardsTheOrigin) {
  SurfaceExtent extent = extentOf({line(100, 3, 4, 0), line(5, 50, 50, 50)});

  Vector split;
  extent.getSplitDirection(split);
  expectNear(split, -0.6, -0.8, 0);
  _GeoLine<double> ref;
  extent.getRefLine(ref);
  expectNear(ref.getOrigin(), 3, 4, 0);
  const std::vector<ScanNode*> nodes = nodesOf(extent);
  ASSERT_EQ(nodes.size(), 1u);
  EXPECT_EQ(nodes[0]->getFrameIndex(), 0);
  EXPECT_NEAR(distanceOf(*nodes[0]), 0.0, kTol);
}

TEST(SurfaceExtent, SplitTooShortToNormaliseThrowsZeroVectorWithoutNodes) {
  auto surface = makeSurface({line(10, 0, 0, 0), line(10, 1e-14, 0, 0)});
  SurfaceExtent extent;
  EXPECT_THROW(extent.calculateExtents(surface.get()), EMathZeroVector);
  EXPECT_TRUE(nodesOf(extent).empty());
  _GeoLine<double> ref;
  extent.getRefLine(ref);
  expectNear(ref.getDirection(), 0, 0, 1);
}

// ---- differentials
// -----------------------------------------------------------

TEST(SurfaceExtent,
     FrameOneHasZeroDifferentialAndLaterFramesCompareWithThePrevious) {
  // Reference line along x; the middles stand off it by 0, 3, 1 and 0.
  SurfaceExtent extent = extentOf({line(10, 0, 0, 0), line(10, 10, 0, 3),
                                   line(10, 20, 0, -1), line(10, 30, 0, 0)});
  const std::vector<ScanNode*> nodes = nodesOf(extent);
  ASSERT_EQ(nodes.size(), 4u);

  EXPECT_NEAR(distanceOf(*nodes[1]), 3.0, kTol);
  EXPECT_NEAR(distanceOf(*nodes[2]), 1.0, kTol);
  EXPECT_EQ(differentialOf(*nodes[0]), 0.0);
  EXPECT_EQ(differentialOf(*nodes[1]), 0.0);
  EXPECT_NEAR(differentialOf(*nodes[2]), (1.0 - 3.0) / std::sqrt(116.0), kTol);
  EXPECT_NEAR(differentialOf(*nodes[3]), (0.0 - 1.0) / std::sqrt(101.0), kTol);
}

TEST(SurfaceExtent, FrameWithoutLineIsSkippedAndTheDifferentialSpansTheGap) {
  SurfaceExtent extent =
      extentOf({line(10, 0, 0, 0), line(10, 10, 0, 3), noLine(),
                line(10, 30, 0, 1), line(10, 40, 0, 0)});

  EXPECT_EQ(frameIndicesOf(extent), (std::vector<std::int32_t>{0, 1, 3, 4}));
  const std::vector<ScanNode*> nodes = nodesOf(extent);
  EXPECT_NEAR(differentialOf(*nodes[2]), (1.0 - 3.0) / std::sqrt(404.0), kTol);
}

TEST(SurfaceExtent, FirstNodeAfterFrameOneMeasuresFromTheOrigin) {
  // Frames 0 and 1 too short: the first node is frame 2, whose differential
  // is taken against distance 0 at (0, 0, 0). Its middle lies at the origin,
  // so the step is 0/0: the division is made, nothing is thrown.
  SurfaceExtent extent = extentOf({line(3, 0, 0, 0), line(3, 0, 0, 0),
                                   line(10, 0, 0, 0), line(10, 10, 0, 0)});
  const std::vector<ScanNode*> nodes = nodesOf(extent);
  ASSERT_EQ(nodes.size(), 2u);
  EXPECT_EQ(nodes[0]->getFrameIndex(), 2);
  EXPECT_TRUE(std::isnan(differentialOf(*nodes[0])));
}

TEST(SurfaceExtent, EqualSuccessiveMiddlePointsDivideWithoutThrowing) {
  auto surface = makeSurface({line(10, 0, 0, 0), line(10, 10, 0, 2),
                              line(10, 10, 0, 2), line(10, 30, 0, 0)});
  SurfaceExtent extent;
  EXPECT_NO_THROW(extent.calculateExtents(surface.get()));
  const std::vector<ScanNode*> nodes = nodesOf(extent);
  ASSERT_EQ(nodes.size(), 4u);
  EXPECT_TRUE(std::isnan(differentialOf(*nodes[2])));
}

// ---- frames without lines and empty surfaces
// ---------------------------------

TEST(SurfaceExtent,
     FrameWithoutLineWhereAnEndIsSoughtLeavesTheExtentUnchanged) {
  // Frame 0 itself, a frame of the forward search, a frame of the backward
  // search.
  struct Case {
    int frames, shortFrame, missing;
  };
  const Case cases[] = {{5, -1, 0}, {6, 0, 1}, {6, -1, 5}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.missing);
    SurfaceExtent extent = computedAlongY();
    std::vector<testing::FrameShape> frames = straightFrames(c.frames);
    if (c.shortFrame >= 0) frames[c.shortFrame] = line(3, 0, 0, 0);
    frames[c.missing] = noLine();
    auto surface = makeSurface(frames);
    extent.calculateExtents(surface.get());
    expectStillAlongY(extent);
  }
}

TEST(SurfaceExtent, CompleteSurfaceWithoutFramesThrowsRangeAndKeepsTheExtent) {
  SurfaceExtent extent = computedAlongY();
  auto surface = makeSurface({});
  EXPECT_THROW(extent.calculateExtents(surface.get()),
               EScanSurfaceRangeException);
  expectStillAlongY(extent);
}

// ---- repeated calls and the node list
// ----------------------------------------

TEST(SurfaceExtent, SecondCallAppendsItsNodesBehindTheFirst) {
  auto surface = makeSurface(straightFrames(10));
  SurfaceExtent extent;
  extent.calculateExtents(surface.get());
  const std::vector<ScanNode*> first = nodesOf(extent);
  extent.calculateExtents(surface.get());
  const std::vector<ScanNode*> both = nodesOf(extent);

  ASSERT_EQ(both.size(), 20u);
  for (std::size_t i = 0; i < 10; ++i) {
    EXPECT_EQ(both[i], first[i]);  // earlier nodes stay where they were
    EXPECT_EQ(both[10 + i]->getFrameIndex(), static_cast<std::int32_t>(i));
    EXPECT_EQ(differentialOf(*both[10 + i]), 0.0);
  }
}

TEST(SurfaceExtent, GetNodeListReplacesWhatTheCallersVectorHeld) {
  SurfaceExtent extent = extentOf(straightFrames(3));
  ScanNode stranger;
  std::vector<ScanNode*> nodes(7, &stranger);
  extent.getNodeList(&nodes);
  ASSERT_EQ(nodes.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_NE(nodes[i], &stranger);
    EXPECT_EQ(nodes[i]->getFrameIndex(), static_cast<std::int32_t>(i));
  }
}

// ---- text output
// -------------------------------------------------------------

TEST(SurfaceExtent, TwoNodesPrintAsTwoLinesOfElevenCommaTerminatedNumbers) {
  SurfaceExtent extent = extentOf({line(6, 0, 0, 0), line(6, 1, 0, 0)});
  EXPECT_EQ(textOf(extent),
            "0,0,0,0,-2,0,0,3,0,0,0,\n"
            "1,0,0,1,-2,0,1,3,0,0,0,\n");
}

TEST(SurfaceExtent, PrintingFollowsTheStreamsFormat) {
  SurfaceExtent extent = extentOf({line(6, 0, 0, 0), line(6, 0.5, 0, 0)});
  std::ostringstream out;
  out << std::fixed << std::setprecision(2);
  EXPECT_EQ(&(out << extent), &out);  // the conventional spelling
  std::istringstream lines(out.str());
  std::string first;
  std::getline(lines, first);
  EXPECT_EQ(first, "0.00,0.00,0.00,0.00,-2.00,0.00,0.00,3.00,0.00,0.00,0.00,");
}

// ---- copies
// ------------------------------------------------------------------

TEST(SurfaceExtent, AssignmentCopiesEveryNodeAndDropsTheTargetsOldOnes) {
  auto surface = makeSurface(straightFrames(4));
  SurfaceExtent target = computedAlongY();
  std::string expected;
  {
    SurfaceExtent source;
    source.calculateExtents(surface.get());
    expected = textOf(source);
    target = source;
    const std::vector<ScanNode*> mine = nodesOf(target);
    const std::vector<ScanNode*> theirs = nodesOf(source);
    ASSERT_EQ(mine.size(), theirs.size());
    for (std::size_t i = 0; i < mine.size(); ++i) EXPECT_NE(mine[i], theirs[i]);
  }  // the source destroys its own nodes only
  EXPECT_EQ(textOf(target), expected);
  Vector split;
  target.getSplitDirection(split);
  expectNear(split, 1, 0, 0);
  _GeoLine<double> ref;
  target.getRefLine(ref);
  expectNear(ref.getDirection(), 1, 0, 0);

  const std::vector<ScanNode*> before = nodesOf(target);
  SurfaceExtent& same = target;
  target = same;
  EXPECT_EQ(nodesOf(target), before);
}

TEST(SurfaceExtent, CopyConstructorCopiesEveryNode) {
  auto original = std::make_unique<SurfaceExtent>(computedAlongY());
  SurfaceExtent copy(*original);
  const std::string expected = textOf(*original);
  EXPECT_NE(nodesOf(copy)[0], nodesOf(*original)[0]);
  original.reset();
  EXPECT_EQ(textOf(copy), expected);
  expectStillAlongY(copy);
}

TEST(SurfaceExtent, MovedFromExtentHoldsNoNodes) {
  SurfaceExtent source = computedAlongY();
  const std::vector<ScanNode*> nodes = nodesOf(source);
  SurfaceExtent moved(std::move(source));
  EXPECT_EQ(nodesOf(moved), nodes);
  EXPECT_TRUE(nodesOf(source).empty());  // NOLINT(bugprone-use-after-move)
  SurfaceExtent assigned;
  assigned = std::move(moved);
  EXPECT_EQ(nodesOf(assigned), nodes);
}

}  // namespace
}  // namespace QUAX
