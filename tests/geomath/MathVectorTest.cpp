// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <stdexcept>

#include "geomath/GeoPoint.h"
#include "geomath/MathVector.h"

namespace QUAX {
namespace {

using Vec = _MathVector<double>;

TEST(MathVector, NormalizeDividesByTheLengthAndRefusesTinyVectors) {
  EXPECT_EQ(zeroVectorTolerance<double>(), 2.220446049250313e-13);
  Vec tiny(0, 0, 1e-14);
  EXPECT_THROW(tiny.normalize(), EMathZeroVector);
  EXPECT_EQ(tiny, Vec(0, 0, 1e-14));
  Vec atBound(0, 0, 2.220446049250313e-13);
  atBound.normalize();
  EXPECT_EQ(atBound.z(), 1.0);
  // Division, not multiplication by the reciprocal.
  std::mt19937_64 rng(5);
  std::uniform_real_distribution<double> u(-10.0, 10.0);
  for (int n = 0; n < 1000; ++n) {
    const double x = u(rng), y = u(rng), z = u(rng);
    const double len = std::sqrt(x * x + y * y + z * z);
    Vec v(x, y, z);
    v.normalize();
    ASSERT_EQ(v, Vec(x / len, y / len, z / len)) << "draw " << n;
  }
}

TEST(MathVector, ArithmeticAxesAndNearness) {
  Vec v(1, 2, 3);
  EXPECT_THROW(v / 0.0, EMathDivisionByZero);
  EXPECT_THROW(v /= -0.0, EMathDivisionByZero);
  EXPECT_EQ(v / 2.0, Vec(0.5, 1, 1.5));
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

}  // namespace
}  // namespace QUAX
