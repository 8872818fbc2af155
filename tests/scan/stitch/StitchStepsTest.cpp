// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "geomath/MathErrors.h"
#include "scan/ScanErrors.h"
#include "scan/stitch/FramedSurface.h"
#include "scan/stitch/StitchSteps.h"
#include "tests/scan/stitch/StitchTestSurfaces.h"

namespace QUAX {
namespace stitch_detail {
namespace {

using stitch_test::Bowl;
using stitch_test::sweep;
using Point = _GeoPoint<double>;
using Vector = _MathVector<double>;

SurfaceEntry box(double x0, double y0, double z0, double x1, double y1,
                 double z1) {
  SurfaceEntry e;
  e.boxMin[0] = x0, e.boxMin[1] = y0, e.boxMin[2] = z0;
  e.boxMax[0] = x1, e.boxMax[1] = y1, e.boxMax[2] = z1;
  return e;
}

TEST(StitchBoxes, OverlapWhenACornerOfEitherLiesStrictlyInsideTheOther) {
  const SurfaceEntry a = box(0, 0, 0, 2, 2, 2);
  const struct {
    SurfaceEntry b;
    bool overlap;
  } cases[] = {
      {box(1, 1, 1, 3, 3, 3), true},
      {box(0.5, 0.5, 0.5, 1, 1, 1), true},      // inside
      {box(2, 0, 0, 4, 2, 2), false},           // sharing a face
      {box(-1, 0.5, 0.5, 3, 1.5, 1.5), false},  // a bar through it
      {a, false},                               // corners on the boundary
  };
  for (const auto& c : cases) {
    EXPECT_EQ(boxesOverlap(a, c.b), c.overlap) << c.b.boxMin[0];
    EXPECT_EQ(boxesOverlap(c.b, a), c.overlap) << c.b.boxMin[0];
  }
  EXPECT_FALSE(boxesOverlap(box(0, 0, 1, 2, 2, 1), box(1, 1, 1, 3, 3, 1)));
  // A small box whose corner lies on one face of `a`, strictly inside it in
  // the other two coordinates: touching, on each of the six faces, is not
  // overlapping.
  for (int axis = 0; axis < 3; ++axis) {
    for (const double face : {0.0, 2.0}) {
      double lo[3] = {0.5, 0.5, 0.5}, hi[3] = {1.5, 1.5, 1.5};
      lo[axis] = face - (face == 0.0 ? 1.0 : 0.0);
      hi[axis] = face + (face == 0.0 ? 0.0 : 1.0);
      const SurfaceEntry b = box(lo[0], lo[1], lo[2], hi[0], hi[1], hi[2]);
      EXPECT_FALSE(boxesOverlap(a, b)) << axis << " " << face;
      EXPECT_FALSE(boxesOverlap(b, a)) << axis << " " << face;
    }
  }

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

  auto none = sweep(3, 0, 0.0, 0.0, 1.0, Bowl{});
  EXPECT_FALSE(boxesOverlap(*makeSurfaceEntry(*none, true),
                            box(-1e300, -1e300, -1e300, 1e300, 1e300, 1e300)));
}

// A flat sheet z = 0 with frames along y and points along x, spacing 1.
struct FlatSheet {
  std::unique_ptr<ScanSurface> surface =
      sweep(5, 6, 0.0, 0.0, 1.0, [](double, double) { return 0.0; });
  ScanLine& line(std::size_t i) { return *surface->getFrame(i)->getScanLine(); }
  Point point(std::size_t i, std::size_t j) {
    return line(i).getPoint(j)->getPosition();
  }
  Vector normal(std::size_t frame, const Point& p, double tolerance) {
    return localNormal(*surface, frame, line(frame), p, tolerance);
  }
};

Vector unit(Vector v) {
  v.normalize();
  return v;
}

TEST(StitchLocalNormal, FollowsItsPointsTiesEmptyNeighboursAndMissingLines) {
  // Zero on end frames or without another point in tolerance; the in-frame
  // point is the first one in line order near p.
  const struct {
    std::size_t frame, point;
    double tolerance;
    Vector normal;
  } cases[] = {{0, 2, 1.5, Vector()},
               {4, 2, 1.5, Vector()},
               {2, 3, 0.9, Vector()},
               {2, 3, 1.5, Vector(0, 0, -1)},
               {2, 0, 1.5, Vector(0, 0, 1)}};
  for (const auto& c : cases) {
    FlatSheet sheet;
    EXPECT_EQ(sheet.normal(c.frame, sheet.point(c.frame, c.point), c.tolerance),
              c.normal)
        << c.frame << " " << c.point;
  }
  auto flat = [] { return std::make_unique<FlatSheet>(); };
  // Frame 1 gets two points equally near p; the later one, lowered, tilts
  // the normal. On frame 3, (2, 3) and (3, 3) tie as well.
  auto sheet = flat();
  sheet->line(1).resize(0);
  sheet->line(1).appendPoint(Point(2.0, 1.0, 0.5));
  sheet->line(1).appendPoint(Point(3.0, 1.0, -0.5));
  const Point p(2.5, 2.0, 0.0);
  EXPECT_EQ(
      sheet->normal(2, p, 3.0),
      unit((Point(3, 1, -0.5) - Point(3, 3, 0)).cross(Point(0, 2, 0) - p)));
  // An empty frame 3 repeats frame 1's point: the cross product vanishes.
  sheet = flat();
  sheet->line(3).resize(0);
  EXPECT_THROW(sheet->normal(2, sheet->point(2, 3), 1.5), EMathZeroVector);
  // An empty frame 1 gives (0, 0, 0).
  sheet = flat();
  sheet->line(1).resize(0);
  const Point q = sheet->point(2, 3);
  EXPECT_EQ(sheet->normal(2, q, 1.5),
            unit((Point() - sheet->point(3, 3)).cross(sheet->point(2, 2) - q)));
  sheet = flat();
  sheet->surface->getFrame(3)->setScanLine(nullptr);
  EXPECT_THROW(sheet->normal(2, Point(3, 2, 0), 1.5), EScanFrameNoScanLine);
}

// A large bowl A and, over its middle, a lifted sweep B of `frames` lines
// of 60 points, spaced 0.25 (so each sampled frame can give 7 pairs).
struct SearchSetup {
  std::unique_ptr<ScanSurface> a = sweep(41, 41, -10.0, -10.0, 0.5, Bowl{});
  std::unique_ptr<ScanSurface> b;
  std::unique_ptr<SurfaceEntry> entryA, entryB;
  CorrespondenceList found;

