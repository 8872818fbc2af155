// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <stdexcept>

#include "geomath/GeoLine.h"
#include "geomath/GeoPoint.h"
#include "geomath/MathMatrix.h"
#include "geomath/MathVector.h"

namespace QUAX {
namespace {

using Mat = _MathMatrix<double>;
using Vec = _MathVector<double>;
using Point = _GeoPoint<double>;

TEST(MathVector, NormalizeDividesByTheLengthAndRefusesTinyVectors) {
  Vec tiny(0, 0, 1e-14);
  EXPECT_THROW(tiny.normalize(), EMathZeroVector);
  EXPECT_EQ(tiny, Vec(0, 0, 1e-14));
  Vec atBound(0, 0, 2.220446049250313e-13);
  atBound.normalize();
  EXPECT_EQ(atBound.z(), 1.0);
  // Its rounding, and that of projections onto lines, is pinned by the
  // filters' exactness tests: their step-by-step references are built on
  // these and must agree to the bit with the filters' own arithmetic.
}

TEST(MathVector, ArithmeticAxesAndNearness) {
  Vec v(1, 2, 3);
  EXPECT_THROW(v / 0.0, EMathDivisionByZero);
  EXPECT_THROW(v /= -0.0, EMathDivisionByZero);
  EXPECT_EQ(Vec(1, 0, 0).cross(Vec(0, 1, 0)), Vec(0, 0, 1));
  EXPECT_EQ(Vec(2, 3, 6).length(), 7);
  v[3] = 5.0;  // dropped: the homogeneous coordinate is always 1
  v[1] = 7.0;
  EXPECT_EQ(v[3], 1.0);
  EXPECT_EQ(v, Vec(1, 7, 3));
  EXPECT_THROW((void)v[4], std::out_of_range);
  EXPECT_THROW((void)static_cast<const Vec&>(v)[-1], std::out_of_range);
  const _GeoPoint<double> a(0, 0, 0), b(3, 4, 0);
  EXPECT_TRUE(a.isNear(b, 5.0));
  EXPECT_FALSE(a.isNear(b, 4.999999));
  EXPECT_THROW(a.isNear(b, -1.0), EMathNegativeTol);
}

Mat scaled(double s) { return Mat(s, 0, 0, 0, s, 0, 0, 0, s, 0, 0, 0); }

TEST(MathMatrix, ValidityAcceptsRotationsWithinTenEpsilons) {
  EXPECT_TRUE(Mat().isValid());
  EXPECT_TRUE(Mat::rotationZ(0.3).isValid());
  EXPECT_FALSE(scaled(2).isValid());
  EXPECT_FALSE(Mat(-1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0).isValid());
  const double eps = 2.220446049250313e-16;
  for (const int k : {8, 10, 11, 12}) {
    EXPECT_EQ(Mat(1 + k * eps, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0).isValid(),
              k <= 10)
        << k;
  }
  EXPECT_THROW(scaled(2).applyToDirection(Vec(1, 0, 0)), EMathSingularMatrix);
  _GeoPoint<double> p(1, 2, 3);
  EXPECT_THROW(p.transform(scaled(2)), EMathSingularMatrix);
  EXPECT_EQ(p, _GeoPoint<double>(1, 2, 3));
  p.transform(Mat::translation(1, 1, 1));
  EXPECT_EQ(p, _GeoPoint<double>(2, 3, 4));
}

// Results are fixed to the last bit: the library has always evaluated these
// sums in exactly this order, and validity tests and undo chains depend on
// it. Entries drawn from [-1, 1) make other orders differ in the last bits.
TEST(MathMatrix, SumsAreEvaluatedInTheLibrarysOrder) {
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  const auto draw = [&] {
    double v[12];
    for (double& x : v) x = u(rng);
    return Mat(v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9],
               v[10], v[11] * 100.0);
  };
  for (int n = 0; n < 1000; ++n) {
    const Mat a = draw(), b = draw();
    const auto r = [](const Mat& m, int i, int j) { return m.rotation(i, j); };
    ASSERT_EQ(a.determinant(), r(a, 0, 0) * r(a, 1, 1) * r(a, 2, 2) +
                                   r(a, 0, 1) * r(a, 1, 2) * r(a, 2, 0) +
                                   r(a, 0, 2) * r(a, 1, 0) * r(a, 2, 1) -
                                   r(a, 0, 2) * r(a, 1, 1) * r(a, 2, 0) -
                                   r(a, 2, 1) * r(a, 1, 2) * r(a, 0, 0) -
                                   r(a, 2, 2) * r(a, 0, 1) * r(a, 1, 0));
    const Mat c = a * b, inv = a.inverse();
    const Vec p = b.getTranslation(), q = a.applyToPosition(p);
    const Vec& t = a.getTranslation();
    for (int i = 0; i < 3; ++i) {
      const double rowTimesP =
          r(a, i, 0) * p.x() + r(a, i, 1) * p.y() + r(a, i, 2) * p.z();
      ASSERT_EQ(q[i], rowTimesP + t[i]);
      ASSERT_EQ(c.getTranslation()[i], rowTimesP + t[i]);
      for (int j = 0; j < 3; ++j) {
        ASSERT_EQ(r(c, i, j), r(a, i, 0) * r(b, 0, j) +
                                  r(a, i, 1) * r(b, 1, j) +
                                  r(a, i, 2) * r(b, 2, j));
        ASSERT_EQ(r(inv, i, j), r(a, j, i));
      }
      ASSERT_EQ(
          inv.getTranslation()[i],
          -(r(a, 0, i) * t.x() + r(a, 1, i) * t.y() + r(a, 2, i) * t.z()));
    }
  }
}

// Positions are checked to the bit against the sums above.
TEST(MathMatrix, AppliesDirectionsWithoutTheTranslation) {
  Mat m = Mat::rotationZ(M_PI / 2);
  m.setTranslation(Vec(1, 0, 0));
  const Vec d = m.applyToDirection(Vec(1, 0, 0));
  EXPECT_NEAR(d.x(), 0, 1e-15);
  EXPECT_NEAR(d.y(), 1, 1e-15);
  EXPECT_EQ(d.z(), 0.0);
  // R.d + 0: the added zero turns a sum of negative zeros positive.
  EXPECT_FALSE(std::signbit(Mat().applyToDirection(Vec(-0.0, -0.0, -0.0)).x()));
}

using Line = _GeoLine<double>;
using Plane = _GeoPlane<double>;

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
