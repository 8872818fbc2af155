// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>
#include <stdexcept>

#include "FilterTestSupport.h"
#include "ReferenceFilters.h"
#include "geomath/MathErrors.h"
#include "scan/ScanErrors.h"
#include "scan/filters/ScanAverageFilter.h"

namespace QUAX {
namespace {

using test::filterLine;
using test::makeLine;
using test::Point;
using test::Points;
using test::positionsOf;
using test::settingsText;

std::wstring blockOf(std::int32_t n, const std::wstring& limit,
                     const std::vector<int>& weights) {
  std::wstring text = L"<ScanAverageFilter>\n<NeighborhoodSize value=\"" +
                      std::to_wstring(n) + L"\"/>\n<ProximityLimit value=\"" +
                      limit + L"\"/>\n";
  for (const int w : weights) {
    text += L"<Weights value=\"" + std::to_wstring(w) + L"\"/>\n";
  }
  return text + L"</ScanAverageFilter>\n";
}

void read(ScanAverageFilter& filter, const std::wstring& text) {
  std::wistringstream is(text);
  is >> filter;
}

Points filtered(const ScanAverageFilter& filter, const Points& points) {
  ScanLine line = makeLine(points);
  filterLine(filter, line);
  return positionsOf(line);
}

// ---- construction and weights
// -------------------------------------------------

TEST(ScanAverageFilter, WritesTheSevenSettingsLinesOfSizeFive) {
  EXPECT_EQ(settingsText(ScanAverageFilter(5, 500.0)),
            L"<ScanAverageFilter>\n"
            L"<NeighborhoodSize value=\"5\"/>\n"
            L"<ProximityLimit value=\"500\"/>\n"
            L"<Weights value=\"5\"/>\n"
            L"<Weights value=\"48\"/>\n"
            L"<Weights value=\"100\"/>\n"
            L"<Weights value=\"48\"/>\n"
            L"<Weights value=\"5\"/>\n"
            L"</ScanAverageFilter>\n");
}

TEST(ScanAverageFilter, WeightsFollowTheTruncatedGaussian) {
  const std::vector<int> weights[] = {{100},
                                      {13, 100, 13},
                                      {3, 23, 69, 100, 69, 23, 3},
                                      {2, 13, 41, 80, 100, 80, 41, 13, 2}};
  for (const std::vector<int>& w : weights) {
    const auto n = static_cast<std::int32_t>(w.size());
    EXPECT_EQ(settingsText(ScanAverageFilter(n, 2.0)), blockOf(n, L"2", w));
  }
}

TEST(ScanAverageFilter, EndWeightsStayPositiveForLargeWindows) {
  const std::wstring text = settingsText(ScanAverageFilter(15, 1.0));
  EXPECT_NE(text.find(L"<Weights value=\"1\"/>\n<Weights value=\"5\"/>"),
            std::wstring::npos);
  EXPECT_EQ(text.find(L"<Weights value=\"0\"/>"), std::wstring::npos);
}

TEST(ScanAverageFilter, ConstructorChecksSizeBeforeLimit) {
  EXPECT_THROW(ScanAverageFilter(0, 500.0), EScanNeighborhoodSizeOutOfRange);
  EXPECT_THROW(ScanAverageFilter(-3, 500.0), EScanNeighborhoodSizeOutOfRange);
  EXPECT_THROW(ScanAverageFilter(4, 500.0), EScanNeighborhoodSizeNotOddNumber);
  EXPECT_THROW(ScanAverageFilter(5, 0.0), EScanNonPositiveProximityLimit);
  EXPECT_THROW(ScanAverageFilter(5, -1.0), EScanNonPositiveProximityLimit);
  EXPECT_THROW(ScanAverageFilter(2, -1.0), EScanNeighborhoodSizeNotOddNumber);
}

TEST(ScanAverageFilter, PublishesKeyAndDefaultLimit) {
  EXPECT_EQ(ScanAverageFilter::getDefaultProximityLimit(), 500.0);
  EXPECT_EQ(ScanAverageFilter::_defaultProximityLimit, 500.0);
  EXPECT_EQ(ScanAverageFilter::_scanAverageFilterKey, L"ScanAverageFilter");
}

TEST(ScanAverageFilter, CopiesAreIndependent) {
  const ScanAverageFilter original(5, 500.0);
  ScanAverageFilter copy(original);
  read(copy, blockOf(1, L"2", {7}));
  EXPECT_EQ(settingsText(original), settingsText(ScanAverageFilter(5, 500.0)));

  ScanAverageFilter assigned(3, 1.0);
  assigned = original;
  EXPECT_EQ(settingsText(assigned), settingsText(original));
  assigned = *&assigned;
  EXPECT_EQ(settingsText(assigned), settingsText(original));
}

// ---- filtering
// -----------------------------------------------------------------

TEST(ScanAverageFilter, SmoothsTheWorkedExample) {
  const Points result =
      filtered(ScanAverageFilter(3, 500.0),
               {{0, 0, 0}, {1, 0, 0}, {2, 1, 0}, {3, 0, 0}, {4, 0, 0}});
  const Points expected = {{0, 0, 0},
                           {0.95873, 0.08254, 0},
                           {2, 0.793651, 0},
                           {3.04127, 0.08254, 0},
                           {4, 0, 0}};
  ASSERT_EQ(result.size(), expected.size());
  for (std::size_t i = 0; i < result.size(); ++i) {
    EXPECT_NEAR(result[i].x(), expected[i].x(), 5e-6) << i;
    EXPECT_NEAR(result[i].y(), expected[i].y(), 5e-6) << i;
    EXPECT_EQ(result[i].z(), 0.0) << i;
  }
  EXPECT_EQ(result[0], Point(0, 0, 0));
  EXPECT_EQ(result[4], Point(4, 0, 0));
}

TEST(ScanAverageFilter, GapEndsThePassBeforeTheOutlier) {
  const Points line = {{0, 0, 0},  {1, 0, 0},  {2, 0, 0},  {10, 0, 0},
                       {11, 0, 0}, {12, 1, 0}, {13, 0, 0}, {14, 0, 0}};
  EXPECT_EQ(filtered(ScanAverageFilter(3, 5.0), line), line);
  // Without the gap rule the outlier would be pulled towards its neighbours.
  EXPECT_NE(filtered(ScanAverageFilter(3, 50.0), line)[5], line[5]);
}

TEST(ScanAverageFilter, NeighbourAtExactlyTheLimitCounts) {
  // Both neighbours of (3, 4, 0) lie exactly 5 away.
  const Points line = {{0, 0, 0}, {3, 4, 0}, {6, 0, 0}};
  const Points moved = filtered(ScanAverageFilter(3, 5.0), line);
  EXPECT_EQ(moved[1].x(), 3.0);
  EXPECT_NEAR(moved[1].y(), 2.0 + 148.0 / 126.0, 1e-12);
  const double justBelow = std::nextafter(5.0, 0.0);
  EXPECT_EQ(filtered(ScanAverageFilter(3, justBelow), line), line);
}

TEST(ScanAverageFilter, LeavesShortAndStraightLinesAsTheyAre) {
  const ScanAverageFilter filter(5, 500.0);
  const Points four = {{0, 0, 0}, {1, 1, 0}, {2, 0, 0}, {3, 1, 0}};
  EXPECT_EQ(filtered(filter, four), four);
  EXPECT_TRUE(filtered(filter, {}).empty());

  const Points zigzag = {{0, 0, 0}, {1, 1, 0}, {2, 0, 0}, {3, 1, 0}, {4, 0, 0}};
  EXPECT_EQ(filtered(ScanAverageFilter(1, 500.0), zigzag), zigzag);

  Points axis;
  for (int i = 0; i < 12; ++i) axis.emplace_back(0, 0.5 * i, 0);
  EXPECT_EQ(filtered(filter, axis), axis);
}

TEST(ScanAverageFilter, MatchesTheStepByStepPassToTheBit) {
  struct Case {
    int n;
    double limit;
    double gap;
  };
  const Case cases[] = {{3, 500.0, 0.0}, {5, 500.0, 0.0}, {7, 0.5, 0.0},
                        {9, 500.0, 0.0}, {15, 2.0, 0.0},  {5, 1.0, 3.0},
                        {5, 0.25, 0.0}};
  std::uint32_t seed = 1;
  for (const Case& c : cases) {
    const ScanAverageFilter filter(c.n, c.limit);
    std::wistringstream weightsText(settingsText(filter));
    std::vector<int> weights;
    for (std::wstring lineText; std::getline(weightsText, lineText);) {
      if (lineText.rfind(L"<Weights value=\"", 0) == 0) {
        weights.push_back(std::stoi(lineText.substr(16)));
      }
    }
    for (const std::size_t count : {5u, 40u, 300u}) {
      const Points line = test::noisyProfile(count, seed++, 0.05, c.gap);
      EXPECT_TRUE(
          test::sameBits(filtered(filter, line),
                         reference::average(line, c.n, c.limit, weights)))
          << "n " << c.n << " limit " << c.limit << " points " << count;
    }
  }
}

TEST(ScanAverageFilter, PointWithoutNumbersEndsThePassAfterTheEarlierPoints) {
  // A point that is not a finite number does not even qualify for itself:
  // its backward mean divides by a count of 0.
  Points line = test::noisyProfile(600, 21, 0.1);
  line[450] = Point(std::nan(""), 0.0, 1.0);
  Points expected;
  EXPECT_THROW(
      reference::averageInto(line, 5, 500.0, {5, 48, 100, 48, 5}, expected),
      EMathDivisionByZero);
  ScanLine scanLine = makeLine(line);
  EXPECT_THROW(filterLine(ScanAverageFilter(5, 500.0), scanLine),
               EMathDivisionByZero);
  const Points result = positionsOf(scanLine);
  EXPECT_TRUE(test::sameBits(result, expected));
  EXPECT_NE(result[100], line[100]);
  EXPECT_EQ(result[451], line[451]);
}

TEST(ScanAverageFilter, ReusesItsBuffersAcrossLongerAndShorterLines) {
  const ScanAverageFilter filter(5, 500.0);
  const Points longLine = test::noisyProfile(500, 11);
  const Points shortLine = test::noisyProfile(30, 12);
  const Points expectedShort = filtered(filter, shortLine);
  filtered(filter, longLine);
  EXPECT_EQ(filtered(filter, shortLine), expectedShort);
}

TEST(ScanAverageFilter, KeepsExtensionItemsAndPointCount) {
  ScanLine line = makeLine(test::noisyProfile(20, 3));
  line.getPoint(4)->createExtensionList();
  filterLine(ScanAverageFilter(3, 500.0), line);
  EXPECT_EQ(line.getPointCount(), 20u);
  EXPECT_TRUE(line.getPoint(4)->hasExtensionList());
  EXPECT_FALSE(line.getPoint(5)->hasExtensionList());
}

// ---- settings read into a filter
// -------------------------------------------------

TEST(ScanAverageFilter, ReadsBackWhatItWritesAndKeepsEditedUncheckedValues) {
  ScanAverageFilter filter(3, 1.0);
  read(filter, settingsText(ScanAverageFilter(5, 500.0)));
  EXPECT_EQ(settingsText(filter), settingsText(ScanAverageFilter(5, 500.0)));
  read(filter, blockOf(5, L"500", {1, 1, 1, 1, 1}));
  EXPECT_EQ(settingsText(filter), blockOf(5, L"500", {1, 1, 1, 1, 1}));
  read(filter, blockOf(4, L"-2.5", {0, 0, 0, 0}));
  EXPECT_EQ(settingsText(filter), blockOf(4, L"-2.5", {0, 0, 0, 0}));
}

// A zero limit leaves lines unchanged; a negative one fails the first
// proximity test.
TEST(ScanAverageFilter, NonPositiveLimitReadFromTextMovesNothing) {
  ScanAverageFilter filter(3, 1.0);
  const Points line = test::noisyProfile(10, 5);
  read(filter, blockOf(3, L"0", {13, 100, 13}));
  EXPECT_EQ(filtered(filter, line), line);
  read(filter, blockOf(3, L"-1", {13, 100, 13}));
  ScanLine scanLine = makeLine(line);
  EXPECT_THROW(filterLine(filter, scanLine), EMathNegativeTol);
  EXPECT_EQ(positionsOf(scanLine), line);
}

TEST(ScanAverageFilter, FewerWeightsThanTheSizeIsABadAttribute) {
  ScanAverageFilter filter(3, 1.0);
  EXPECT_THROW(read(filter, blockOf(5, L"500", {5, 48, 100})),
               EScanIOBadAttribute);
  // What was read before the failing line stays; the size grew the weights.
  EXPECT_EQ(settingsText(filter), blockOf(5, L"500", {5, 48, 100, 0, 0}));
}

TEST(ScanAverageFilter, MoreWeightsThanTheSizeIsABadFooter) {
  ScanAverageFilter filter(3, 1.0);
  EXPECT_THROW(read(filter, blockOf(3, L"9", {1, 2, 3, 4})), EScanIOBadFooter);
  EXPECT_EQ(settingsText(filter), blockOf(3, L"9", {1, 2, 3}));
}

// Either way the limit before the size is kept and the weights are not.
TEST(ScanAverageFilter, NegativeOrHugeSizeLeavesTheWeights) {
  ScanAverageFilter filter(3, 1.0);
  EXPECT_THROW(read(filter, blockOf(-1, L"7", {})), std::length_error);
  EXPECT_EQ(settingsText(filter), blockOf(3, L"7", {13, 100, 13}));
  EXPECT_THROW(read(filter, blockOf(2000000000, L"8", {})),
               EScanIOBadAttribute);  // refused before sizing the weights
  EXPECT_EQ(settingsText(filter), blockOf(3, L"8", {13, 100, 13}));
}

TEST(ScanAverageFilter, SettingsErrorsNameTheFilterClass) {
  ScanAverageFilter filter(3, 1.0);
  EXPECT_NE(test::errorReading<EScanIOBadHeader>(
                filter,
                L"<ScanNPointFilter>\n<NumberOfPoints value=\"5\"/>\n"
                L"<Algorithm value=\"0\"/>\n</ScanNPointFilter>\n")
                .find(L"ScanAverageFilter"),
            std::wstring::npos);
  EXPECT_EQ(settingsText(filter), settingsText(ScanAverageFilter(3, 1.0)));
}

}  // namespace
}  // namespace QUAX