  explicit SearchSetup(int frames, double x0 = -7.5)
      : b(sweep(frames, 60, x0, -4.0, 0.25, Bowl{0.1})) {
    entryA = makeSurfaceEntry(*a, true);
    entryB = makeSurfaceEntry(*b, true);
    SurfaceSearch search(1.0, false);
    findCorrespondences(*entryA, *entryB, 1.0, search, found);
  }
  // The frames of b the correspondences were sampled on, runs collapsed.
  std::vector<int> frames() const {
    std::vector<int> out;
    for (const Correspondence& c : found) {
      const int frame = int(std::lround((c.items[0].position.y() + 4) / 0.25));
      if (out.empty() || out.back() != frame) out.push_back(frame);
    }
    return out;
  }
};

std::vector<int> range(int from, int to, int step, std::vector<int> head = {}) {
  for (int i = from; i <= to; i += step) head.push_back(i);
  return head;
}

TEST(StitchCorrespondences,
     FramesAreSampledCoarseThenFinerUntilEnoughAreFound) {
  // The first and last frames never give pairs (no normal); a finer pass
  // runs while fewer than 36 were found.
  const struct {
    int frames;
    std::vector<int> sampled;
    std::size_t pairs;
  } cases[] = {{6, {2, 4, 1, 2, 3, 4}, 42},
               {14, {2, 4, 6, 8, 10, 12}, 42},
               {18, range(1, 16, 1, {3, 6, 9, 12, 15}), 147},
               {24, range(2, 22, 2, {4, 8, 12, 16, 20}), 112},
               {3, {1}, 7}};
  for (const auto& c : cases) {
    SearchSetup s(c.frames);
    EXPECT_EQ(s.frames(), c.sampled) << c.frames;
    EXPECT_EQ(s.found.size(), c.pairs) << c.frames;
  }
  SurfaceSearch pass(1.0, true);
  SearchSetup s(6);
  for (const Correspondence& c : s.found) {
    EXPECT_EQ(c.items[0].entry, s.entryB.get());
    EXPECT_EQ(c.items[1].entry, s.entryA.get());
    EXPECT_EQ(c.items[1].position, pass.nearest(*s.a, c.items[0].position));
    EXPECT_LE((c.items[0].position - c.items[1].position).length(), 1.0);
    EXPECT_NEAR(c.normal.length(), 1.0, 1e-12);
  }
  EXPECT_TRUE(SearchSetup(10, 50.0).found.empty());  // no overlap
}

Correspondence pairOf(SurfaceEntry& sampled, Point p, SurfaceEntry& nearest,
                      Point q) {
  return Correspondence{
      {CorrespondenceItem{&sampled, p}, CorrespondenceItem{&nearest, q}},
      Vector(0.0, 0.0, 1.0)};
}

TEST(StitchDisplacement, AveragesIntoBothTranslationsOrLeavesTheReference) {
  for (bool toReference : {false, true}) {
    SCOPED_TRACE(toReference);
    SurfaceEntry a, b;
    CorrespondenceList list;
    list.push_back(pairOf(b, {0, 0, 1}, a, {5, 5, 0}));
    list.push_back(pairOf(b, {0, 0, 0.5}, a, {1, 1, 0}));
    displaceCorrespondences(list, toReference);
    EXPECT_EQ(a.transform.getTranslation(), Vector(0, 0, 0.75));
    EXPECT_EQ(a.count, 2);
    EXPECT_EQ(list.front().items[1].position, Point(5, 5, 1));
    // The sample moves back unless its surface is the reference.
    EXPECT_EQ(b.transform.getTranslation(),
              Vector(0, 0, toReference ? 0.0 : -0.75));
    EXPECT_EQ(b.count, toReference ? 0 : 2);
    EXPECT_EQ(list.front().items[0].position, Point(0, 0, toReference));
  }
  // Pairs (b, a), (c, a), (b, a): the first pass takes b as reference and
  // handles the first and third; the second takes c.
  SurfaceEntry a, b, c;
  CorrespondenceList list;
  list.push_back(pairOf(b, {0, 0, 1}, a, {0, 0, 0}));
  list.push_back(pairOf(c, {0, 0, 4}, a, {0, 0, 0}));
  list.push_back(pairOf(b, {0, 0, 2}, a, {0, 0, 0}));
  displaceCorrespondences(list, true);
  EXPECT_EQ(a.transform.getTranslation(), Vector(0, 0, (1.5 * 2 + 4) / 3));
  EXPECT_EQ(a.count, 3);
  EXPECT_EQ(b.count + c.count, 0);
}

TEST(StitchRefinementAndMoves,
     ItemsGoToTheCentroidAndSurfacesMoveWithTheirSearch) {
  auto a = sweep(5, 5, 0.0, 0.0, 1.0, [](double, double) { return 0.0; });
  auto b = sweep(5, 5, 0.0, 0.0, 1.0, [](double, double) { return 0.4; });
  auto entryA = makeSurfaceEntry(*a, true);
  auto entryB = makeSurfaceEntry(*b, true);
  CorrespondenceList list;
  list.push_back(pairOf(*entryB, {2.2, 1.1, 0.4}, *entryA, {3.0, 1.0, 0.0}));
  SurfaceSearch search(1.0, false);
  refineCorrespondences(list, search);
  // Centroid (2.6, 1.05, 0.2): nearest lattice points (3, 1).
  EXPECT_EQ(list.front().items[0].position, Point(3.0, 1.0, 0.4));
  EXPECT_EQ(list.front().items[1].position, Point(3.0, 1.0, 0.0));

  auto bowl = sweep(5, 5, 0.0, 0.0, 1.0, Bowl{});
  auto entry = makeSurfaceEntry(*bowl, false);
  SurfaceSearch near(0.3, false);
  const Point point(1.0, 1.0, Bowl{}(1.0, 1.0));
  EXPECT_EQ(near.nearest(*bowl, point), point);
  entry->transform.setTranslation(Vector(0.5, 0.0, -0.25));
  moveSurface(*entry, near);
  EXPECT_TRUE(entry->flag);
  EXPECT_EQ(entry->boxMin[0], 0.5);
  EXPECT_EQ(entry->boxMax[2], Bowl{}(4.0, 4.0) - 0.25);
  const Point moved(1.5, 1.0, Bowl{}(1.0, 1.0) - 0.25);
  EXPECT_EQ(bowl->getFrame(1)->getScanLine()->getPoint(1)->getPosition(),
            moved);
  EXPECT_EQ(near.nearest(*bowl, {1.5, 1.0, -0.2}), moved);
}

}  // namespace
}  // namespace stitch_detail
}  // namespace QUAX

