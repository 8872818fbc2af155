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

TEST(SettingsIO, WritesOneElementPerLineInTheStreamsFormatAndReadsItBack) {
  std::wstringstream s;
  writeAttributeElement<std::int32_t>(s, L"A", L"value", -17);
  writeAttributeElement<std::uint32_t>(s, L"B", L"value", 4000000000u);
  writeAttributeElement<double>(s, L"C", L"value", 0.123456789);
  s << std::setprecision(10);
  writeAttributeElement<double>(s, L"C", L"value", -2.5e-3);
  EXPECT_EQ(s.str(),
            L"<A value=\"-17\"/>\n<B value=\"4000000000\"/>\n"
            L"<C value=\"0.123457\"/>\n<C value=\"-0.0025\"/>\n");
  EXPECT_EQ(readAttributeElement<std::int32_t>(s, L"A", L"value"), -17);
  EXPECT_EQ(readAttributeElement<std::uint32_t>(s, L"B", L"value"),
            4000000000u);
  EXPECT_EQ(readAttributeElement<double>(s, L"C", L"value"), 0.123457);
  EXPECT_EQ(readAttributeElement<double>(s, L"C", L"value"), -2.5e-3);
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

}  // namespace
}  // namespace QUAX
