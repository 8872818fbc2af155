// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "FilterTestSupport.h"
#include "ReferenceFilters.h"
#include "scan/ScanErrors.h"
#include "scan/filters/ChordalDeviation.h"
#include "scan/filters/ScanNPointFilter.h"
#include "scan/model/ScanPointItems.h"

namespace QUAX {
namespace {

using test::makeLine;
using test::Point;
using test::Points;
using test::positionsOf;
using test::settingsText;
using Algorithm = ScanNPointFilter::ScanNPointFilterAlgorithm;

// Points i = 0 ... count - 1 at (i, i * i, 0): every point is told apart by
// its x coordinate, which is its index.
Points indexed(int count) {
  Points points;
  for (int i = 0; i < count; ++i) points.emplace_back(i, i * i, 0);
  return points;
}

std::vector<int> indexesOf(const Points& points) {
  std::vector<int> indexes;
  for (const Point& p : points) indexes.push_back(static_cast<int>(p.x()));
  return indexes;
}

Points collinear(int count, double spacing = 1.0) {
  Points points;
  for (int i = 0; i < count; ++i) points.emplace_back(i * spacing, 0, 0);
  return points;
}

Points reduced(const ScanNPointFilter& filter, const Points& points) {
  ScanLine line = makeLine(points);
  filter.filterScanLine(&line);
  return positionsOf(line);
}

// The filter throws E and leaves the line as it was.
template <class E>
void expectRefusedUnchanged(const ScanNPointFilter& filter,
                            const Points& points) {
  ScanLine line = makeLine(points);
  EXPECT_THROW(filter.filterScanLine(&line), E);
  EXPECT_EQ(positionsOf(line), points);
}

const ScanNPointFilter kSearchFour(4, ScanNPointFilter::CHORDAL_DEVIATION);

void readInto(ScanNPointFilter& filter, std::int32_t count,
              const std::wstring& algorithm) {
  std::wistringstream is(L"<ScanNPointFilter>\n<NumberOfPoints value=\"" +
                         std::to_wstring(count) + L"\"/>\n<Algorithm value=\"" +
                         algorithm + L"\"/>\n</ScanNPointFilter>\n");
  is >> filter;
}

// ---- construction and settings
// ----------------------------------------------------

TEST(ScanNPointFilter, ConstructorRefusesCountsAndAlgorithmsInOrder) {
  EXPECT_THROW(ScanNPointFilter(0, ScanNPointFilter::EQUAL_INDEX),
               EScanNonPositiveNumberOfPoints);
  EXPECT_THROW(ScanNPointFilter(-1, ScanNPointFilter::EQUAL_INDEX),
               EScanNonPositiveNumberOfPoints);
  EXPECT_THROW(ScanNPointFilter(2, ScanNPointFilter::EQUAL_INDEX),
               EScanNPointFilterTooSmall);
  EXPECT_THROW(ScanNPointFilter(1, static_cast<Algorithm>(3)),
               EScanNPointFilterTooSmall);
  EXPECT_THROW(ScanNPointFilter(3, static_cast<Algorithm>(3)),
               EScanUnknownNPointFilterAlgorithm);
}

TEST(ScanNPointFilter, SettingsRoundTrip) {
  const ScanNPointFilter source(20, ScanNPointFilter::EQUAL_ARC_LENGTH);
  EXPECT_EQ(settingsText(source),
            L"<ScanNPointFilter>\n<NumberOfPoints value=\"20\"/>\n"
            L"<Algorithm value=\"1\"/>\n</ScanNPointFilter>\n");
  ScanNPointFilter target(3, ScanNPointFilter::CHORDAL_DEVIATION);
  std::wistringstream is(settingsText(source));
  is >> target;
  EXPECT_EQ(settingsText(target), settingsText(source));
  EXPECT_EQ(target.getKey(), L"ScanNPointFilter");
  EXPECT_EQ(ScanNPointFilter::_scanNPointFilterKey, L"ScanNPointFilter");
}

TEST(ScanNPointFilter, CopiesCarryTheSettings) {
  const ScanNPointFilter source(7, ScanNPointFilter::CHORDAL_DEVIATION);
  const ScanNPointFilter copy(source);
  EXPECT_EQ(settingsText(copy), settingsText(source));
  ScanNPointFilter assigned(3, ScanNPointFilter::EQUAL_INDEX);
  assigned = source;
  assigned = *&assigned;
  EXPECT_EQ(settingsText(assigned), settingsText(source));
}

TEST(ScanNPointFilter, FailedAlgorithmLineKeepsTheCountRead) {
  ScanNPointFilter filter(3, ScanNPointFilter::EQUAL_INDEX);
  EXPECT_NE(test::errorReading<EScanIOBadAttribute>(
                filter,
                L"<ScanNPointFilter>\n<NumberOfPoints value=\"12\"/>\n"
                L"<Algorithm value=\"1\">\n</ScanNPointFilter>\n")
                .find(L"ScanNPointFilter"),
            std::wstring::npos);
  EXPECT_EQ(settingsText(filter),
            L"<ScanNPointFilter>\n<NumberOfPoints value=\"12\"/>\n"
            L"<Algorithm value=\"0\"/>\n</ScanNPointFilter>\n");
}

TEST(ScanNPointFilter, UncheckedSettingsAreHandledWhenFiltering) {
  ScanNPointFilter filter(3, ScanNPointFilter::EQUAL_INDEX);
  const Points line = indexed(10);
  ScanLine scanLine = makeLine(line);

  readInto(filter, 2, L"0");
  EXPECT_THROW(filter.filterScanLine(&scanLine), EScanNPointFilterTooSmall);
  readInto(filter, -4, L"1");
  EXPECT_THROW(filter.filterScanLine(&scanLine),
               EScanNonPositiveNumberOfPoints);
  readInto(filter, 5, L"7");
  filter.filterScanLine(&scanLine);
  EXPECT_EQ(positionsOf(scanLine), line);
  readInto(filter, 11, L"7");
  EXPECT_THROW(filter.filterScanLine(&scanLine), EScanNPointFilterTooLarge);
}

// ---- even spacing by index
// ------------------------------------------------------------

TEST(ScanNPointFilter, EqualIndexRoundsHalvesUp) {
  EXPECT_EQ(
      indexesOf(reduced(ScanNPointFilter(3, ScanNPointFilter::EQUAL_INDEX),
                        indexed(10))),
      std::vector<int>({0, 5, 9}));
  EXPECT_EQ(
      indexesOf(reduced(ScanNPointFilter(5, ScanNPointFilter::EQUAL_INDEX),
                        indexed(7))),
      std::vector<int>({0, 2, 3, 5, 6}));
  // Keeping all points leaves the line.
  EXPECT_EQ(
      reduced(ScanNPointFilter(9, ScanNPointFilter::EQUAL_INDEX), indexed(9)),
      indexed(9));
}

TEST(ScanNPointFilter, EqualIndexMatchesTheStepByStepChoice) {
  for (const int count : {3, 7, 13, 50, 101}) {
    for (int n = count; n < count + 40; n += 7) {
      const Points line = indexed(n);
      const ScanNPointFilter filter(count, ScanNPointFilter::EQUAL_INDEX);
      EXPECT_EQ(reduced(filter, line), reference::equalIndex(line, count))
          << count << " of " << n;
    }
  }
}

TEST(ScanNPointFilter, LineShorterThanTheCountIsRefusedUnchanged) {
  for (const Algorithm a :
       {ScanNPointFilter::EQUAL_INDEX, ScanNPointFilter::EQUAL_ARC_LENGTH,
        ScanNPointFilter::CHORDAL_DEVIATION}) {
    expectRefusedUnchanged<EScanNPointFilterTooLarge>(ScanNPointFilter(5, a),
                                                      indexed(4));
  }
}

// ---- even spacing by path length
// ----------------------------------------------------

TEST(ScanNPointFilter, EqualArcLengthTakesEvenlySpacedPoints) {
  EXPECT_EQ(reduced(ScanNPointFilter(4, ScanNPointFilter::EQUAL_ARC_LENGTH),
                    collinear(7)),
            Points({{0, 0, 0}, {2, 0, 0}, {4, 0, 0}, {6, 0, 0}}));
}

TEST(ScanNPointFilter, TargetHalfwayAlongASegmentTakesItsEnd) {
  // Path length 3, N = 3: the target at 1.5 lies halfway from x = 1 to 2.
  EXPECT_EQ(reduced(ScanNPointFilter(3, ScanNPointFilter::EQUAL_ARC_LENGTH),
                    collinear(4)),
            Points({{0, 0, 0}, {2, 0, 0}, {3, 0, 0}}));
}

TEST(ScanNPointFilter, GapsAreLeftOutOfThePath) {
  // Segments 1, 1, 2500 (a gap), 1, 1: path length 4, targets every 2.
  const Points line = {{0, 0, 0},    {1, 0, 0},    {2, 0, 0},
                       {2502, 0, 0}, {2503, 0, 0}, {2504, 0, 0}};
  EXPECT_EQ(
      reduced(ScanNPointFilter(3, ScanNPointFilter::EQUAL_ARC_LENGTH), line),
      Points({{0, 0, 0}, {2, 0, 0}, {2504, 0, 0}}));
}

TEST(ScanNPointFilter, SegmentOfExactly2000CountsButIsPassedOverBesideAGap) {
  // Without a gap the 2000 segment is walked like any other.
  // Path length 3001, targets every 1500.5.
  const Points plain = {{0, 0, 0}, {2000, 0, 0}, {2001, 0, 0}, {3001, 0, 0}};
  EXPECT_EQ(
      reduced(ScanNPointFilter(3, ScanNPointFilter::EQUAL_ARC_LENGTH), plain),
      Points({{0, 0, 0}, {2000, 0, 0}, {3001, 0, 0}}));
  // With a gap elsewhere it still counts in the path length (2000 + 2 = 2002,
  // targets every 1001) but the walk passes over it: only the two unit
  // segments are walked, and the first target falls past them.
  ScanLine gapped = makeLine(
      {{0, 0, 0}, {2000, 0, 0}, {2001, 0, 0}, {5001, 0, 0}, {5002, 0, 0}});
  EXPECT_THROW(ScanNPointFilter(3, ScanNPointFilter::EQUAL_ARC_LENGTH)
                   .filterScanLine(&gapped),
               EScanNPointFilterPointsNotExact);
  EXPECT_EQ(positionsOf(gapped), Points({{0, 0, 0}, {5002, 0, 0}}));
}

TEST(ScanNPointFilter, CoincidentPointsCutTheLineToTwoAndThrow) {
  ScanLine line = makeLine(Points(6, Point(1, 2, 3)));
  EXPECT_THROW(ScanNPointFilter(4, ScanNPointFilter::EQUAL_ARC_LENGTH)
                   .filterScanLine(&line),
               EScanNPointFilterPointsNotExact);
  EXPECT_EQ(positionsOf(line), Points(2, Point(1, 2, 3)));
}

TEST(ScanNPointFilter, EqualArcLengthMatchesTheStepByStepWalkToTheBit) {
  std::uint32_t seed = 200;
  for (const int count : {3, 10, 57}) {
    for (const double gap : {0.0, 2500.0}) {
      const Points line = test::noisyProfile(300, seed++, 0.05, gap);
      bool exact = true;
      const Points expected = reference::equalArcLength(line, count, exact);
      ScanLine scanLine = makeLine(line);
      const ScanNPointFilter filter(count, ScanNPointFilter::EQUAL_ARC_LENGTH);
      if (exact) {
        filter.filterScanLine(&scanLine);
      } else {
        EXPECT_THROW(filter.filterScanLine(&scanLine),
                     EScanNPointFilterPointsNotExact);
      }
      EXPECT_TRUE(test::sameBits(positionsOf(scanLine), expected))
          << count << " " << gap;
    }
  }
}

// ---- chordal deviation search
// -----------------------------------------------------------

TEST(ScanNPointFilter, StatisticsOfTheZigzag) {
  const Points zigzag = {{0, 0, 0}, {1, 1, 0}, {2, 0, 0},
                         {3, 1, 0}, {4, 0, 0}, {5, 1, 0}};
  const DeviationStatistics stats = deviationStatistics(zigzag.data(), 6);
  EXPECT_DOUBLE_EQ(stats.length, 4.0 * std::sqrt(2.0));
  EXPECT_DOUBLE_EQ(stats.minimum, 1.0);
  EXPECT_DOUBLE_EQ(stats.maximum, 1.0);
  EXPECT_EQ(stats.count, 4);
  EXPECT_DOUBLE_EQ(stats.sum / static_cast<double>(stats.count), 1.0);
}

TEST(ScanNPointFilter, SearchNeedsThreePointsMoreThanTheCount) {
  const ScanNPointFilter filter(5, ScanNPointFilter::CHORDAL_DEVIATION);
  expectRefusedUnchanged<EScanNPointFilterTooLarge>(
      filter, test::noisyProfile(7, 1, 0.3));

  const Points eight = test::noisyProfile(8, 1, 0.3);
  ScanLine accepted = makeLine(eight);
  try {
    filter.filterScanLine(&accepted);
    EXPECT_EQ(accepted.getPointCount(), 5u);
  } catch (const EScanException& e) {
    EXPECT_EQ(dynamic_cast<const EScanNPointFilterTooLarge*>(&e), nullptr);
  }
}

TEST(ScanNPointFilter, SearchRefusesLinesWithoutMeasurableDeviation) {
  expectRefusedUnchanged<EScanNonPositiveDeviationLimit>(kSearchFour,
                                                         collinear(12, 0.5));
  // Every p[i + 2] lies on p[i]: no deviation can be measured at all.
  Points back;
  for (int i = 0; i < 10; ++i) back.emplace_back(i % 2, 0, 0);
  expectRefusedUnchanged<EScanNonPositiveDeviationLimit>(kSearchFour, back);
}

TEST(ScanNPointFilter, SearchRefusesAPathOfLengthZero) {
  Points line(9, Point(3, 3, 3));
  line.emplace_back(4, 4, 4);
  expectRefusedUnchanged<EScanNonPositiveMaxSpan>(kSearchFour, line);
}

TEST(ScanNPointFilter, SuccessfulSearchKeepsExactlyNOriginalPointsInOrder) {
  std::uint32_t seed = 300;
  int successes = 0;
  for (const int count : {10, 20, 40}) {
    for (int round = 0; round < 4; ++round) {
      const Points line = test::noisyProfile(400, seed++, 0.1);
      ScanLine scanLine = makeLine(line);
      try {
        ScanNPointFilter(count, ScanNPointFilter::CHORDAL_DEVIATION)
            .filterScanLine(&scanLine);
      } catch (const EScanException&) {
        continue;  // the search may miss N on some profiles
      }
      ++successes;
      const Points result = positionsOf(scanLine);
      ASSERT_EQ(result.size(), static_cast<std::size_t>(count));
      EXPECT_EQ(result.front(), line.front());
      EXPECT_EQ(result.back(), line.back());
      std::size_t next = 0;
      for (const Point& p : result) {
        while (next < line.size() && line[next] != p) ++next;
        ASSERT_LT(next, line.size()) << "not an original point in order";
        ++next;
      }
    }
  }
  EXPECT_GE(successes, 9);
}

TEST(ScanNPointFilter, SearchMatchesTheStepByStepSearchToTheBit) {
  std::uint32_t seed = 400;
  for (const int count : {4, 9, 25, 80}) {
    for (const double noise : {0.02, 0.3}) {
      for (const double gap : {0.0, 5.0}) {
        const Points line = test::noisyProfile(250, seed++, noise, gap);
        const ScanNPointFilter filter(count,
                                      ScanNPointFilter::CHORDAL_DEVIATION);
        ScanLine scanLine = makeLine(line);
        int expectedCode = 0;
        Points expected = line;
        try {
          expected = reference::chordalSearch(line, count);
        } catch (const EVXException& e) {
          expectedCode = e.getCode();
        }
        int code = 0;
        try {
          filter.filterScanLine(&scanLine);
        } catch (const EVXException& e) {
          code = e.getCode();
        }
        EXPECT_EQ(code, expectedCode) << count << " " << noise << " " << gap;
        if (expectedCode == 0) {
          EXPECT_TRUE(test::sameBits(positionsOf(scanLine), expected));
        }
      }
    }
  }
}

TEST(ScanNPointFilter, ExtensionItemsStayWithTheirIndex) {
  ScanLine line = makeLine(indexed(10));
  for (std::uint32_t i = 0; i < 10; ++i) {
    line.getPoint(i)->createExtensionList();
    auto* item = new ScanPointTPData();
    item->setLowPixel(i);
    line.getPoint(i)->addItem(item);
  }
  ScanNPointFilter(3, ScanNPointFilter::EQUAL_INDEX).filterScanLine(&line);
  ASSERT_EQ(line.getPointCount(), 3u);
  EXPECT_EQ(line.getPoint(1)->getPosition().x(), 5.0);
  for (std::uint32_t i = 0; i < 3; ++i) {
    const auto* item = static_cast<ScanPointTPData*>(
        line.getPoint(i)->findItem(ScanPointTPData::TPDataKey).getBody());
    EXPECT_EQ(item->getLowPixel(), i);
  }
}

}  // namespace
}  // namespace QUAX
