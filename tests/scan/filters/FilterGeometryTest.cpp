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
// bound, on either side, some far from it, and extreme bounds.
TEST(DistanceBound, AgreesWithTheSquareRoot) {
  std::mt19937_64 random(5);
  std::uniform_real_distribution<double> unit(-1.0, 1.0), exponent(-12, 12);
  std::uniform_int_distribution<int> nudge(-40, 40);
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
  }
  const double inf = std::numeric_limits<double>::infinity();
  for (const double bound : {0.0, 1e-200, 1e200, inf, -1.0, 1.7e308}) {
    const DistanceBound test(bound);
    for (const Vector& v :
         {Vector(0, 0, 0), Vector(1e-200, 0, 0), Vector(1e200, 1e200, 0),
          Vector(3, 4, 0), Vector(std::nan(""), 0, 0)}) {
      EXPECT_EQ(test.reachedBy(v), v.length() >= bound) << bound;
      EXPECT_EQ(test.holds(v), v.length() <= bound) << bound;
    }
  }
}

TEST(ChordLine, ProjectsAsTheGeometryLine) {
  std::mt19937 random(8);
  std::uniform_real_distribution<double> c(-100.0, 100.0);
  for (int round = 0; round < 10000; ++round) {
    const _GeoPoint<double> origin(c(random), c(random), c(random));
    const Vector along(c(random), c(random), c(random));
    const _GeoPoint<double> p(c(random), c(random), c(random));
    ASSERT_EQ(ChordLine(origin, along, along.length()).project(p),
              _GeoLine<double>(origin, along).project(p));
  }
  const Vector tiny(0, 0, 1e-14);
  EXPECT_THROW(ChordLine(_GeoPoint<double>(), tiny, tiny.length()),
               EMathZeroVector);
}

}  // namespace
}  // namespace QUAX
