// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <random>

#include "geomath/GeoLine.h"

namespace QUAX {
namespace {

using Line = _GeoLine<double>;
using Plane = _GeoPlane<double>;
using Point = _GeoPoint<double>;
using Vec = _MathVector<double>;

TEST(GeoLine, DirectionsAreNormalizedAndShortOnesRefusedByTheirOwnBound) {
  EXPECT_EQ(Line(Point(1, 1, 1), Vec(0, 0, 5)).getDirection(), Vec(0, 0, 1));
  EXPECT_THROW(Line(Point(), Vec(0, 0, 1e-17)), EGeoDegenerateVector);
  EXPECT_THROW(Line(Point(), Vec(0, 0, 1e-14)), EMathZeroVector);
  EXPECT_THROW(Plane(Point(), Vec(0, 0, 1e-17)), EGeoInvalidParameter);
  // Exactly one epsilon is not degenerate, but too short to normalize.
  EXPECT_THROW(Line(Point(), Vec(0, 0, 2.220446049250313e-16)),
               EMathZeroVector);
  EXPECT_EQ(Plane(Point(0, 0, 1), Vec(0, 0, 2)).project(Point(3, 4, 5)),
            Point(3, 4, 1));
}

TEST(GeoLine, ProjectionIsOriginPlusDirectionTimesDot) {
  std::mt19937_64 rng(3);
  std::uniform_real_distribution<double> u(-100.0, 100.0);
  for (int n = 0; n < 1000; ++n) {
    const Point o(u(rng), u(rng), u(rng)), p(u(rng), u(rng), u(rng));
    const Line line(o, Vec(u(rng), u(rng), u(rng)));
    const Vec& d = line.getDirection();
    const double s = (p.x() - o.x()) * d.x() + (p.y() - o.y()) * d.y() +
                     (p.z() - o.z()) * d.z();
    ASSERT_EQ(line.project(p),
              Point(o.x() + d.x() * s, o.y() + d.y() * s, o.z() + d.z() * s));
  }
}

TEST(GeoLine, TransformMovesOriginAndRotatesDirectionOrRefusesUnmoved) {
  Line line(Point(1, 2, 3), Vec(0, 1, 0));
  EXPECT_THROW(
      line.transform(_MathMatrix<double>(2, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0)),
      EMathSingularMatrix);
  EXPECT_EQ(line.getOrigin(), Point(1, 2, 3));
  EXPECT_EQ(line.getDirection(), Vec(0, 1, 0));
  _MathMatrix<double> m = _MathMatrix<double>::rotationZ(M_PI / 2);
  m.setTranslation(Vec(0, 0, 1));
  Plane plane(Point(1, 0, 0), Vec(1, 0, 0));
  plane.transform(m);
  EXPECT_NEAR(plane.getOrigin().y(), 1, 1e-15);
  EXPECT_NEAR(plane.getOrigin().z(), 1, 1e-15);
  EXPECT_NEAR(plane.getDirection().y(), 1, 1e-15);
}

}  // namespace
}  // namespace QUAX
