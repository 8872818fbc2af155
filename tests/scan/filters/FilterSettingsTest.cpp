// SPDX-License-Identifier: MIT
// The filters' settings text and their constructors' refusals: what each
// filter writes, what a read keeps when a line fails, the settings-line
// reader underneath, and how values read unchecked act when filtering.
#include <gtest/gtest.h>

#include <cmath>
#include <iomanip>
#include <sstream>
#include <stdexcept>

#include "FilterTestSupport.h"
#include "geomath/MathErrors.h"
#include "scan/ScanErrors.h"
#include "scan/filters/ScanAverageFilter.h"
#include "scan/filters/ScanChordalDeviationFilter.h"
#include "scan/filters/ScanNPointFilter.h"
#include "scan/filters/SettingsIO.h"
#include "tests/thread/ThreadTestSupport.h"

namespace QUAX {
namespace {

using namespace test;
using NPoint = ScanNPointFilter;
using Chordal = ScanChordalDeviationFilter;
using Average = ScanAverageFilter;
constexpr NPoint::ScanNPointFilterAlgorithm kIndex = NPoint::EQUAL_INDEX;
const auto kUnknown = static_cast<NPoint::ScanNPointFilterAlgorithm>(3);

TEST(FilterSettings, ConstructorsRefuseInTheirOrder) {
  EXPECT_THROW(Average(0, 500.0), EScanNeighborhoodSizeOutOfRange);
  EXPECT_THROW(Average(-3, 500.0), EScanNeighborhoodSizeOutOfRange);
  EXPECT_THROW(Average(2, -1.0), EScanNeighborhoodSizeNotOddNumber);
  EXPECT_THROW(Average(5, 0.0), EScanNonPositiveProximityLimit);
  EXPECT_THROW(Chordal(-1.0, -1.0), EScanNonPositiveDeviationLimit);
  EXPECT_THROW(Chordal(1.0, 0.0), EScanNonPositiveMaxSpan);
  EXPECT_THROW(NPoint(0, kIndex), EScanNonPositiveNumberOfPoints);
  EXPECT_THROW(NPoint(2, kIndex), EScanNPointFilterTooSmall);
  EXPECT_THROW(NPoint(1, kUnknown), EScanNPointFilterTooSmall);
  EXPECT_THROW(NPoint(3, kUnknown), EScanUnknownNPointFilterAlgorithm);
}

std::wstring averageBlock(std::int32_t n, const std::wstring& limit,
                          const std::vector<int>& weights) {
  std::wstring text = L"<ScanAverageFilter>\n<NeighborhoodSize value=\"" +
                      std::to_wstring(n) + L"\"/>\n<ProximityLimit value=\"" +
                      limit + L"\"/>\n";
  for (const int w : weights) {
    text += L"<Weights value=\"" + std::to_wstring(w) + L"\"/>\n";
  }
  return text + L"</ScanAverageFilter>\n";
}

std::wstring chordalBlock(
    const std::wstring& limit, const std::wstring& span,
    const std::wstring& end = L"</ScanChordalDeviationFilter>\n") {
  return L"<ScanChordalDeviationFilter>\n<DeviationLimit value=\"" + limit +
         L"\"/>\n" + span + end;
}

std::wstring nPointBlock(std::int32_t count, const std::wstring& algorithm) {
  return L"<ScanNPointFilter>\n<NumberOfPoints value=\"" +
         std::to_wstring(count) + L"\"/>\n<Algorithm value=\"" + algorithm +
         L"\"/>\n</ScanNPointFilter>\n";
}

TEST(FilterSettings, EachFilterWritesItsBlock) {
  const std::vector<int> weights[] = {{100},
                                      {13, 100, 13},
                                      {5, 48, 100, 48, 5},
                                      {3, 23, 69, 100, 69, 23, 3},
                                      {2, 13, 41, 80, 100, 80, 41, 13, 2}};
  for (const std::vector<int>& w : weights) {  // the truncated Gaussian
    const auto n = static_cast<std::int32_t>(w.size());
    EXPECT_EQ(settingsText(Average(n, 500.0)), averageBlock(n, L"500", w));
  }
  // The end weights of large windows stay positive.
  const std::vector<int> wide = weightsOf(Average(15, 1.0));
  EXPECT_EQ(wide[0], 1);
  EXPECT_EQ(wide[1], 5);
  EXPECT_EQ(settingsText(Chordal(0.25, 2000.0, 10)),
            chordalBlock(L"0.25", L"<MaxSpan value=\"2000\"/>\n"));
  EXPECT_EQ(settingsText(NPoint(20, NPoint::EQUAL_ARC_LENGTH)),
            nPointBlock(20, L"1"));
}

enum Refusal { kRead, kHeader, kAttribute, kFooter, kLength };
struct Read {
  std::wstring text, after;
  Refusal refusal;
};

// Reads each text into a copy of `start` and checks the refusal (a scan IO
// error names the reading filter), what the filter holds afterwards, and
// that copies and assignments are independent of their source.
template <class Filter>
void checkReads(const Filter& start, const std::vector<Read>& reads) {
  const std::wstring before = settingsText(start);
  for (const Read& r : reads) {
    Filter filter(start);
    Refusal refusal = kRead;
    std::wstring description = start.getKey();
    try {
      readSettings(filter, r.text);
    } catch (const EScanIOBadHeader& e) {
      refusal = kHeader;
      description = e.getDescription();
    } catch (const EScanIOBadAttribute& e) {
      refusal = kAttribute;
      description = e.getDescription();
    } catch (const EScanIOBadFooter& e) {
      refusal = kFooter;
      description = e.getDescription();
    } catch (const std::length_error&) {
      refusal = kLength;
    }
    EXPECT_EQ(refusal, r.refusal) << r.text;
    EXPECT_NE(description.find(start.getKey()), std::wstring::npos);
    EXPECT_EQ(settingsText(filter), r.after) << r.text;
    Filter assigned(start);
    assigned = filter;
    assigned = *&assigned;
    EXPECT_EQ(settingsText(Filter(assigned)), r.after);
    EXPECT_EQ(settingsText(start), before);
  }
}

// Values are stored unchecked; what was read before a failing line stays.
TEST(FilterSettings, ReadsAsWrittenAndKeepsWhatWasReadBeforeAFailingLine) {
  const std::wstring avg3 = averageBlock(3, L"1", {13, 100, 13});
  checkReads(Average(3, 1.0),
             {{settingsText(Average(5, 500.0)), settingsText(Average(5, 500.0)),
               kRead},
              {averageBlock(4, L"-2.5", {0, 0, 0, 0}),
               averageBlock(4, L"-2.5", {0, 0, 0, 0}), kRead},
              // The size grows the weights.
              {averageBlock(5, L"500", {5, 48, 100}),
               averageBlock(5, L"500", {5, 48, 100, 0, 0}), kAttribute},
              {averageBlock(3, L"9", {1, 2, 3, 4}),
               averageBlock(3, L"9", {1, 2, 3}), kFooter},
              {averageBlock(-1, L"7", {}), averageBlock(3, L"7", {13, 100, 13}),
               kLength},
              {averageBlock(2000000000, L"8", {}),
               averageBlock(3, L"8", {13, 100, 13}), kAttribute},
              {L"<ScanNPointFilter>\n", avg3, kHeader}});
  const std::wstring span = L"<MaxSpan value=\"4\"/>\n";
  checkReads(
      Chordal(3.0, 7.0),
      {{settingsText(Chordal(0.5, 100.0, 10)),
        settingsText(Chordal(0.5, 100.0)), kRead},
       {chordalBlock(L"-1", L"<MaxSpan value=\"0\"/>\n"),
        chordalBlock(L"-1", L"<MaxSpan value=\"0\"/>\n"), kRead},
       {chordalBlock(L"0.75", L"<MaxSpn value=\"4\"/>\n", L""),
        chordalBlock(L"0.75", L"<MaxSpan value=\"7\"/>\n"), kAttribute},
       {chordalBlock(L"1", span, span), chordalBlock(L"1", span), kFooter},
       {L"<ScanAverageFilter>\n", settingsText(Chordal(3.0, 7.0)), kHeader}});
  // A failing algorithm line keeps the count read before it and the old
  // algorithm.
  checkReads(NPoint(3, NPoint::CHORDAL_DEVIATION),
             {{nPointBlock(20, L"1"), nPointBlock(20, L"1"), kRead},
              {L"<ScanNPointFilter>\n<NumberOfPoints value=\"12\"/>\n"
               L"<Algorithm value=\"1\">\n",
               nPointBlock(12, L"2"), kAttribute},
              {avg3, nPointBlock(3, L"2"), kHeader}});
}

// Unchecked values from text act when a line is filtered: a zero proximity
// limit moves nothing, a negative one fails the first proximity test, and
// the N-point filter refuses counts it would not have been made with; an
// unknown algorithm leaves lines alone.
TEST(FilterSettings, ValuesReadUncheckedActWhenFiltering) {
  const Points line = noisyProfile(10, 5);
  Average average(3, 1.0);
  readSettings(average, averageBlock(3, L"0", {13, 100, 13}));
  EXPECT_EQ(filtered(average, line), line);
  readSettings(average, averageBlock(3, L"-1", {13, 100, 13}));
  NPoint nPoint(3, NPoint::CHORDAL_DEVIATION);
  const std::pair<std::wstring, std::int32_t> cases[] = {
      {nPointBlock(2, L"0"), EScanNPointFilterTooSmall().getCode()},
      {nPointBlock(-4, L"1"), EScanNonPositiveNumberOfPoints().getCode()},
      {nPointBlock(5, L"7"), 0},
      {nPointBlock(11, L"7"), EScanNPointFilterTooLarge().getCode()}};
  for (const auto& [text, code] : cases) {
    readSettings(nPoint, text);
    ScanLine scanLine = makeLine(line);
    EXPECT_EQ(testing::codeThrownBy([&] { nPoint.filterScanLine(&scanLine); }),
              code)
        << text;
    EXPECT_EQ(positionsOf(scanLine), line);
  }
  ScanLine scanLine = makeLine(line);
  EXPECT_THROW(filterLine(average, scanLine), EMathNegativeTol);
  EXPECT_EQ(positionsOf(scanLine), line);
}

std::int32_t readInt(const std::wstring& text) {
  std::wistringstream is(text);
  return readAttributeElement<std::int32_t>(is, L"NeighborhoodSize", L"value");
}

// Values are written in the stream's format and read back as written.
TEST(SettingsIO, WritesOneElementPerLineInTheStreamsFormatAndReadsItBack) {
  std::wstringstream s;
  writeAttributeElement<double>(s, L"C", L"value", 0.123456789);
  s << std::setprecision(10);
  writeAttributeElement<double>(s, L"C", L"value", 0.123456789);
  EXPECT_EQ(s.str(), L"<C value=\"0.123457\"/>\n<C value=\"0.123456789\"/>\n");
  EXPECT_EQ(readAttributeElement<double>(s, L"C", L"value"), 0.123457);
  EXPECT_EQ(readAttributeElement<double>(s, L"C", L"value"), 0.123456789);
}

TEST(SettingsIO, ReadsWhatTheElementHoldsAndRefusesWhatItDoesNot) {
  const struct {
    const wchar_t* text;
    std::int32_t value;  // -1: EVXIOAttributeNotRead, -2: EVXIOBadFooter
  } cases[] = {
      {L"<NeighborhoodSize value = \"5\" />", 5},
      {L"\r\n\t<NeighborhoodSize\n\tvalue\t=\n\"5\"\n/>", 5},
      {L"<NeighborhoodSize value=\"\n 7\n\"/>", 7},
      {L"<NeighborhoodSize value=\"9 apples\"/>", 9},
      {L"<NeighborhoodSize value=\"five\"/>", 0},
      {L"<NeighborhoodSize value=\"\"/>", 0},
      {L"<NeighborhoodSize value=\"5\"/ >", -2},
      {L"<NeighborhoodSize value=\"5\"/", -2},
      {L"", -1},
      {L"<Weights value=\"5\"/>", -1},
      {L"<NeighborhoodSizes value=\"5\"/>", -1},
      {L"NeighborhoodSize value=\"5\"/>", -1},
      {L"<NeighborhoodSize Value=\"5\"/>", -1},
      {L"<NeighborhoodSize values=\"5\"/>", -1},
      {L"<NeighborhoodSize val=\"5\"/>", -1},
      {L"<NeighborhoodSize value \"5\"/>", -1},
      {L"<NeighborhoodSize value=5/>", -1},
      {L"<NeighborhoodSize value=\"5/>", -1},
      {L"<NeighborhoodSize value=\"5\">", -1},
      {L"<NeighborhoodSize value=\"5\"", -1},
      {L"<NeighborhoodSize value=\"5\" x/>", -1},
  };
  for (const auto& c : cases) {
    std::int32_t value;
    try {
      value = readInt(c.text);
    } catch (const EVXIOAttributeNotRead&) {
      value = -1;
    } catch (const EVXIOBadFooter&) {
      value = -2;
    }
    EXPECT_EQ(value, c.value) << c.text;
  }
  // A failed read leaves the stream where the check stopped.
  std::wistringstream is(L"<NeighborhoodSize value=\"5\"/ >tail");
  EXPECT_THROW(
      readAttributeElement<std::int32_t>(is, L"NeighborhoodSize", L"value"),
      EVXIOBadFooter);
  std::wstring rest;
  std::getline(is, rest);
  EXPECT_EQ(rest, L">tail");
}

}  // namespace
}  // namespace QUAX
