// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstdint>
#include <iomanip>
#include <sstream>

#include "scan/filters/SettingsIO.h"
#include "util/VXException.h"

namespace QUAX {
namespace {

std::int32_t readInt(const std::wstring& text) {
  std::wistringstream is(text);
  return readAttributeElement<std::int32_t>(is, L"NeighborhoodSize", L"value");
}

TEST(SettingsIO, WritesOneEmptyElementPerLine) {
  std::wostringstream os;
  writeAttributeElement<std::int32_t>(os, L"NeighborhoodSize", L"value", 5);
  writeAttributeElement<double>(os, L"ProximityLimit", L"value", 500.0);
  writeAttributeElement<std::uint32_t>(os, L"Algorithm", L"value", 2u);
  EXPECT_EQ(os.str(),
            L"<NeighborhoodSize value=\"5\"/>\n"
            L"<ProximityLimit value=\"500\"/>\n"
            L"<Algorithm value=\"2\"/>\n");
}

TEST(SettingsIO, WritesValuesWithTheStreamsFormatting) {
  std::wostringstream os;
  writeAttributeElement<double>(os, L"MaxSpan", L"value", 0.123456789);
  os << std::setprecision(10);
  writeAttributeElement<double>(os, L"MaxSpan", L"value", 0.123456789);
  EXPECT_EQ(os.str(),
            L"<MaxSpan value=\"0.123457\"/>\n"
            L"<MaxSpan value=\"0.123456789\"/>\n");
}

TEST(SettingsIO, ReadsBackWhatItWrites) {
  std::wstringstream s;
  writeAttributeElement<std::int32_t>(s, L"A", L"value", -17);
  writeAttributeElement<std::uint32_t>(s, L"B", L"value", 4000000000u);
  writeAttributeElement<double>(s, L"C", L"value", -2.5e-3);
  EXPECT_EQ(readAttributeElement<std::int32_t>(s, L"A", L"value"), -17);
  EXPECT_EQ(readAttributeElement<std::uint32_t>(s, L"B", L"value"),
            4000000000u);
  EXPECT_EQ(readAttributeElement<double>(s, L"C", L"value"), -2.5e-3);
}

TEST(SettingsIO, AcceptsWhitespaceAroundEqualsAndBeforeSlash) {
  EXPECT_EQ(readInt(L"<NeighborhoodSize value = \"5\" />"), 5);
  EXPECT_EQ(readInt(L"\r\n\t<NeighborhoodSize\n\tvalue\t=\n\"5\"\n/>"), 5);
}

TEST(SettingsIO, ValueTextKeepsLineEndsAndIgnoresTrailingCharacters) {
  EXPECT_EQ(readInt(L"<NeighborhoodSize value=\"\n 7\n\"/>"), 7);
  EXPECT_EQ(readInt(L"<NeighborhoodSize value=\"9 apples\"/>"), 9);
}

TEST(SettingsIO, SpaceBetweenSlashAndCloseIsABadFooter) {
  EXPECT_THROW(readInt(L"<NeighborhoodSize value=\"5\"/ >"), EVXIOBadFooter);
  EXPECT_THROW(readInt(L"<NeighborhoodSize value=\"5\"/"), EVXIOBadFooter);
}

TEST(SettingsIO, MalformedLinesAreNotRead) {
  const wchar_t* const broken[] = {
      L"",                                   // nothing at all
      L"<Weights value=\"5\"/>",             // another element
      L"<NeighborhoodSizes value=\"5\"/>",   // a longer element name
      L"NeighborhoodSize value=\"5\"/>",     // no '<'
      L"<NeighborhoodSize Value=\"5\"/>",    // attribute spelt otherwise
      L"<NeighborhoodSize values=\"5\"/>",   // a longer attribute name
      L"<NeighborhoodSize val=\"5\"/>",      // a shorter one
      L"<NeighborhoodSize value \"5\"/>",    // no '='
      L"<NeighborhoodSize value=5/>",        // no opening quote
      L"<NeighborhoodSize value=\"5/>",      // the stream ends in the value
      L"<NeighborhoodSize value=\"5\">",     // '>' without the slash
      L"<NeighborhoodSize value=\"5\"",      // the stream ends after it
      L"<NeighborhoodSize value=\"5\" x/>",  // something else before '/'
  };
  for (const wchar_t* text : broken) {
    EXPECT_THROW(readInt(text), EVXIOAttributeNotRead) << text;
  }
}

TEST(SettingsIO, ValueThatIsNoNumberReadsAsZero) {
  EXPECT_EQ(readInt(L"<NeighborhoodSize value=\"five\"/>"), 0);
  EXPECT_EQ(readInt(L"<NeighborhoodSize value=\"\"/>"), 0);
}

TEST(SettingsIO, AttributeValueClosesAsAskedFor) {
  std::wistringstream open(L" value = \"3\" > rest");
  EXPECT_EQ(readAttributeValue<std::int32_t>(open, L"value", true, false), 3);
  EXPECT_EQ(open.get(), static_cast<std::wint_t>(L' '));

  std::wistringstream notLast(L"value=\"4\" next");
  EXPECT_EQ(readAttributeValue<std::int32_t>(notLast, L"value", false, true),
            4);
  EXPECT_EQ(notLast.get(), static_cast<std::wint_t>(L' '));

  std::wistringstream slashInOpen(L"value=\"3\"/>");
  EXPECT_THROW(
      readAttributeValue<std::int32_t>(slashInOpen, L"value", true, false),
      EVXIOAttributeNotRead);
}

TEST(SettingsIO, FailedReadLeavesTheStreamWhereTheCheckStopped) {
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
