// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cmath>

#include "FilterTestSupport.h"
#include "ReferenceFilters.h"
#include "geomath/MathErrors.h"
#include "scan/ScanErrors.h"
#include "scan/filters/ScanChordalDeviationFilter.h"

namespace QUAX {
namespace {

using namespace test;
using Filter = ScanChordalDeviationFilter;

// Hand-made edge cases with the points kept (random lines are in the
// exactness property test).
TEST(ScanChordalDeviationFilter, KeepsThePointsTheStepByStepRunKeeps) {
  const Points five = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {4, 0, 0}};
  const Points three = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}};
  const Points bend = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {4, 2, 0}};
  const Points peak = {{0, 0, 0}, {1, 1, 0}, {2, 0, 0}};
  const struct {
    double limit, span;
    Points line, kept;
  } cases[] = {
      {0.1, 2000, {}, {}},
      {0.1, 2000, {{1, 2, 3}, {1, 2, 3}}, {{1, 2, 3}, {1, 2, 3}}},
      {0.1, 100, five, {{0, 0, 0}, {4, 0, 0}}},
      {0.1, 1.5, five, five},  // every chord reaches the span
      {0.1, 2, three, three},  // a chord of exactly the span
      {0.1, std::nextafter(2.0, 3.0), three, {{0, 0, 0}, {2, 0, 0}}},
      {1, 2000, peak, peak},  // a deviation of exactly the limit
      {std::nextafter(1.0, 2.0), 2000, peak, {{0, 0, 0}, {2, 0, 0}}},
      // The point before the first deviation becomes the anchor.
      {1, 2000, bend, {{0, 0, 0}, {2, 0, 0}, {4, 2, 0}}},
      {1, 2000, {{0, 0, 0}, {1, 3, 0}, {0, 0, 0}}, {{0, 0, 0}, {0, 0, 0}}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(filtered(Filter(c.limit, c.span), c.line), c.kept)
        << c.limit << " " << c.span << " " << c.line.size();
    EXPECT_EQ(reference::chordalDeviation(c.line, c.limit, c.span), c.kept);
  }
}

TEST(ScanChordalDeviationFilter, ItemsStayWithTheirIndexAndTinyChordsThrow) {
  ScanLine line =
      makeLine({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {4, 2, 0}});
  tagPoints(line);
  filterLine(Filter(1.0), line);
  // Items stay with their index, not with the point kept there.
  EXPECT_EQ(tagsOf(line), (std::vector<std::uint32_t>{0, 1, 2}));
  EXPECT_EQ(line.getPoint(1)->getPosition(), Point(2, 0, 0));

  const Points tiny = {{0, 0, 0}, {1, 1, 0}, {1e-14, 0, 0}};
  ScanLine tinyLine = makeLine(tiny);
  EXPECT_THROW(filterLine(Filter(0.5), tinyLine), EMathZeroVector);
  EXPECT_EQ(positionsOf(tinyLine), tiny);
}

}  // namespace
}  // namespace QUAX
