// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cmath>

#include "FilterTestSupport.h"
#include "ReferenceFilters.h"
#include "scan/ScanErrors.h"
#include "scan/filters/ScanAverageFilter.h"

namespace QUAX {
namespace {

using namespace test;

// The edge cases (gaps, neighbours exactly at the limit, short and straight
// lines) against the step-by-step pass, bit for bit; random lines are in the
// exactness property test.
TEST(ScanAverageFilter, MatchesTheStepByStepPassToTheBit) {
  Points axis;
  for (int i = 0; i < 12; ++i) axis.emplace_back(0, 0.5 * i, 0);
  const Points gapped = {{0, 0, 0},  {1, 0, 0},  {2, 0, 0},  {10, 0, 0},
                         {11, 0, 0}, {12, 1, 0}, {13, 0, 0}, {14, 0, 0}};
  const Points atLimit = {{0, 0, 0}, {3, 4, 0}, {6, 0, 0}};
  const struct {
    int n;
    double limit;
    Points line;
  } edges[] = {{3, 5.0, gapped},
               {3, 50.0, gapped},
               {3, 5.0, atLimit},
               {3, std::nextafter(5.0, 0.0), atLimit},
               {5, 500.0, {{0, 0, 0}, {1, 1, 0}, {2, 0, 0}, {3, 1, 0}}},
               {5, 500.0, {}},
               {1, 500.0, {{0, 0, 0}, {1, 1, 0}, {2, 0, 0}, {3, 1, 0}}},
               {5, 500.0, axis}};
  for (const auto& c : edges) {
    const ScanAverageFilter filter(c.n, c.limit);
    EXPECT_TRUE(
        sameBits(filtered(filter, c.line),
                 reference::average(c.line, c.n, c.limit, weightsOf(filter))))
        << c.n << " " << c.limit << " " << c.line.size();
  }
  EXPECT_NE(filtered(ScanAverageFilter(3, 5.0), atLimit), atLimit);
  EXPECT_EQ(filtered(ScanAverageFilter(3, 5.0), gapped), gapped);
}

TEST(ScanAverageFilter, KeepsItemsAndPointCount) {
  const ScanAverageFilter filter(5, 500.0);
  ScanLine line = makeLine(noisyProfile(20, 3));
  tagPoints(line);
  filterLine(filter, line);
  EXPECT_EQ(tagsOf(line)[19], 19u);
}

}  // namespace
}  // namespace QUAX
