// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "FilterTestSupport.h"
#include "ReferenceFilters.h"
#include "geomath/MathErrors.h"
#include "scan/ScanErrors.h"
#include "scan/filters/ScanChordalDeviationFilter.h"
#include "scan/model/ScanPointItems.h"

namespace QUAX {
namespace {

using test::errorReading;
using test::makeLine;
using test::Point;
using test::Points;
using test::positionsOf;
using test::settingsText;

Points thinned(const ScanChordalDeviationFilter& filter, const Points& points) {
  ScanLine line = makeLine(points);
  filter.filterScanLine(&line);
  return positionsOf(line);
}

std::uint32_t graysumOf(const ScanPoint& p) {
  return static_cast<ScanPointGraysumData*>(
             p.findItem(ScanPointGraysumData::GraysumDataKey).getBody())
      ->getGraysum();
}

TEST(ScanChordalDeviationFilter, LeavesLinesOfFewerThanThreePoints) {
  const ScanChordalDeviationFilter filter(0.1);
  EXPECT_TRUE(thinned(filter, {}).empty());
  EXPECT_EQ(thinned(filter, {{1, 2, 3}}), Points({{1, 2, 3}}));
  EXPECT_EQ(thinned(filter, {{1, 2, 3}, {1, 2, 3}}),
            Points({{1, 2, 3}, {1, 2, 3}}));
}

TEST(ScanChordalDeviationFilter,
     ThinsCollinearPointsToTheEndsUnlessTheSpanIsShort) {
  const Points line = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {4, 0, 0}};
  EXPECT_EQ(thinned(ScanChordalDeviationFilter(0.1, 100.0), line),
            Points({{0, 0, 0}, {4, 0, 0}}));
  EXPECT_EQ(thinned(ScanChordalDeviationFilter(0.1, 1.5), line), line);
}

TEST(ScanChordalDeviationFilter, ChordOfExactlyTheSpanKeepsTheCurrentPoint) {
  const Points line = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}};
  EXPECT_EQ(thinned(ScanChordalDeviationFilter(0.1, 2.0), line), line);
  EXPECT_EQ(
      thinned(ScanChordalDeviationFilter(0.1, std::nextafter(2.0, 3.0)), line),
      Points({{0, 0, 0}, {2, 0, 0}}));
}

TEST(ScanChordalDeviationFilter, DeviationOfExactlyTheLimitKeepsThePoint) {
  // (1, 1, 0) lies exactly 1 from the chord from (0, 0, 0) to (2, 0, 0); as
  // the point right after the anchor it is kept itself.
  const Points line = {{0, 0, 0}, {1, 1, 0}, {2, 0, 0}};
  EXPECT_EQ(thinned(ScanChordalDeviationFilter(1.0), line), line);
  EXPECT_EQ(thinned(ScanChordalDeviationFilter(std::nextafter(1.0, 2.0)), line),
            Points({{0, 0, 0}, {2, 0, 0}}));
}

TEST(ScanChordalDeviationFilter, KeepsThePointBeforeTheFirstDeviation) {
  // At i = 3 the chord from (0,0,0) to (4,2,0) leaves (3,0,0) 1.34 away:
  // (2,0,0), the point before it, is kept and becomes the anchor.
  const Points line = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {4, 2, 0}};
  EXPECT_EQ(thinned(ScanChordalDeviationFilter(1.0), line),
            Points({{0, 0, 0}, {2, 0, 0}, {4, 2, 0}}));
}

TEST(ScanChordalDeviationFilter, NextPointOnTheAnchorDropsTheCurrentOne) {
  const Points line = {{0, 0, 0}, {1, 3, 0}, {0, 0, 0}};
  EXPECT_EQ(thinned(ScanChordalDeviationFilter(1.0), line),
            Points({{0, 0, 0}, {0, 0, 0}}));
}

TEST(ScanChordalDeviationFilter, TinyChordThrowsAndLeavesTheLineUnchanged) {
  const Points line = {{0, 0, 0}, {1, 1, 0}, {1e-14, 0, 0}};
  ScanLine scanLine = makeLine(line);
  EXPECT_THROW(ScanChordalDeviationFilter(0.5).filterScanLine(&scanLine),
               EMathZeroVector);
  EXPECT_EQ(positionsOf(scanLine), line);
}

