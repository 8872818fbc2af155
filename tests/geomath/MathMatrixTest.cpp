// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "geomath/GeoPoint.h"
#include "geomath/MathMatrix.h"

namespace QUAX {
namespace {

using Mat = _MathMatrix<double>;
using Vec = _MathVector<double>;
using Point = _GeoPoint<double>;

Mat scaled(double s) { return Mat(s, 0, 0, 0, s, 0, 0, 0, s, 0, 0, 0); }

TEST(MathMatrix, ValidityAcceptsRotationsOnly) {
  EXPECT_TRUE(Mat().isValid());
  EXPECT_TRUE(Mat::rotationZ(0.3).isValid());
  EXPECT_FALSE(scaled(2).isValid());                                // det 8
  EXPECT_FALSE(Mat(-1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0).isValid());  // det -1
}

// det - 1 is exactly k machine epsilons: up to and including 10 is valid.
TEST(MathMatrix, ValidityToleranceIsTenEpsilonsInclusive) {
  const double eps = 2.220446049250313e-16;
  for (const int k : {8, 10, 11, 12}) {
    EXPECT_EQ(Mat(1 + k * eps, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0).isValid(),
              k <= 10)
        << k;
  }
}

// Every entry drawn from [-1, 1): results of different evaluation orders
// differ in the last bits for most draws.
Mat randomTransform(std::mt19937_64& rng) {
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  double v[12];
  for (double& x : v) x = u(rng);
  return Mat(v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9], v[10],
             v[11] * 100.0);
}

double r(const Mat& m, int i, int j) { return m.rotation(i, j); }

// The results below are fixed to the last bit: the library has always
// evaluated these sums in exactly this order, and validity tests and undo
// chains depend on it.
TEST(MathMatrix, DeterminantSumsTheSarrusTermsInOrder) {
  std::mt19937_64 rng(7);
  for (int n = 0; n < 1000; ++n) {
    const Mat m = randomTransform(rng);
    const double det = r(m, 0, 0) * r(m, 1, 1) * r(m, 2, 2) +
                       r(m, 0, 1) * r(m, 1, 2) * r(m, 2, 0) +
                       r(m, 0, 2) * r(m, 1, 0) * r(m, 2, 1) -
                       r(m, 0, 2) * r(m, 1, 1) * r(m, 2, 0) -
                       r(m, 2, 1) * r(m, 1, 2) * r(m, 0, 0) -
                       r(m, 2, 2) * r(m, 0, 1) * r(m, 1, 0);
    ASSERT_EQ(m.determinant(), det) << "draw " << n;
  }
}

TEST(MathMatrix, PositionIsRowSumThenTranslation) {
  std::mt19937_64 rng(11);
  for (int n = 0; n < 1000; ++n) {
    const Mat m = randomTransform(rng);
    const Vec p = randomTransform(rng).getTranslation();
    const Vec& t = m.getTranslation();
    const Vec q = m.applyToPosition(p);
    for (int i = 0; i < 3; ++i) {
      ASSERT_EQ(q[i], r(m, i, 0) * p.x() + r(m, i, 1) * p.y() +
                          r(m, i, 2) * p.z() + t[i])
          << "draw " << n << ", row " << i;
    }
  }
}

TEST(MathMatrix, DirectionIsAppliedWithAZeroTranslation) {
  // R.d + 0: the added zero turns a sum of negative zeros positive.
  const Vec d = Mat().applyToDirection(Vec(-0.0, -0.0, -0.0));
  EXPECT_FALSE(std::signbit(d.x()));
  EXPECT_FALSE(std::signbit(d.z()));
}

TEST(MathMatrix, CompositionRowsTimesColumnsThenRaTbPlusTa) {
  std::mt19937_64 rng(13);
  for (int n = 0; n < 1000; ++n) {
    const Mat a = randomTransform(rng), b = randomTransform(rng);
    const Mat c = a * b;
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) {
        ASSERT_EQ(r(c, i, j), r(a, i, 0) * r(b, 0, j) +
                                  r(a, i, 1) * r(b, 1, j) +
                                  r(a, i, 2) * r(b, 2, j));
      }
      const Vec& tb = b.getTranslation();
      ASSERT_EQ(c.getTranslation()[i],
                r(a, i, 0) * tb.x() + r(a, i, 1) * tb.y() +
                    r(a, i, 2) * tb.z() + a.getTranslation()[i]);
    }
  }
}

TEST(MathMatrix, InverseIsTransposeAndNegatedTransposedTranslation) {
  std::mt19937_64 rng(17);
  for (int n = 0; n < 1000; ++n) {
    const Mat m = randomTransform(rng);
    const Mat inv = m.inverse();
    const Vec& t = m.getTranslation();
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) ASSERT_EQ(r(inv, i, j), r(m, j, i));
      ASSERT_EQ(
          inv.getTranslation()[i],
          -(r(m, 0, i) * t.x() + r(m, 1, i) * t.y() + r(m, 2, i) * t.z()));
    }
  }
}

TEST(MathMatrix, AppliesRotationThenTranslation) {
  Mat m = Mat::rotationZ(M_PI / 2);
  m.setTranslation(Vec(1, 0, 0));
  const Vec p = m.applyToPosition(Vec(1, 0, 0));
  EXPECT_NEAR(p.x(), 1, 1e-15);
  EXPECT_NEAR(p.y(), 1, 1e-15);
  const Vec d = m.applyToDirection(Vec(1, 0, 0));
  EXPECT_NEAR(d.x(), 0, 1e-15);
  EXPECT_NEAR(d.y(), 1, 1e-15);
  EXPECT_THROW(scaled(2).applyToDirection(Vec(1, 0, 0)), EMathSingularMatrix);
}

TEST(GeoPoint, TransformRefusesAnInvalidMatrixAndStaysPut) {
  Point p(1, 2, 3);
  EXPECT_THROW(p.transform(scaled(2)), EMathSingularMatrix);
  EXPECT_EQ(p, Point(1, 2, 3));
  p.transform(Mat());
  EXPECT_EQ(p, Point(1, 2, 3));
  p.transform(Mat::translation(1, 1, 1));
  EXPECT_EQ(p, Point(2, 3, 4));
}

TEST(GeoPoint, NearnessIsInclusiveAndRefusesNegativeTolerance) {
  const Point a(0, 0, 0), b(3, 4, 0);
  EXPECT_TRUE(a.isNear(b, 5.0));
  EXPECT_FALSE(a.isNear(b, 4.999999));
  EXPECT_THROW(a.isNear(b, -1.0), EMathNegativeTol);
}

}  // namespace
}  // namespace QUAX
