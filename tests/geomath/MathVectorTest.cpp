// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <stdexcept>
#include <string>

#include "geomath/MathVector.h"

namespace QUAX {
namespace {

using Vec = _MathVector<double>;

TEST(MathVector, NormalizeRefusesVectorsBelowAThousandEpsilons) {
  EXPECT_EQ(zeroVectorTolerance<double>(), 2.220446049250313e-13);
  Vec tiny(0, 0, 1e-14);
  EXPECT_THROW(tiny.normalize(), EMathZeroVector);
  EXPECT_EQ(tiny, Vec(0, 0, 1e-14));  // unchanged
  Vec atBound(0, 0, 2.220446049250313e-13);
  EXPECT_NO_THROW(atBound.normalize());
  EXPECT_DOUBLE_EQ(atBound.z(), 1.0);
  Vec v(3, 0, 4);
  v.normalize();
  EXPECT_DOUBLE_EQ(v.x(), 0.6);
  EXPECT_DOUBLE_EQ(v.z(), 0.8);
}

TEST(MathVector, NormalizeDividesByTheLength) {
  // Division, not multiplication by the reciprocal: the two differ in the
  // last bit for many vectors.
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

TEST(MathVector, DivisionByZeroThrowsBeforeChanging) {
  Vec v(1, 2, 3);
  EXPECT_THROW(v / 0.0, EMathDivisionByZero);
  EXPECT_THROW(v /= -0.0, EMathDivisionByZero);
  EXPECT_EQ(v, Vec(1, 2, 3));
  EXPECT_EQ(v / 2.0, Vec(0.5, 1, 1.5));
}

TEST(MathVector, AxisThreeAlwaysReadsOneAndOtherAxesAreChecked) {
  Vec v(1, 2, 3);
  EXPECT_EQ(v[0], 1);
  EXPECT_EQ(v[2], 3);
  v[3] = 5.0;  // dropped: the homogeneous coordinate is always 1
  EXPECT_EQ(v[3], 1.0);
  EXPECT_EQ(static_cast<const Vec&>(v)[3], 1.0);
  v[1] = 7.0;
  EXPECT_EQ(v, Vec(1, 7, 3));
  const auto axisError = [](auto&& w) {
    try {
      (void)w[4];
    } catch (const std::out_of_range& e) {
      return std::string(e.what());
    }
    return std::string("axis 4 accepted");
  };
  EXPECT_EQ(axisError(v), "Axis Index");
  EXPECT_EQ(axisError(static_cast<const Vec&>(v)), "Axis Index");
  EXPECT_THROW((void)static_cast<const Vec&>(v)[-1], std::out_of_range);
}

TEST(MathVector, DotCrossAndLength) {
  const Vec a(1, 0, 0), b(0, 1, 0);
  EXPECT_EQ(a.dot(b), 0);
  EXPECT_EQ(a.cross(b), Vec(0, 0, 1));
  EXPECT_EQ(Vec(2, 3, 6).length(), 7);
}

}  // namespace
}  // namespace QUAX