TEST(ScanChordalDeviationFilter, ExtensionItemsStayWithTheirIndex) {
  const Points positions = {
      {0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {4, 2, 0}};
  ScanLine line = makeLine(positions);
  for (std::uint32_t i = 0; i < 5; ++i) {
    ScanPoint* p = line.getPoint(i);
    p->createExtensionList();
    auto* item = new ScanPointGraysumData();
    item->setGraysum(100 + i);
    p->addItem(item);
  }
  ScanChordalDeviationFilter(1.0).filterScanLine(&line);
  ASSERT_EQ(line.getPointCount(), 3u);
  EXPECT_EQ(line.getPoint(1)->getPosition(), Point(2, 0, 0));
  EXPECT_EQ(line.getPoint(2)->getPosition(), Point(4, 2, 0));
  for (std::uint32_t i = 0; i < 3; ++i) {
    EXPECT_EQ(graysumOf(*line.getPoint(i)), 100 + i);
  }
}

TEST(ScanChordalDeviationFilter, MatchesTheStepByStepRunToTheBit) {
  std::uint32_t seed = 100;
  for (const double limit : {0.01, 0.05, 0.2, 1.0}) {
    for (const double span : {2.0, 50.0, 2000.0}) {
      for (const std::size_t count : {3u, 10u, 400u}) {
        const double gap = seed % 2 ? 4.0 : 0.0;
        const Points line = test::noisyProfile(count, seed++, 0.05, gap);
        EXPECT_TRUE(test::sameBits(
            thinned(ScanChordalDeviationFilter(limit, span), line),
            reference::chordalDeviation(line, limit, span)))
            << limit << " " << span << " " << count;
      }
    }
  }
}

TEST(ScanChordalDeviationFilter, GrowsItsBufferForLongLines) {
  const ScanChordalDeviationFilter filter(0.05, 2000.0, 10);
  const Points line = test::noisyProfile(300, 9);
  const Points expected = reference::chordalDeviation(line, 0.05, 2000.0);
  EXPECT_TRUE(test::sameBits(thinned(filter, line), expected));
  EXPECT_TRUE(test::sameBits(thinned(filter, line), expected));
  const ScanChordalDeviationFilter empty(0.05, 2000.0, 0);
  EXPECT_TRUE(test::sameBits(thinned(empty, line), expected));
}

TEST(ScanChordalDeviationFilter, ConstructorChecksLimitBeforeSpan) {
  EXPECT_THROW(ScanChordalDeviationFilter(0.0), EScanNonPositiveDeviationLimit);
  EXPECT_THROW(ScanChordalDeviationFilter(-1.0, -1.0),
               EScanNonPositiveDeviationLimit);
  EXPECT_THROW(ScanChordalDeviationFilter(1.0, 0.0), EScanNonPositiveMaxSpan);
}

TEST(ScanChordalDeviationFilter, PublishesKeyAndDefaults) {
  EXPECT_EQ(ScanChordalDeviationFilter::getDefaultMaxSpan(), 2000.0);
  EXPECT_EQ(ScanChordalDeviationFilter::getDefaultMaxPointCounts(), 8000u);
  EXPECT_EQ(ScanChordalDeviationFilter(1.0).getKey(),
            L"ScanChordalDeviationFilter");
  EXPECT_EQ(settingsText(ScanChordalDeviationFilter(0.25)),
            L"<ScanChordalDeviationFilter>\n<DeviationLimit value=\"0.25\"/>\n"
            L"<MaxSpan value=\"2000\"/>\n</ScanChordalDeviationFilter>\n");
}

TEST(ScanChordalDeviationFilter, SettingsRoundTripAndCopies) {
  ScanChordalDeviationFilter target(3.0, 7.0);
  std::wistringstream is(
      settingsText(ScanChordalDeviationFilter(0.5, 100.0, 10)));
  is >> target;
  EXPECT_EQ(settingsText(target),
            settingsText(ScanChordalDeviationFilter(0.5, 100.0)));

  const ScanChordalDeviationFilter copy(target);
  EXPECT_EQ(settingsText(copy), settingsText(target));
  ScanChordalDeviationFilter assigned(9.0);
  assigned = target;
  assigned = *&assigned;
  EXPECT_EQ(settingsText(assigned), settingsText(target));
}

TEST(ScanChordalDeviationFilter,
     ReadStoresUncheckedValuesAndKeepsPartialReads) {
  ScanChordalDeviationFilter filter(3.0, 7.0);
  std::wistringstream negative(
      L"<ScanChordalDeviationFilter>\n<DeviationLimit value=\"-1\"/>\n"
      L"<MaxSpan value=\"0\"/>\n</ScanChordalDeviationFilter>\n");
  negative >> filter;
  EXPECT_NE(settingsText(filter).find(L"value=\"-1\""), std::wstring::npos);

  std::wistringstream broken(
      L"<ScanChordalDeviationFilter>\n<DeviationLimit value=\"0.75\"/>\n"
      L"<MaxSpn value=\"4\"/>\n</ScanChordalDeviationFilter>\n");
  EXPECT_THROW(broken >> filter, EScanIOBadAttribute);
  EXPECT_EQ(settingsText(filter),
            L"<ScanChordalDeviationFilter>\n<DeviationLimit value=\"0.75\"/>\n"
            L"<MaxSpan value=\"0\"/>\n</ScanChordalDeviationFilter>\n");
}

TEST(ScanChordalDeviationFilter, SettingsErrorsNameTheFilterClass) {
  ScanChordalDeviationFilter filter(1.0);
  EXPECT_NE(errorReading<EScanIOBadHeader>(filter, L"<ScanAverageFilter>\n")
                .find(L"ScanChordalDeviationFilter"),
            std::wstring::npos);
  EXPECT_NE(errorReading<EScanIOBadFooter>(
                filter,
                L"<ScanChordalDeviationFilter>\n<DeviationLimit value=\"1\"/>\n"
                L"<MaxSpan value=\"4\"/>\n<MaxSpan value=\"4\"/>\n")
                .find(L"ScanChordalDeviationFilter"),
            std::wstring::npos);
}

}  // namespace
}  // namespace QUAX
