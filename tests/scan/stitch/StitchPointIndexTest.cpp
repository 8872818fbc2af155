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
const double kNan = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

// The grid against the literal pass for one query; returns the pass's answer.
StitchNearest expectSameAnswer(const StitchPointIndex& index,
                               const Points& points, const StitchPosition& q,
                               double tolerance) {
  const StitchNearest pass =
      nearestPointByPass(points.data(), points.size(), q, tolerance);
  const StitchNearest grid = index.nearest(q);
  EXPECT_EQ(grid.ordinal, pass.ordinal)
      << "query (" << q.x << ", " << q.y << ", " << q.z << ") tolerance "
      << tolerance;
  EXPECT_EQ(grid.position.x, pass.position.x);
  EXPECT_EQ(grid.position.y, pass.position.y);
  EXPECT_EQ(grid.position.z, pass.position.z);
  return pass;
}

// A wavy sheet sampled along lines, as a sweep of a line scanner gives it.
Points sheet(int lines, int perLine, double spacing, double dz,
             std::mt19937_64& rng) {
  std::normal_distribution<double> noise(0.0, spacing * 0.05);
  Points points;
  for (int i = 0; i < lines; ++i) {
    for (int j = 0; j < perLine; ++j) {
      const double x = j * spacing + noise(rng), y = i * spacing + noise(rng);
      points.push_back({x, y, dz + 0.5 * std::sin(x * 0.3) + noise(rng)});
    }
  }
  return points;
}

struct Cloud {
  Points points;
  std::vector<double> tolerances;
  Points queries;
};

// Random clouds, scanned sheets, lattices full of ties (with copies later
// in the order), odd tolerances, non-finite values, coordinates whose squares
// underflow, and far-apart points that force larger cells.
std::vector<Cloud> clouds() {
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> c(-20.0, 20.0), tiny(-4e-160, 4e-160);
  std::uniform_int_distribution<int> grid(-6, 6);
  std::vector<Cloud> out(7);
  for (int i = 0; i < 3000; ++i)
    out[0].points.push_back({c(rng), c(rng), c(rng) * 0.2});
  for (int q = 0; q < 400; ++q) {
    out[0].queries.push_back({c(rng) * 1.2, c(rng) * 1.2, c(rng) * 0.3});
  }
  out[0].tolerances = {0.3, 1.0, 2.5, 7.0, 100.0};
  out[1].points = sheet(60, 80, 0.1, 0.0, rng);
  const Points other = sheet(60, 80, 0.1, 0.05, rng);
  for (std::size_t q = 0; q < other.size(); q += 9)
    out[1].queries.push_back(other[q]);
  out[1].tolerances = {0.05, 0.12, 0.5};
  for (int copy = 0; copy < 3; ++copy) {
    for (int i = 8; i >= -8; --i) {
      for (int j = -8; j <= 8; ++j) {
        for (int k = -2; k <= 2; ++k)
          out[2].points.push_back({i * 0.25, j * 0.25, k * 0.25});
      }
    }
  }
  for (int i = -17; i <= 17; ++i) {
    for (int j = -17; j <= 17; ++j)
      out[2].queries.push_back({i * 0.125, j * 0.125, 0.125});
  }
  out[2].tolerances = {0.25, 0.5, 1.0};
  for (int i = 0; i < 400; ++i) {
    out[3].points.push_back(
        {grid(rng) * 0.5, grid(rng) * 0.5, grid(rng) * 0.5});
    out[3].queries.push_back(
        {grid(rng) * 0.5, grid(rng) * 0.5, grid(rng) * 0.25});
  }
  out[3].tolerances = {0.0, -0.0, -1.0, kNan, kInf, 1e200, 1e308};
  out[4].points = {
      {kNan, 0, 0}, {kInf, 0, 0}, {0, 0, 0.1}, {0, -kInf, 0}, {0, 0, 0}};
  out[4].queries = {{0, 0, 0}, {kNan, 0, 0}, {0, kInf, 0}};
  out[4].tolerances = {1.0, kNan, kInf};
  for (int i = 0; i < 500; ++i) {
    out[5].points.push_back({tiny(rng), tiny(rng), tiny(rng)});
    out[5].queries.push_back({tiny(rng), tiny(rng), tiny(rng)});
  }
  out[5].tolerances = {1e-160, 3e-160};
  out[6].points = {{-1e12, 0, 0}, {1e12, 5, 0}, {3, 4, 5}, {3, 4, 5 + 1e-7}};
  out[6].queries = {{3, 4, 5}, {3, 4, 5 + 9e-7}, {1e12, 5, 0}};
  out[6].tolerances = {1e-6};
  return out;
}

TEST(StitchPointIndex, AgreesWithThePass) {
  int found = 0;
  for (const Cloud& cloud : clouds()) {
    for (const double tolerance : cloud.tolerances) {
      StitchPointIndex index;
      index.build(cloud.points.data(), cloud.points.size(), tolerance);
      for (const StitchPosition& q : cloud.queries) {
        found += expectSameAnswer(index, cloud.points, q, tolerance).found();
      }
    }
  }
  EXPECT_GT(found, 5000);
  StitchPointIndex empty;
  empty.build(nullptr, 0, 1.0);
  EXPECT_FALSE(empty.nearest({0.0, 0.0, 0.0}).found());
}

TEST(StitchPointIndex, CubeBoundaryIsIncludedAndNothingInItGivesTheOrigin) {
  const StitchPosition query{1.0, 2.0, 3.0};
  const double above = std::nextafter(1.5, 2.0);
  const struct {
    Points points;
    std::int64_t ordinal;
  } cases[] = {
      // (1, 2, 3.5) is the first point at distance 0.5 on a face.
      {{{above, 2, 3},
        {1.5, 2.5, 3.5},
        {0.5, 1.5, 2.5},
        {1, 2, 3.5},
        {1, 1.5, 3},
        {1.5, 2, 3},
        {0.5, 2, 3},
        {1, 2.5, 3},
        {1, 2, 2.5}},
       3},
      // A corner 0.866 away is still in the cube.
      {{{above, 2, 3}, {1.5, 2.5, 3.5}}, 1},
      {{{above, 2, 3}, {1, 2, std::nextafter(2.5, 0.0)}}, -1},
  };
  // The same from an index moved away and back 32 times (exactly).
  for (const int moves : {0, 64}) {
    for (const auto& c : cases) {
      StitchPointIndex index;
      index.build(c.points.data(), c.points.size(), 0.5);
      for (int k = 0; k < moves; ++k) {
        index.translate(k % 2 ? -0.25 : 0.25, 0.0, 0.0);
      }
      const StitchNearest pass = expectSameAnswer(index, c.points, query, 0.5);
      EXPECT_EQ(pass.found() ? pass.ordinal : -1, c.ordinal);
      if (!pass.found()) {
        EXPECT_EQ(pass.position.x, 0.0);
        EXPECT_EQ(pass.position.z, 0.0);
      }
    }
  }
}

}  // namespace
}  // namespace stitch_detail
}  // namespace QUAX
