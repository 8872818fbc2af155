// SPDX-License-Identifier: MIT
#include "geomath/MathMatrix.h"

#include <gtest/gtest.h>

#include <cmath>

#include "geomath/GeoPoint.h"

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

TEST(MathMatrix, ValidityToleranceIsTenEpsilons) {
  // det = s^3 with s = 1 + e gives det - 1 close to 3e; pick values whose
  // determinant is exactly 1 + k*eps in the r00 entry.
  const double eps = 2.220446049250313e-16;
  EXPECT_TRUE(Mat(1 + 8 * eps, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0).isValid());
  EXPECT_FALSE(Mat(1 + 12 * eps, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0).isValid());
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

TEST(MathMatrix, CompositionAppliesTheRightOperandFirst) {
  const Mat rotate = Mat::rotationZ(M_PI / 2);
  const Mat shift = Mat::translation(1, 0, 0);
  const Vec p = (shift * rotate).applyToPosition(Vec(1, 0, 0));
  EXPECT_NEAR(p.x(), 1, 1e-15);
  EXPECT_NEAR(p.y(), 1, 1e-15);
}

TEST(MathMatrix, InverseUndoesAProperTransform) {
  Mat m = Mat::rotationZ(0.7);
  m.setTranslation(Vec(3, -2, 5));
  const Vec back = (m.inverse() * m).applyToPosition(Vec(4, 5, 6));
  EXPECT_NEAR(back.x(), 4, 1e-12);
  EXPECT_NEAR(back.y(), 5, 1e-12);
  EXPECT_NEAR(back.z(), 6, 1e-12);
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