namespace QUAX {
namespace stitch_detail {
namespace {

TEST(FramedSurface, GathersTheFramesNearTheBoxAndMeasuresTheMedianSpacing) {
  // Frames 0.5 apart but for the first two gaps (2.0), points 0.25 apart
  // along a line but for the first gap of every line (1.0): the medians
  // are the common spacings, whichever frames and points are sampled. An
  // odd number of frames, so that every other one is sampled up to the last.
  constexpr std::size_t kFrames = 141;
  auto surface = std::make_unique<ScanSurface>();
  double y = 0.0;
  for (std::size_t f = 0; f < kFrames; ++f) {
    y += f == 0 ? 0.0 : (f < 3 ? 2.0 : 0.5);
    auto line = std::make_unique<ScanLine>();
    for (int j = 0; j < 60; ++j) {
      line->appendPoint(Point(j == 0 ? -0.75 : 0.25 * j, y, 0.0));
    }
    surface->appendFrame(std::make_unique<ScanFrame>(std::move(line)));
  }
  surface->setComplete();
  // Against the plain rule: a frame is gathered, whole, when a frame within
  // `reach` of it holds a point in the box.
  const double boxes[][6] = {{-1, -1, -1, 100, 1e9, 1},  // everything
                             {5, 0.5, -1, 6, 2.5, 1},    // frame 1 only
                             {5, 30, -1, 6, 40, 1},
                             {5, 72.9, -1, 6, 73.1, 1},  // the last frame
                             {5, 1, -1, 6, 1.5, 1},      // between frames
                             {5, 4, 0, 5, 4, 0}};  // one point, on every face
  for (const auto& b : boxes) {
    for (const std::size_t reach : {0u, 1u, 3u}) {
      const FramedPoints grid = gatherPoints(*surface, b, b + 3, reach);
      ASSERT_EQ(grid.frameCount(), kFrames);
      for (std::size_t f = 0; f < kFrames; ++f) {
        bool wanted = false;
        for (std::size_t g = f >= reach ? f - reach : 0;
             g <= f + reach && g < kFrames; ++g) {
          const double gy =
              surface->getFrame(g)->getScanLine()->getPoint(0)->position().y();
          wanted = wanted || (gy >= b[1] && gy <= b[4]);
        }
        EXPECT_EQ(grid.start[f + 1] - grid.start[f], wanted ? 60u : 0u)
            << b[1] << " reach " << reach << " frame " << f;
      }
    }
  }
  const double all[6] = {-1e9, -1e9, -1e9, 1e9, 1e9, 1e9};
  const FramedPoints grid = gatherPoints(*surface, all, all + 3, 0);
  // Along a line the walk reaches the nearest point from either side.
  for (const std::size_t from : {0u, 10u, 59u, 99u}) {
    EXPECT_EQ(walkToNearest(grid.points.data(), 60, grid.points[10], from),
              10u);
  }
  // It stays on its line, though the next line starts nearer.
  EXPECT_EQ(walkToNearest(grid.points.data(), 60, Vec{-0.75, 1.9, 0}, 59), 0u);
  const Spacing spacing = measureSpacing(grid);
  EXPECT_EQ(spacing.alongLine, 0.25);
  EXPECT_EQ(spacing.acrossFrames, 0.5);
  // Frames 0 to 2 only, the rest left empty: across is measured where a
  // next frame holds points.
  const Spacing start =
      measureSpacing(gatherPoints(*surface, boxes[1], boxes[1] + 3, 1));
  EXPECT_EQ(start.alongLine, 0.25);
  EXPECT_EQ(start.acrossFrames, 2.0);
  // A scanner standing still repeats its points and lines (zero steps are no
  // spacing); lines of two points give one step each, not one more into the
  // next line.
  for (const int repeat : {1, 3}) {
    FramedPoints held;
    held.start.push_back(0);
    for (int f = 0; f < 30 * repeat; ++f) {
      for (int j = 0; j < 2 * repeat; ++j) {
        held.points.push_back(Vec{0.25 * (j / repeat), 0.5 * (f / repeat), 0});
      }
      held.start.push_back(held.points.size());
    }
    const Spacing still = measureSpacing(held);
    EXPECT_EQ(still.alongLine, 0.25) << repeat;
    EXPECT_EQ(still.acrossFrames, 0.5) << repeat;
  }
  // Every other profile lost: no line has a next one to measure across to
  // (not even its own end, which the hairpins bring back near its start).
  FramedPoints lost;
  lost.start.push_back(0);
  for (int f = 0; f < 40; ++f) {
    for (int j = 0; f % 2 == 0 && j < 8; ++j) {
      lost.points.push_back(
          Vec{0.25 * (j < 4 ? j : 7 - j), 0.5 * f, j < 4 ? 0.0 : 0.25});
    }
    lost.start.push_back(lost.points.size());
  }
  EXPECT_EQ(measureSpacing(lost).alongLine, 0.25);
  EXPECT_EQ(measureSpacing(lost).acrossFrames, 0.0);
}

TEST(FramedSurface, FitsAQuadraticAndGivesItsPointAndNormalNearTheCentre) {
  // A bowl sampled on a grid turned by 0.5 rad, 0.25 along the lines and
  // 0.4 across: symmetric about the centre, so the height over the
  // neighbours' plane is the bowl itself and the patch reproduces it to
  // rounding; a spike among the neighbours is left out of the second fit.
  // Its points scatter off their plane a tenth as much as along the lines,
  // well within the flatness of a half.
  // The same at other sizes, as the same surface in metres or micrometres.
  for (const double scale : {1.0, 0.01, 0.001, 1000.0}) {
    const auto f = [scale](double x, double y) {
      return (0.5 * x * x + 0.03 * x * y + 0.3 * y * y) / scale;
    };
    // The frames after the centre's (or the points after it on every line)
    // moved off by a gap wider than the step limit: the centre has
    // neighbours on one side only, and no patch; nor has a centre that is
    // not a number.
    for (const int variant : {0, 1, 2, 3, 4}) {
      const double spike = variant == 1 ? 0.5 : 0.0;
      const double gap = variant >= 2 ? 3.0 * scale : 0.0;
      FramedPoints grid;
      grid.start.push_back(0);
      for (int i = -4; i <= 4; ++i) {
        for (int j = -6; j <= 6; ++j) {
          const double a = 0.25 * scale * j + (variant == 3 && j > 0 ? gap : 0);
          const double b = 0.4 * scale * i + (variant == 2 && i > 0 ? gap : 0);
          const double x = std::cos(0.5) * a - std::sin(0.5) * b;
          const double y = std::sin(0.5) * a + std::cos(0.5) * b;
          grid.points.push_back(
              Vec{x, y, f(x, y) + (i * j == -1 ? spike * scale : 0)});
        }
        grid.start.push_back(grid.points.size());
      }
      if (variant == 4) grid.points[4 * 13 + 6].z = std::nan("");
      FramedPatch patch;
      ASSERT_EQ(fitFramedPatch(grid, 4, 6, 2, scale, 0.5, patch), variant < 2);
      if (variant >= 2) continue;
      const double tolerance = 1e-9 * scale;
      for (Vec p : {Vec{0.3, -0.2, 0.5}, Vec{-0.45, -0.1, -0.2},
                    Vec{0.05, 0.35, 0.0}}) {
        p = Vec{p.x * scale, p.y * scale, p.z * scale};
        Vec point, normal;
        patch.at(p, point, normal);
        EXPECT_NEAR(point.x, p.x, tolerance) << spike;
        EXPECT_NEAR(point.y, p.y, tolerance) << spike;
        EXPECT_NEAR(point.z, f(p.x, p.y), tolerance) << spike;
        const Vec up{(-p.x - 0.03 * p.y) / scale,
                     (-0.6 * p.y - 0.03 * p.x) / scale, 1.0};
        EXPECT_NEAR(std::fabs(dot(normal, up)), length(up), 1e-9) << spike;
      }
    }
  }
  // Frames beside the centre's holding a point each leave the cross term
  // undetermined: the patch still fits the terms its neighbours determine.
  FramedPoints cross;
  cross.start.push_back(0);
  const auto g = [](double x, double y) { return x * x / 16 - y * y / 8; };
  for (int i = -2; i <= 2; ++i) {
    for (int j = -2; j <= 2; ++j) {
      if (i != 0 && j != 0) continue;
      const double x = j / 4.0, y = i / 2.0;
      cross.points.push_back(Vec{x, y, g(x, y)});
    }
    cross.start.push_back(cross.points.size());
  }
  FramedPatch patch;
  ASSERT_TRUE(fitFramedPatch(cross, 2, 2, 2, 1.0, 0.5, patch));
  Vec point, normal;
  patch.at(Vec{0.25, 0.5, 0.0}, point, normal);
  EXPECT_NEAR(point.z, g(0.25, 0.5), 1e-12);
  const Vec up{-0.25 / 8, 0.5 / 4, 1.0};
  EXPECT_NEAR(std::fabs(dot(normal, up)), length(up), 1e-9);
}

}  // namespace
}  // namespace stitch_detail
}  // namespace QUAX
