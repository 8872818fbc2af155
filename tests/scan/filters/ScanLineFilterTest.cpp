// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <random>

#include "FilterTestSupport.h"
#include "ReferenceFilters.h"
#include "geomath/MathErrors.h"
#include "scan/filters/FilterGeometry.h"
#include "scan/filters/ScanChordalDeviationFilter.h"
#include "scan/filters/ScanLineFilter.h"
#include "scan/filters/ScanNPointFilter.h"
#include "scan/model/ScanSet.h"
#include "util/VXException.h"

namespace QUAX {
namespace {

using namespace test;

// A surface with one frame per entry; a null entry is a frame without a
// scan line.
std::unique_ptr<ScanSurface> surfaceOf(const std::vector<const Points*>& lines,
                                       bool complete = true) {
  auto surface = std::make_unique<ScanSurface>();
  for (const Points* points : lines) {
    auto frame = std::make_unique<ScanFrame>();
    if (points)
      frame->setScanLine(std::make_unique<ScanLine>(makeLine(*points)));
    surface->appendFrame(std::move(frame));
  }
  if (complete) surface->setComplete();
  return surface;
}

Points lineOf(const ScanSet& set, std::size_t surface, std::size_t frame) {
  return positionsOf(*set.getSurface(surface)->getFrame(frame)->getScanLine());
}

const Points kCollinear = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}};
const Points kThinned = {{0, 0, 0}, {3, 0, 0}};

TEST(ScanLineFilter, FiltersEveryLineOfEverySurfaceAndPassesOverTheRest) {
  ScanSet empty;
  EXPECT_NO_THROW(ScanChordalDeviationFilter(0.1).applyFilter(empty));
  const Points noisy = noisyProfile(50, 17);
  ScanSet set;
  set.addSurface(surfaceOf({&kCollinear, nullptr, &kCollinear}));
  set.addSurface(surfaceOf({}, false));  // incomplete: nothing to wait for
  set.addSurface(surfaceOf({&kCollinear}, false));
  set.addSurface(surfaceOf({&noisy}));
  ScanChordalDeviationFilter(0.1).applyFilter(set);
  EXPECT_EQ(lineOf(set, 0, 0), kThinned);
  EXPECT_FALSE(set.getSurface(0)->getFrame(1)->hasScanLine());
  EXPECT_EQ(lineOf(set, 0, 2), kThinned);
  EXPECT_EQ(lineOf(set, 2, 0), kThinned);
  EXPECT_TRUE(sameBits(lineOf(set, 3, 0),
                       reference::chordalDeviation(noisy, 0.1, 2000.0)));
}

TEST(ScanLineFilter, DropsScanErrorsOfOneFrameAndGoesOn) {
  const Points shortLine = {{0, 0, 0}, {1, 1, 0}};
  const Points longLine = noisyProfile(10, 4);
  ScanSet set;
  set.addSurface(surfaceOf({&longLine, &shortLine, &longLine}));
  ScanNPointFilter(5, ScanNPointFilter::EQUAL_INDEX).applyFilter(set);
  EXPECT_EQ(lineOf(set, 0, 0).size(), 5u);
  EXPECT_EQ(lineOf(set, 0, 1), shortLine);  // too short: refused, unchanged
  EXPECT_EQ(lineOf(set, 0, 2).size(), 5u);
}

TEST(ScanLineFilter, OtherErrorsEndTheWalkKeepingEarlierFrames) {
  // The second line's chord is too short to be normalized: EMathZeroVector
  // is no scan error and reaches the caller.
  const Points tiny = {{0, 0, 0}, {1, 1, 0}, {1e-14, 0, 0}};
  ScanSet set;
  set.addSurface(surfaceOf({&kCollinear, &tiny, &kCollinear}));
  set.addSurface(surfaceOf({&kCollinear}));
  EXPECT_THROW(ScanChordalDeviationFilter(0.5).applyFilter(set),
               EMathZeroVector);
  EXPECT_EQ(lineOf(set, 0, 0), kThinned);
  EXPECT_EQ(lineOf(set, 0, 2), kCollinear);
  EXPECT_EQ(lineOf(set, 1, 0), kCollinear);
}

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

}  // namespace
}  // namespace QUAX
