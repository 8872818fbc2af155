// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "scan/stitch/StitchPointIndex.h"

namespace QUAX {
namespace stitch_detail {
namespace {

using Points = std::vector<StitchPosition>;

// Compares the grid with the pass for one query; returns the pass's answer.
StitchNearest expectSameAnswer(const StitchPointIndex& index,
                               const Points& points,
                               const StitchPosition& query, double tolerance) {
  const StitchNearest pass =
      nearestPointByPass(points.data(), points.size(), query, tolerance);
  const StitchNearest grid = index.nearest(query);
  EXPECT_EQ(grid.ordinal, pass.ordinal)
      << "query (" << query.x << ", " << query.y << ", " << query.z
      << ") tolerance " << tolerance;
  EXPECT_EQ(grid.position.x, pass.position.x);
  EXPECT_EQ(grid.position.y, pass.position.y);
  EXPECT_EQ(grid.position.z, pass.position.z);
  return pass;
}

// Moves the index and, the same way, the points the pass searches.
void moveBoth(StitchPointIndex& index, Points& points, const double (&t)[3]) {
  index.translate(t[0], t[1], t[2]);
  for (StitchPosition& p : points) {
    p.x = p.x + t[0];
    p.y = p.y + t[1];
    p.z = p.z + t[2];
  }
}

// A wavy sheet sampled along lines, as a sweep of a line scanner gives it.
Points sheet(int lines, int perLine, double spacing, double dz,
             std::mt19937_64& rng) {
  std::normal_distribution<double> noise(0.0, spacing * 0.05);
  Points points;
  for (int i = 0; i < lines; ++i) {
    for (int j = 0; j < perLine; ++j) {
      const double x = j * spacing + noise(rng);
      const double y = i * spacing + noise(rng);
      points.push_back({x, y, dz + 0.5 * std::sin(x * 0.3) + noise(rng)});
    }
  }
  return points;
}

TEST(StitchPointIndex, AgreesWithThePassOnRandomClouds) {
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> coordinate(-20.0, 20.0);
  for (double tolerance : {0.3, 1.0, 2.5, 7.0, 100.0}) {
    Points points(3000);
    for (StitchPosition& p : points) {
      p = {coordinate(rng), coordinate(rng), coordinate(rng) * 0.2};
    }
    StitchPointIndex index;
    index.build(points.data(), points.size(), tolerance);
    int found = 0;
    for (int q = 0; q < 400; ++q) {
      const StitchPosition query{coordinate(rng) * 1.2, coordinate(rng) * 1.2,
                                 coordinate(rng) * 0.3};
      found += expectSameAnswer(index, points, query, tolerance).found();
    }
    EXPECT_GT(found, 0) << tolerance;
  }
}

TEST(StitchPointIndex, AgreesWithThePassOnScannedSheets) {
  std::mt19937_64 rng(11);
  Points points = sheet(60, 80, 0.1, 0.0, rng);
  const Points other = sheet(60, 80, 0.1, 0.05, rng);
  std::uniform_int_distribution<std::size_t> pick(0, other.size() - 1);
  for (double tolerance : {0.05, 0.12, 0.5}) {
    StitchPointIndex index;
    index.build(points.data(), points.size(), tolerance);
    for (int q = 0; q < 500; ++q) {
      const StitchPosition& query = other[pick(rng)];
      expectSameAnswer(index, points, query, tolerance);
    }
  }
}

TEST(StitchPointIndex, EqualDistancesGoToThePointVisitedFirst) {
  // A lattice of quarter steps with copies of every point later in the
  // order; queries on lattice points and half steps meet many ties, across
  // cell borders too.
  Points points;
  for (int copy = 0; copy < 3; ++copy) {
    for (int i = 8; i >= -8; --i) {
      for (int j = -8; j <= 8; ++j) {
        for (int k = -2; k <= 2; ++k) {
          points.push_back({i * 0.25, j * 0.25, k * 0.25});
        }
      }
    }
  }
  for (double tolerance : {0.25, 0.5, 1.0}) {
    StitchPointIndex index;
    index.build(points.data(), points.size(), tolerance);
    for (int i = -17; i <= 17; ++i) {
      for (int j = -17; j <= 17; ++j) {
        const StitchPosition query{i * 0.125, j * 0.125, 0.125};
        const StitchNearest pass =
            expectSameAnswer(index, points, query, tolerance);
        // The first copy always wins.
        if (pass.found()) {
          EXPECT_LT(pass.ordinal, static_cast<std::int64_t>(points.size() / 3));
        }
      }
    }
  }
}

TEST(StitchPointIndex, PointsOnTheCubeBoundaryAreIncluded) {
  const double tolerance = 0.5;
  const StitchPosition query{1.0, 2.0, 3.0};
  const double above = std::nextafter(1.5, 2.0);
  // Every point lies on or just outside the cube's faces and corners.
  const Points points = {{above, 2.0, 3.0}, {1.5, 2.5, 3.5}, {0.5, 1.5, 2.5},
                         {1.0, 2.0, 3.5},   {1.0, 1.5, 3.0}, {1.5, 2.0, 3.0},
                         {0.5, 2.0, 3.0},   {1.0, 2.5, 3.0}, {1.0, 2.0, 2.5}};
  StitchPointIndex index;
  index.build(points.data(), points.size(), tolerance);
  const StitchNearest pass = expectSameAnswer(index, points, query, tolerance);
  // (1, 2, 3.5) is the first point at distance 0.5 on a face.
  EXPECT_EQ(pass.ordinal, 3);

  // Only a corner point and one just outside: the corner (distance
  // 0.866 > tolerance) is still in the cube and is found.
  const Points corner = {{above, 2.0, 3.0}, {1.5, 2.5, 3.5}};
  index.build(corner.data(), corner.size(), tolerance);
  EXPECT_EQ(expectSameAnswer(index, corner, query, tolerance).ordinal, 1);

  const Points outside = {{above, 2.0, 3.0},
                          {1.0, 2.0, std::nextafter(2.5, 0.0)}};
  index.build(outside.data(), outside.size(), tolerance);
  EXPECT_FALSE(expectSameAnswer(index, outside, query, tolerance).found());
}

TEST(StitchPointIndex, NothingInTheCubeGivesTheOrigin) {
  const Points points = {{10.0, 10.0, 10.0}, {-10.0, 0.0, 0.0}};
  StitchPointIndex index;
  index.build(points.data(), points.size(), 1.0);
  const StitchNearest result = index.nearest({0.0, 0.0, 0.0});
  EXPECT_FALSE(result.found());
  EXPECT_EQ(result.position.x, 0.0);
  EXPECT_EQ(result.position.y, 0.0);
  EXPECT_EQ(result.position.z, 0.0);

  StitchPointIndex empty;
  empty.build(nullptr, 0, 1.0);
  EXPECT_FALSE(empty.nearest({0.0, 0.0, 0.0}).found());
}

TEST(StitchPointIndex, AgreesAfterTheSurfaceMoves) {
  std::mt19937_64 rng(3);
  Points points = sheet(40, 50, 0.2, 1.0, rng);
  const double tolerance = 0.3;
  StitchPointIndex index;
  index.build(points.data(), points.size(), tolerance);
  const double moves[][3] = {{0.1, -0.03, 0.7},
                             {1e-9, 3.3333333333, -0.0},
                             {-7.25, 0.0, 1e-17},
                             {0.3, 0.2, -0.1}};
  std::uniform_int_distribution<std::size_t> pick(0, points.size() - 1);
  std::normal_distribution<double> jitter(0.0, 0.1);
  for (const auto& t : moves) {
    moveBoth(index, points, t);
    for (int q = 0; q < 300; ++q) {
      const StitchPosition& base = points[pick(rng)];
      const StitchPosition query{base.x + jitter(rng), base.y + jitter(rng),
                                 base.z + jitter(rng)};
      expectSameAnswer(index, points, query, tolerance);
      // The point itself is exactly in the copy.
      EXPECT_EQ(index.nearest(base).position.x, base.x);
    }
  }
}

TEST(StitchPointIndex, UnusualTolerancesAgreeWithThePass) {
  std::mt19937_64 rng(5);
  std::uniform_int_distribution<int> grid(-6, 6);
  Points points(400);
  for (StitchPosition& p : points) {
    p = {grid(rng) * 0.5, grid(rng) * 0.5, grid(rng) * 0.5};
  }
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  for (double tolerance : {0.0, -0.0, -1.0, nan, inf, 1e200, 1e308}) {
    StitchPointIndex index;
    index.build(points.data(), points.size(), tolerance);
    for (int q = 0; q < 200; ++q) {
      const StitchPosition query{grid(rng) * 0.5, grid(rng) * 0.5,
                                 grid(rng) * 0.25};
      expectSameAnswer(index, points, query, tolerance);
    }
  }
}

TEST(StitchPointIndex, NonFinitePointsAndQueriesAreNeverMatched) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const Points points = {{nan, 0.0, 0.0},
                         {inf, 0.0, 0.0},
                         {0.0, 0.0, 0.1},
                         {0.0, -inf, 0.0},
                         {0.0, 0.0, 0.0}};
  for (double tolerance : {1.0, nan, inf}) {
    StitchPointIndex index;
    index.build(points.data(), points.size(), tolerance);
    expectSameAnswer(index, points, {0.0, 0.0, 0.0}, tolerance);
    expectSameAnswer(index, points, {nan, 0.0, 0.0}, tolerance);
    expectSameAnswer(index, points, {0.0, inf, 0.0}, tolerance);
  }
}

TEST(StitchPointIndex, TinyCoordinatesWhoseSquaresUnderflowAgree) {
  // Differences below 1e-154 square to zero or lose digits: the distance
  // can then be smaller than a coordinate difference and the pass's order
  // matters.
  std::mt19937_64 rng(9);
  std::uniform_real_distribution<double> coordinate(-4e-160, 4e-160);
  Points points(500);
  for (StitchPosition& p : points) {
    p = {coordinate(rng), coordinate(rng), coordinate(rng)};
  }
  for (double tolerance : {1e-160, 3e-160}) {
    StitchPointIndex index;
    index.build(points.data(), points.size(), tolerance);
    for (int q = 0; q < 300; ++q) {
      expectSameAnswer(index, points,
                       {coordinate(rng), coordinate(rng), coordinate(rng)},
                       tolerance);
    }
  }
}

TEST(StitchPointIndex, NoRootLiesBetweenARoundedRootAndItsNumber) {
  // The grid may ignore the pass's "coordinate difference above the best
  // distance" refusal because no rounded square root lies strictly between
  // sqrt(m * m) and m: the next double above m * m has a root of at least
  // m. Check it where squares lose digits or vanish, in the usual range and
  // near the 1e100 start (itself such a root).
  std::mt19937_64 rng(13);
  for (double scale : {1e-170, 1e-160, 1e-155, 1e-3, 1.0, 1e3, 1e99, 1e100}) {
    std::uniform_real_distribution<double> around(scale, 10.0 * scale);
    for (int i = 0; i < 20000; ++i) {
      const double m = around(rng);
      const double above = std::nextafter(m * m, 1e308);
      ASSERT_GE(std::sqrt(above), m) << m;
    }
  }
  const double start = kNoDistance;
  EXPECT_EQ(std::sqrt(start * start), start);
}

TEST(StitchPointIndex, PointsOnCellBordersStayFoundAfterMoves) {
  // Points on the lattice of the tolerance and queries exactly one
  // tolerance away: the cube's faces fall on cell borders, where rounding
  // of the moves decides which cell a face lies in.
  const double tolerance = 0.1;
  Points points;
  for (int i = 0; i < 30; ++i) {
    for (int j = 0; j < 30; ++j) {
      points.push_back({i * tolerance, j * tolerance, (i + j) * 0.05});
    }
  }
  StitchPointIndex index;
  index.build(points.data(), points.size(), tolerance);
  const double moves[][3] = {{0.1 / 3.0, -0.7, 1.0 / 7.0},
                             {1e5 / 3.0, 0.3, -2.0 / 3.0},
                             {-1e5 / 3.0, 0.0, 0.1}};
  const double steps[] = {-tolerance, tolerance};
  for (const auto& t : moves) {
    moveBoth(index, points, t);
    for (std::size_t i = 0; i < points.size(); i += 7) {
      for (double step : steps) {
        const StitchPosition& p = points[i];
        expectSameAnswer(index, points, {p.x + step, p.y, p.z}, tolerance);
        expectSameAnswer(index, points, {p.x, p.y + step, p.z}, tolerance);
        expectSameAnswer(index, points, {p.x + step, p.y - step, p.z + step},
                         tolerance);
      }
    }
  }
}

TEST(StitchPointIndex, FarApartCoordinatesUseBoundedCells) {
  // A tiny tolerance over a huge extent would need more cells than keys
  // hold; the cells grow and the answer stays the pass's.
  const Points points = {{-1e12, 0.0, 0.0},
                         {1e12, 5.0, 0.0},
                         {3.0, 4.0, 5.0},
                         {3.0, 4.0, 5.0 + 1e-7}};
  StitchPointIndex index;
  index.build(points.data(), points.size(), 1e-6);
  EXPECT_EQ(expectSameAnswer(index, points, {3.0, 4.0, 5.0}, 1e-6).ordinal, 2);
  expectSameAnswer(index, points, {3.0, 4.0, 5.0 + 9e-7}, 1e-6);
  expectSameAnswer(index, points, {1e12, 5.0, 0.0}, 1e-6);
}

}  // namespace
}  // namespace stitch_detail
}  // namespace QUAX
