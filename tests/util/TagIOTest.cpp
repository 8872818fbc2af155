// SPDX-License-Identifier: MIT
#include "util/TagIO.h"

#include <gtest/gtest.h>

#include <sstream>

#include "util/VXFileString.h"

namespace QUAX {
namespace {

TEST(TagIO, WritersProduceOneTagPerLine) {
  std::wostringstream os;
  writeSimpleStartTag(os, L"ScanAverageFilter");
  writeEndTag(os, L"ScanAverageFilter");
  EXPECT_EQ(os.str(), L"<ScanAverageFilter>\n</ScanAverageFilter>\n");
}

TEST(TagIO, ChecksAcceptWhatTheWritersWrite) {
  std::wstringstream s;
  writeSimpleStartTag(s, L"Block");
  writeEndTag(s, L"Block");
  EXPECT_TRUE(checkStartTag(s, L"Block", true));
  EXPECT_TRUE(checkEndTag(s, L"Block"));
}

TEST(TagIO, StartTagOfAnotherNameIsRefused) {
  std::wistringstream other(L"<Other>");
  EXPECT_FALSE(checkStartTag(other, L"Block", true));
  std::wistringstream longer(L"<BlockX>");
  EXPECT_FALSE(checkStartTag(longer, L"Block", true));
  std::wistringstream empty(L"");
  EXPECT_FALSE(checkStartTag(empty, L"Block", true));
}

TEST(TagIO, ElementStartLeavesTheStreamBeforeTheAttribute) {
  std::wistringstream is(L"\n  <Weights value=\"5\"/>");
  EXPECT_TRUE(checkStartTag(is, L"Weights", false));
  EXPECT_EQ(static_cast<wchar_t>(is.get()), L' ');
}

TEST(TagIO, EndTagMustClose) {
  std::wistringstream ok(L"  </Block >");
  EXPECT_TRUE(checkEndTag(ok, L"Block"));
  std::wistringstream start(L"<Block>");
  EXPECT_FALSE(checkEndTag(start, L"Block"));
  std::wistringstream unclosed(L"</Block");
  EXPECT_FALSE(checkEndTag(unclosed, L"Block"));
}

TEST(TagIO, IgnoreWhiteSpaceStopsAtText) {
  std::wistringstream is(L" \t\r\n x");
  ignoreWhiteSpace(is);
  EXPECT_EQ(static_cast<wchar_t>(is.get()), L'x');
}

TEST(VXFileString, HoldsTheSameTextInWideCharacters) {
  EXPECT_EQ(VXFileString("QUAX::ScanAverageFilter*").wstr(),
            L"QUAX::ScanAverageFilter*");
  EXPECT_EQ(VXFileString("\xC3\xA9t\xC3\xA9").wstr(), L"\u00e9t\u00e9");
  EXPECT_STREQ(static_cast<const wchar_t*>(VXFileString("ab")), L"ab");
}

}  // namespace
}  // namespace QUAX
