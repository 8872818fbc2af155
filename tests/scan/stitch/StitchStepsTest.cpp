// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "geomath/MathErrors.h"
#include "scan/ScanErrors.h"
#include "scan/stitch/StitchSteps.h"
#include "tests/scan/stitch/StitchTestSurfaces.h"

namespace QUAX {
namespace stitch_detail {
namespace {

using stitch_test::Bowl;
using stitch_test::sweep;

SurfaceEntry box(double x0, double y0, double z0, double x1, double y1,
                 double z1) {
  SurfaceEntry e;
  e.boxMin[0] = x0;
  e.boxMin[1] = y0;
  e.boxMin[2] = z0;
  e.boxMax[0] = x1;
  e.boxMax[1] = y1;
  e.boxMax[2] = z1;
  return e;
}

TEST(StitchBoxes, OverlapWhenACornerLiesStrictlyInside) {
  const SurfaceEntry a = box(0, 0, 0, 2, 2, 2);
  EXPECT_TRUE(boxesOverlap(a, box(1, 1, 1, 3, 3, 3)));
  EXPECT_TRUE(boxesOverlap(box(1, 1, 1, 3, 3, 3), a));
  // One box inside the other: its corners are inside.
  EXPECT_TRUE(boxesOverlap(a, box(0.5, 0.5, 0.5, 1, 1, 1)));
  EXPECT_TRUE(boxesOverlap(box(0.5, 0.5, 0.5, 1, 1, 1), a));
}

TEST(StitchBoxes, TouchingCrossingOrEqualBoxesDoNotOverlap) {
  const SurfaceEntry a = box(0, 0, 0, 2, 2, 2);
  // Sharing a face.
  EXPECT_FALSE(boxesOverlap(a, box(2, 0, 0, 4, 2, 2)));
  // A bar through the middle: no corner of either inside the other.
  EXPECT_FALSE(boxesOverlap(a, box(-1, 0.5, 0.5, 3, 1.5, 1.5)));
  // Equal boxes: every corner lies on the other's boundary.
  EXPECT_FALSE(boxesOverlap(a, a));
  // Flat boxes in one plane hold nothing of each other strictly inside.
  EXPECT_FALSE(boxesOverlap(box(0, 0, 1, 2, 2, 1), box(1, 1, 1, 3, 3, 1)));
}

TEST(StitchBoxes, EntriesBoxTheirPointsAndCountPointsPerFrame) {
  auto surface = sweep(4, 5, -1.0, 2.0, 0.5, Bowl{0.3});
  surface->getFrame(2)->getScanLine()->resize(2);  // 5 + 5 + 2 + 5 points
  const auto entry = makeSurfaceEntry(*surface, false);
  EXPECT_EQ(entry->pointsPerFrame, 17 / 4);
  EXPECT_EQ(entry->boxMin[0], -1.0);
  EXPECT_EQ(entry->boxMax[0], 1.0);
  EXPECT_EQ(entry->boxMin[1], 2.0);
  EXPECT_EQ(entry->boxMax[1], 3.5);
  EXPECT_EQ(entry->boxMin[2], Bowl{0.3}(0.0, 2.0));
  EXPECT_EQ(entry->boxMax[2], Bowl{0.3}(-1.0, 3.5));
  EXPECT_EQ(entry->count, 0);
  EXPECT_EQ(entry->transform, _MathMatrix<double>());
  EXPECT_FALSE(entry->flag);
}

TEST(StitchBoxes, ASurfaceWithoutPointsOverlapsNothing) {
  auto surface = sweep(3, 0, 0.0, 0.0, 1.0, Bowl{});
  const auto entry = makeSurfaceEntry(*surface, true);
  EXPECT_EQ(entry->pointsPerFrame, 0);
  EXPECT_FALSE(
      boxesOverlap(*entry, box(-1e300, -1e300, -1e300, 1e300, 1e300, 1e300)));
}

// A flat sheet z = 0 with frames along y and points along x, spacing 1.
struct FlatSheet {
  std::unique_ptr<ScanSurface> surface =
      sweep(5, 6, 0.0, 0.0, 1.0, [](double, double) { return 0.0; });
  const ScanLine& line(std::size_t i) {
    return *surface->getFrame(i)->getScanLine();
  }
  _GeoPoint<double> point(std::size_t i, std::size_t j) {
    return line(i).getPoint(j)->getPosition();
  }
};

TEST(StitchLocalNormal, IsZeroOnEndFramesOrWithoutAnotherPointInTolerance) {
  FlatSheet sheet;
  const struct {
    std::size_t frame, point;
    double tolerance;
  } cases[] = {{0, 2, 1.5}, {4, 2, 1.5}, {2, 3, 0.9}};
  for (const auto& c : cases) {
    EXPECT_EQ(localNormal(*sheet.surface, c.frame, sheet.line(c.frame),
                          sheet.point(c.frame, c.point), c.tolerance),
              _MathVector<double>())
        << c.frame;
  }
}

TEST(StitchLocalNormal, FollowsTheOrderOfItsPoints) {
  FlatSheet sheet;
  // The in-frame point is the first one in line order near p: before p it
  // gives (0, 0, -1), after p (for the first point) (0, 0, 1).
  EXPECT_EQ(
      localNormal(*sheet.surface, 2, sheet.line(2), sheet.point(2, 3), 1.5),
      _MathVector<double>(0.0, 0.0, -1.0));
  EXPECT_EQ(
      localNormal(*sheet.surface, 2, sheet.line(2), sheet.point(2, 0), 1.5),
      _MathVector<double>(0.0, 0.0, 1.0));
}

TEST(StitchLocalNormal, TheLastOfEquallyNearNeighboursWins) {
  FlatSheet sheet;
  // Frame 1 gets two points equally near p = (2.5, 2, 0); the later one,
  // lowered, tilts the normal. On frame 3, (2, 3) and (3, 3) tie as well.
  ScanLine& before = *sheet.surface->getFrame(1)->getScanLine();
  before.resize(0);
  before.appendPoint(_GeoPoint<double>(2.0, 1.0, 0.5));
  before.appendPoint(_GeoPoint<double>(3.0, 1.0, -0.5));
  const _GeoPoint<double> p(2.5, 2.0, 0.0);
  const _GeoPoint<double> a0(3.0, 1.0, -0.5), a1(3.0, 3.0, 0.0),
      a2(0.0, 2.0, 0.0);
  _MathVector<double> expected = (a0 - a1).cross(a2 - p);
  expected.normalize();
  EXPECT_EQ(localNormal(*sheet.surface, 2, sheet.line(2), p, 3.0), expected);
}

TEST(StitchLocalNormal, AnEmptyNeighbourRepeatsThePointBeforeIt) {
  FlatSheet sheet;
  // Frame 3 empty: it repeats frame 1's point, the two coincide and the
  // cross product vanishes.
  sheet.surface->getFrame(3)->getScanLine()->resize(0);
  EXPECT_THROW(
      localNormal(*sheet.surface, 2, sheet.line(2), sheet.point(2, 3), 1.5),
      EMathZeroVector);

  // Frame 1 empty: it gives (0, 0, 0).
  FlatSheet other;
  other.surface->getFrame(1)->getScanLine()->resize(0);
  const _GeoPoint<double> p = other.point(2, 3);
  _MathVector<double> expected =
      (_GeoPoint<double>() - other.point(3, 3)).cross(other.point(2, 2) - p);
  expected.normalize();
  EXPECT_EQ(localNormal(*other.surface, 2, other.line(2), p, 1.5), expected);
}

TEST(StitchLocalNormal, ANeighbourWithoutScanLineThrows) {
  FlatSheet sheet;
  sheet.surface->getFrame(3)->setScanLine(nullptr);
  EXPECT_THROW(
      localNormal(*sheet.surface, 2, sheet.line(2), sheet.point(2, 3), 1.5),
      EScanFrameNoScanLine);
}

// A large bowl A and, over its middle, a lifted sweep B of `frames` lines
// of 60 points, spaced 0.25 (so each sampled frame can give 7 pairs).
struct SearchSetup {
  std::unique_ptr<ScanSurface> a = sweep(41, 41, -10.0, -10.0, 0.5, Bowl{});
  std::unique_ptr<ScanSurface> b;
  std::unique_ptr<SurfaceEntry> entryA, entryB;
  CorrespondenceList found;

