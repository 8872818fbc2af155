// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cmath>

#include "FilterTestSupport.h"
#include "ReferenceFilters.h"
#include "scan/ScanErrors.h"
#include "scan/filters/ScanNPointFilter.h"

namespace QUAX {
namespace {

using namespace test;
using Filter = ScanNPointFilter;
using Algorithm = ScanNPointFilter::ScanNPointFilterAlgorithm;
constexpr Algorithm kIndex = ScanNPointFilter::EQUAL_INDEX;
constexpr Algorithm kArc = ScanNPointFilter::EQUAL_ARC_LENGTH;
constexpr Algorithm kSearch = ScanNPointFilter::CHORDAL_DEVIATION;

// Points i = 0 ... count - 1 at (i, i * i, 0).
Points indexed(int count, double y = 1.0) {
  Points points;
  for (int i = 0; i < count; ++i) points.emplace_back(i, i * i * y, 0);
  return points;
}

// The code of the EVXException that filtering `points` throws (0: none),
// and the line it leaves.
std::int32_t codeOf(const Filter& filter, const Points& points,
                    Points& result) {
  ScanLine line = makeLine(points);
  std::int32_t code = 0;
  try {
    filter.filterScanLine(&line);
  } catch (const EVXException& e) {
    code = e.getCode();
  }
  result = positionsOf(line);
  return code;
}

TEST(ScanNPointFilter, EqualIndexRoundsHalvesUpLikeTheStepByStepChoice) {
  EXPECT_EQ(filtered(Filter(3, kIndex), indexed(10)),
            Points({{0, 0, 0}, {5, 25, 0}, {9, 81, 0}}));
  for (const int count : {3, 5, 7, 13, 50, 101}) {
    for (int n = count; n < count + 40; n += 7) {
      EXPECT_EQ(filtered(Filter(count, kIndex), indexed(n)),
                reference::equalIndex(indexed(n), count))
          << count << " of " << n;
    }
  }
  ScanLine line = makeLine(indexed(10));
  tagPoints(line);
  filterLine(Filter(3, kIndex), line);
  // Items stay with their index, not with the point kept there.
  EXPECT_EQ(tagsOf(line), (std::vector<std::uint32_t>{0, 1, 2}));
  EXPECT_EQ(line.getPoint(1)->getPosition().x(), 5.0);
}

TEST(ScanNPointFilter, LineShorterThanTheCountIsRefusedUnchanged) {
  for (const Algorithm a : {kIndex, kArc, kSearch}) {
    Points result;
    EXPECT_EQ(codeOf(Filter(5, a), indexed(4), result),
              EScanNPointFilterTooLarge().getCode());
    EXPECT_EQ(result, indexed(4));
  }
  // The search needs three points more than the count.
  Points result;
  EXPECT_EQ(codeOf(Filter(5, kSearch), noisyProfile(7, 1, 0.3), result),
            EScanNPointFilterTooLarge().getCode());
}

// Hand-made paths (gaps of more than 2000 are left out, a segment of
// exactly 2000 counts but is passed over beside a gap, coincident points)
// and random profiles against the step-by-step walk.
TEST(ScanNPointFilter, EqualArcLengthMatchesTheStepByStepWalkToTheBit) {
  const struct {
    int count;
    Points line, kept;
    bool exact;
  } cases[] = {
      {4, indexed(7, 0), {{0, 0, 0}, {2, 0, 0}, {4, 0, 0}, {6, 0, 0}}, true},
      {3, indexed(4, 0), {{0, 0, 0}, {2, 0, 0}, {3, 0, 0}}, true},
      // Several targets on one segment.
      {4, {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {99, 0, 0}},
       {{0, 0, 0}, {3, 0, 0}, {99, 0, 0}, {99, 0, 0}}, true},
      {3,
       {{0, 0, 0},
        {1, 0, 0},
        {2, 0, 0},
        {2502, 0, 0},
        {2503, 0, 0},
        {2504, 0, 0}},
       {{0, 0, 0}, {2, 0, 0}, {2504, 0, 0}},
       true},
      {3,
       {{0, 0, 0}, {2000, 0, 0}, {2001, 0, 0}, {3001, 0, 0}},
       {{0, 0, 0}, {2000, 0, 0}, {3001, 0, 0}},
       true},
      {3,
       {{0, 0, 0}, {2000, 0, 0}, {2001, 0, 0}, {5001, 0, 0}, {5002, 0, 0}},
       {{0, 0, 0}, {5002, 0, 0}},
       false},
      {4, Points(6, Point(1, 2, 3)), Points(2, Point(1, 2, 3)), false},
  };
  const std::int32_t notExact = EScanNPointFilterPointsNotExact().getCode();
  for (const auto& c : cases) {
    bool exact = true;
    EXPECT_EQ(reference::equalArcLength(c.line, c.count, exact), c.kept);
    EXPECT_EQ(exact, c.exact);
    Points result;
    EXPECT_EQ(codeOf(Filter(c.count, kArc), c.line, result),
              c.exact ? 0 : notExact);
    EXPECT_EQ(result, c.kept) << c.line.size();
  }
  std::uint32_t seed = 200;
  for (const int count : {3, 10, 57}) {
    for (const double gap : {0.0, 2500.0}) {
      const Points line = noisyProfile(300, seed++, 0.05, gap);
      bool exact = true;
      const Points expected = reference::equalArcLength(line, count, exact);
      Points result;
      EXPECT_EQ(codeOf(Filter(count, kArc), line, result),
                exact ? 0 : notExact);
      EXPECT_TRUE(sameBits(result, expected)) << count << " " << gap;
    }
  }
}

TEST(ScanNPointFilter, SearchMatchesTheStepByStepSearchToTheBit) {
  // Lines without measurable deviation or of no length, a profile (random
  // lines are in the exactness property test), and steps whose search halves
  // a step of exactly 1e-4, meets a secant of exactly 0, or a later one
  // below 0.
  Points back, still(9, Point(3, 3, 3)), smallStep, zeroSecant, lowSecant;
  for (int i = 0; i < 10; ++i) back.emplace_back(i % 2, 0, 0);
  still.emplace_back(4, 4, 4);
  for (int i = 0; i < 6; ++i)
    smallStep.emplace_back(i, ("043414"[i] - '0') * 1e-4, 0);
  for (int i = 0; i < 12; ++i)
    zeroSecant.emplace_back(i, ("000000143324"[i] - '0') * 0.125, 0);
  for (int i = 0; i < 10; ++i)
    lowSecant.emplace_back(i, ("2020000112"[i] - '0') * 0.125, 0);
  const std::vector<std::pair<int, Points>> cases = {
      {4, indexed(12, 0)}, {4, back}, {4, still}, {5, noisyProfile(8, 1, 0.3)},
      {3, smallStep}, {9, zeroSecant}, {7, lowSecant}};
  for (const auto& [count, line] : cases) {
    std::int32_t expectedCode = 0;
    Points expected = line;
    try {
      expected = reference::chordalSearch(line, count);
    } catch (const EVXException& e) {
      expectedCode = e.getCode();
    }
    Points result;
    EXPECT_EQ(codeOf(Filter(count, kSearch), line, result), expectedCode)
        << count << " of " << line.size();
    // Refused lines stay as they were; a missed count may leave them cut.
    if (expectedCode != EScanNPointFilterPointsNotExact().getCode() &&
        expectedCode != EScanNPointFilterSolutionNotFound().getCode()) {
      EXPECT_TRUE(sameBits(result, expected)) << count << " of " << line.size();
    }
  }
}

}  // namespace
}  // namespace QUAX
