// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

#include "FilterTestSupport.h"
#include "ReferenceFilters.h"
#include "geomath/MathErrors.h"
#include "scan/ScanErrors.h"
#include "scan/filters/ScanAverageFilter.h"

namespace QUAX {
namespace {

using namespace test;

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

TEST(ScanAverageFilter, WeightsFollowTheTruncatedGaussian) {
  const std::vector<int> weights[] = {{100},
                                      {13, 100, 13},
                                      {5, 48, 100, 48, 5},
                                      {3, 23, 69, 100, 69, 23, 3},
                                      {2, 13, 41, 80, 100, 80, 41, 13, 2}};
  for (const std::vector<int>& w : weights) {
    const auto n = static_cast<std::int32_t>(w.size());
    EXPECT_EQ(settingsText(ScanAverageFilter(n, 500.0)), blockOf(n, L"500", w));
  }
  // The end weights of large windows stay positive.
  const std::vector<int> wide = weightsOf(ScanAverageFilter(15, 1.0));
  EXPECT_EQ(wide[0], 1);
  EXPECT_EQ(wide[1], 5);
  EXPECT_EQ(ScanAverageFilter::getDefaultProximityLimit(), 500.0);
}

TEST(ScanAverageFilter, ConstructorChecksSizeBeforeLimit) {
  EXPECT_THROW(ScanAverageFilter(0, 500.0), EScanNeighborhoodSizeOutOfRange);
  EXPECT_THROW(ScanAverageFilter(-3, 500.0), EScanNeighborhoodSizeOutOfRange);
  EXPECT_THROW(ScanAverageFilter(2, -1.0), EScanNeighborhoodSizeNotOddNumber);
  EXPECT_THROW(ScanAverageFilter(5, 0.0), EScanNonPositiveProximityLimit);
  EXPECT_THROW(ScanAverageFilter(5, -1.0), EScanNonPositiveProximityLimit);
}

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

TEST(ScanAverageFilter, PointWithoutNumbersEndsThePassAfterTheEarlierPoints) {
  // Not even the point itself qualifies: its backward mean divides by 0.
  Points line = noisyProfile(600, 21, 0.1);
  line[450] = Point(std::nan(""), 0.0, 1.0);
  Points expected;
  EXPECT_THROW(
      reference::averageInto(line, 5, 500.0, {5, 48, 100, 48, 5}, expected),
      EMathDivisionByZero);
  ScanLine scanLine = makeLine(line);
  EXPECT_THROW(filterLine(ScanAverageFilter(5, 500.0), scanLine),
               EMathDivisionByZero);
  EXPECT_TRUE(sameBits(positionsOf(scanLine), expected));
  EXPECT_EQ(positionsOf(scanLine)[451], line[451]);
}

TEST(ScanAverageFilter, KeepsItemsAndPointCount) {
  const ScanAverageFilter filter(5, 500.0);
  ScanLine line = makeLine(noisyProfile(20, 3));
  tagPoints(line);
  filterLine(filter, line);
  EXPECT_EQ(tagsOf(line)[19], 19u);
}

TEST(ScanAverageFilter, SettingsAreReadAsWrittenAndPartialReadsStay) {
  // What was read before a failing line stays; the size grows the weights.
  const struct {
    std::wstring text, after;
    int error;  // 0 none, 1 bad attribute, 2 bad footer, 3 length error
  } cases[] = {
      {settingsText(ScanAverageFilter(5, 500.0)),
       settingsText(ScanAverageFilter(5, 500.0)), 0},
      {blockOf(4, L"-2.5", {0, 0, 0, 0}), blockOf(4, L"-2.5", {0, 0, 0, 0}), 0},
      {blockOf(5, L"500", {5, 48, 100}), blockOf(5, L"500", {5, 48, 100, 0, 0}),
       1},
      {blockOf(3, L"9", {1, 2, 3, 4}), blockOf(3, L"9", {1, 2, 3}), 2},
      {blockOf(-1, L"7", {}), blockOf(3, L"7", {13, 100, 13}), 3},
      {blockOf(2000000000, L"8", {}), blockOf(3, L"8", {13, 100, 13}), 1},
      {L"<ScanNPointFilter>\n", settingsText(ScanAverageFilter(3, 1.0)), 4},
  };
  for (const auto& c : cases) {
    const ScanAverageFilter original(3, 1.0);
    ScanAverageFilter filter(original), assigned(5, 500.0);
    int error = 0;
    try {
      readSettings(filter, c.text);
    } catch (const EScanIOBadAttribute& e) {
      error = 1;
      EXPECT_NE(e.getDescription().find(L"ScanAverageFilter"),
                std::wstring::npos);
    } catch (const EScanIOBadFooter&) {
      error = 2;
    } catch (const std::length_error&) {
      error = 3;
    } catch (const EScanIOBadHeader& e) {
      error = 4;
      EXPECT_NE(e.getDescription().find(L"ScanAverageFilter"),
                std::wstring::npos);
    }
    EXPECT_EQ(error, c.error) << c.text;
    EXPECT_EQ(settingsText(filter), c.after) << c.text;
    assigned = filter;  // copies are independent of their source
    assigned = *&assigned;
    EXPECT_EQ(settingsText(assigned), c.after);
    EXPECT_EQ(settingsText(original), blockOf(3, L"1", {13, 100, 13}));
  }
}

// A zero limit read from text leaves lines unchanged; a negative one fails
// the first proximity test.
TEST(ScanAverageFilter, NonPositiveLimitReadFromTextMovesNothing) {
  ScanAverageFilter filter(3, 1.0);
  const Points line = noisyProfile(10, 5);
  readSettings(filter, blockOf(3, L"0", {13, 100, 13}));
  EXPECT_EQ(filtered(filter, line), line);
  readSettings(filter, blockOf(3, L"-1", {13, 100, 13}));
  ScanLine scanLine = makeLine(line);
  EXPECT_THROW(filterLine(filter, scanLine), EMathNegativeTol);
  EXPECT_EQ(positionsOf(scanLine), line);
}

}  // namespace
}  // namespace QUAX
