// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "geomath/GeoLine.h"
#include "scan/filters/FilterGeometry.h"

namespace QUAX {
namespace {

using Vector = _MathVector<double>;

// Vectors whose length lies within a few units in the last place of the
// bound, on either side, and some far from it.
TEST(DistanceBound, AgreesWithTheSquareRootAtAndAroundTheBound) {
  std::mt19937_64 random(5);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  std::uniform_int_distribution<int> nudge(-40, 40);
  std::uniform_real_distribution<double> exponent(-12.0, 12.0);
  int decidedByBand = 0;
  for (int round = 0; round < 200000; ++round) {
    const double bound = std::pow(10.0, exponent(random));
    Vector v(unit(random), unit(random), unit(random));
    if (v.length() == 0.0) continue;
    v = v * (bound / v.length());
    double x = v.x();
    for (int step = nudge(random); step != 0; step += step > 0 ? -1 : 1) {
      x = std::nextafter(x, step > 0 ? 2.0 * x + 1.0 : -2.0 * x - 1.0);
    }
    v.set(x, v.y(), v.z());
    if (round % 10 == 0) v = v * (1.0 + 1e-9 * nudge(random));
    const DistanceBound test(bound);
    ASSERT_EQ(test.reachedBy(v), v.length() >= bound) << bound;
    ASSERT_EQ(test.holds(v), v.length() <= bound) << bound;
    const double squared = v.x() * v.x() + v.y() * v.y() + v.z() * v.z();
    if (std::fabs(squared - bound * bound) > 1e-14 * bound * bound) {
      ++decidedByBand;
    }
  }
  EXPECT_GT(decidedByBand, 1000);
}

TEST(DistanceBound, ComparesExtremeBoundsByTheRoot) {
  const double extremes[] = {0.0,   1e-200,
                             1e200, std::numeric_limits<double>::infinity(),
                             -1.0,  std::numeric_limits<double>::max()};
  const Vector vectors[] = {Vector(0, 0, 0), Vector(1e-200, 0, 0),
                            Vector(1e200, 1e200, 0), Vector(3, 4, 0),
                            Vector(std::nan(""), 0, 0)};
  for (const double bound : extremes) {
    const DistanceBound test(bound);
    for (const Vector& v : vectors) {
      EXPECT_EQ(test.reachedBy(v), v.length() >= bound) << bound;
      EXPECT_EQ(test.holds(v), v.length() <= bound) << bound;
    }
  }
}

TEST(ChordLine, ProjectsAsTheGeometryLine) {
  std::mt19937 random(8);
  std::uniform_real_distribution<double> coordinate(-100.0, 100.0);
  for (int round = 0; round < 10000; ++round) {
    const _GeoPoint<double> origin(coordinate(random), coordinate(random),
                                   coordinate(random));
    const Vector along(coordinate(random), coordinate(random),
                       coordinate(random));
    const _GeoPoint<double> p(coordinate(random), coordinate(random),
                              coordinate(random));
    const ChordLine chord(origin, along, along.length());
    const _GeoLine<double> line(origin, along);
    ASSERT_EQ(chord.project(p), line.project(p));
  }
}

TEST(ChordLine, RefusesADirectionBelowTheZeroVectorTolerance) {
  const Vector tiny(0, 0, 1e-14);
  EXPECT_THROW(ChordLine(_GeoPoint<double>(), tiny, tiny.length()),
               EMathZeroVector);
}

}  // namespace
}  // namespace QUAX