  explicit SearchSetup(int frames)
      : b(sweep(frames, 60, -7.5, -4.0, 0.25, Bowl{0.1})) {
    entryA = makeSurfaceEntry(*a, true);
    entryB = makeSurfaceEntry(*b, true);
    SurfaceSearch search(1.0, false);
    findCorrespondences(*entryA, *entryB, 1.0, search, found);
  }
  // The frames of b the correspondences were sampled on, runs collapsed.
  std::vector<int> frames() const {
    std::vector<int> out;
    for (const Correspondence& c : found) {
      const int frame =
          static_cast<int>(std::lround((c.items[0].position.y() + 4.0) / 0.25));
      if (out.empty() || out.back() != frame) out.push_back(frame);
    }
    return out;
  }
  int countOnFrame(int frame) const {
    int n = 0;
    for (const Correspondence& c : found) {
      n += std::lround((c.items[0].position.y() + 4.0) / 0.25) == frame;
    }
    return n;
  }
};

TEST(StitchCorrespondences, SixFramesAreSampledEverySecondThenEveryFrame) {
  SearchSetup s(6);
  // Step 2: frames 0, 2, 4 (0 has no normal); step 1: frames 0 to 5.
  EXPECT_EQ(s.frames(), (std::vector<int>{2, 4, 1, 2, 3, 4}));
  EXPECT_EQ(s.countOnFrame(2), 14);
}

TEST(StitchCorrespondences, EighteenFramesAreSampledEveryThirdThenEveryFrame) {
  SearchSetup s(18);
  std::vector<int> expected = {3, 6, 9, 12, 15};
  for (int i = 1; i <= 16; ++i) expected.push_back(i);
  EXPECT_EQ(s.frames(), expected);
}

TEST(StitchCorrespondences, TheFinerPassIsSkippedOnceEnoughAreFound) {
  // 14 frames: step 2 samples frames 2 to 12 (13 is the last), 6 frames of
  // 7 pairs: 42 >= 36, no finer pass.
  SearchSetup s(14);
  EXPECT_EQ(s.frames(), (std::vector<int>{2, 4, 6, 8, 10, 12}));
  EXPECT_EQ(s.found.size(), 42u);

  // 24 frames: step 4 gives 35, step 2 completes its pass, step 1 never
  // runs.
  SearchSetup t(24);
  std::vector<int> expected = {4, 8, 12, 16, 20};
  for (int i = 2; i <= 22; i += 2) expected.push_back(i);
  EXPECT_EQ(t.frames(), expected);
}

TEST(StitchCorrespondences, FirstAndLastFramesNeverGiveCorrespondences) {
  for (int frames : {3, 6, 7, 18}) {
    SearchSetup s(frames);
    EXPECT_FALSE(s.found.empty());
    EXPECT_EQ(s.countOnFrame(0), 0) << frames;
    EXPECT_EQ(s.countOnFrame(frames - 1), 0) << frames;
  }
}

TEST(StitchCorrespondences, PairsHoldTheSampleTheNearestPointAndTheNormal) {
  SearchSetup s(6);
  SurfaceSearch pass(1.0, true);
  for (const Correspondence& c : s.found) {
    EXPECT_EQ(c.items[0].entry, s.entryB.get());
    EXPECT_EQ(c.items[1].entry, s.entryA.get());
    EXPECT_EQ(c.items[1].position, pass.nearest(*s.a, c.items[0].position));
    EXPECT_LE((c.items[0].position - c.items[1].position).length(), 1.0);
    EXPECT_NEAR(c.normal.length(), 1.0, 1e-12);
  }
}

TEST(StitchCorrespondences, NothingIsFoundWithoutOverlap) {
  auto a = sweep(10, 10, 0.0, 0.0, 1.0, Bowl{});
  auto b = sweep(10, 10, 50.0, 0.0, 1.0, Bowl{});
  auto entryA = makeSurfaceEntry(*a, true);
  auto entryB = makeSurfaceEntry(*b, true);
  SurfaceSearch search(1.0, false);
  CorrespondenceList found;
  findCorrespondences(*entryA, *entryB, 1.0, search, found);
  EXPECT_TRUE(found.empty());
}

Correspondence pairOf(SurfaceEntry& sampled, _GeoPoint<double> p,
                      SurfaceEntry& nearest, _GeoPoint<double> q) {
  return Correspondence{
      {CorrespondenceItem{&sampled, p}, CorrespondenceItem{&nearest, q}},
      _MathVector<double>(0.0, 0.0, 1.0)};
}

TEST(StitchDisplacement, AveragesIntoBothTranslationsOrLeavesTheReference) {
  for (bool toReference : {false, true}) {
    SCOPED_TRACE(toReference);
    SurfaceEntry a, b;
    CorrespondenceList list;
    list.push_back(pairOf(b, {0, 0, 1}, a, {5, 5, 0}));
    list.push_back(pairOf(b, {0, 0, 0.5}, a, {1, 1, 0}));
    displaceCorrespondences(list, toReference);
    EXPECT_EQ(a.transform.getTranslation(), _MathVector<double>(0, 0, 0.75));
    // The sample moves back unless its surface is the reference.
    EXPECT_EQ(b.transform.getTranslation(),
              _MathVector<double>(0, 0, toReference ? 0.0 : -0.75));
    EXPECT_EQ(b.count, toReference ? 0 : 2);
    EXPECT_EQ(list.front().items[0].position,
              _GeoPoint<double>(0, 0, toReference ? 1 : 0));
    if (!toReference) {
      // The nearest point moved onto the plane too.
      EXPECT_EQ(a.count, 2);
      EXPECT_EQ(list.front().items[1].position, _GeoPoint<double>(5, 5, 1));
    }
  }
}

TEST(StitchDisplacement, LaterPassesTakeANewReference) {
  // Pairs (b, a), (c, a), (b, a): the first pass takes b as reference and
  // handles the first and third; the second takes c.
  SurfaceEntry a, b, c;
  CorrespondenceList list;
  list.push_back(pairOf(b, {0, 0, 1}, a, {0, 0, 0}));
  list.push_back(pairOf(c, {0, 0, 4}, a, {0, 0, 0}));
  list.push_back(pairOf(b, {0, 0, 2}, a, {0, 0, 0}));
  displaceCorrespondences(list, true);
  // a: (1 + 2) / 2 = 1.5 after the first pass, then (1.5 * 2 + 4) / 3.
  EXPECT_EQ(a.transform.getTranslation(),
            _MathVector<double>(0, 0, (1.5 * 2.0 + 4.0) / 3.0));
  EXPECT_EQ(a.count, 3);
  EXPECT_EQ(b.count, 0);
  EXPECT_EQ(c.count, 0);
}

TEST(StitchRefinement, ItemsBecomeTheNearestPointsToTheCentroid) {
  auto a = sweep(5, 5, 0.0, 0.0, 1.0, [](double, double) { return 0.0; });
  auto b = sweep(5, 5, 0.0, 0.0, 1.0, [](double, double) { return 0.4; });
  auto entryA = makeSurfaceEntry(*a, true);
  auto entryB = makeSurfaceEntry(*b, true);
  CorrespondenceList list;
  list.push_back(pairOf(*entryB, {2.2, 1.1, 0.4}, *entryA, {3.0, 1.0, 0.0}));
  SurfaceSearch search(1.0, false);
  refineCorrespondences(list, search);
  // Centroid (2.6, 1.05, 0.2): nearest lattice points (3, 1).
  EXPECT_EQ(list.front().items[0].position, _GeoPoint<double>(3.0, 1.0, 0.4));
  EXPECT_EQ(list.front().items[1].position, _GeoPoint<double>(3.0, 1.0, 0.0));
}

TEST(StitchMoves, SurfacesMoveWithTheirBoxesAndTheirSearch) {
  auto a = sweep(5, 5, 0.0, 0.0, 1.0, Bowl{});
  auto entry = makeSurfaceEntry(*a, false);
  SurfaceSearch search(0.3, false);
  const _GeoPoint<double> point(1.0, 1.0, Bowl{}(1.0, 1.0));
  EXPECT_EQ(search.nearest(*a, point), point);
  entry->transform.setTranslation(_MathVector<double>(0.5, 0.0, -0.25));
  moveSurface(*entry, search);
  EXPECT_TRUE(entry->flag);
  EXPECT_EQ(entry->boxMin[0], 0.5);
  EXPECT_EQ(entry->boxMax[2], Bowl{}(4.0, 4.0) - 0.25);
  const _GeoPoint<double> movedPoint(1.5, 1.0, Bowl{}(1.0, 1.0) - 0.25);
  EXPECT_EQ(a->getFrame(1)->getScanLine()->getPoint(1)->getPosition(),
            movedPoint);
  EXPECT_EQ(search.nearest(*a, {1.5, 1.0, -0.2}), movedPoint);
}

}  // namespace
}  // namespace stitch_detail
}  // namespace QUAX
