// SPDX-License-Identifier: MIT
#include "util/TagIO.h"

#include <gtest/gtest.h>

#include <sstream>

#include "util/VXFileString.h"

namespace QUAX {
namespace {

TEST(TagIO, WritersProduceOneTagPerLineThatTheChecksAccept) {
  std::wstringstream s;
  writeSimpleStartTag(s, L"Block");
  writeEndTag(s, L"Block");
  EXPECT_EQ(s.str(), L"<Block>\n</Block>\n");
  EXPECT_TRUE(checkStartTag(s, L"Block", true));
  EXPECT_TRUE(checkEndTag(s, L"Block"));
}

TEST(TagIO, StartTagOfAnotherNameIsRefused) {
  for (const wchar_t* text : {L"<Other>", L"<BlockX>", L""}) {
    std::wistringstream is(text);
    EXPECT_FALSE(checkStartTag(is, L"Block", true)) << text;
  }
}

TEST(TagIO, ElementStartLeavesTheStreamBeforeTheAttribute) {
  std::wistringstream is(L"\n  <Weights value=\"5\"/>");
  EXPECT_TRUE(checkStartTag(is, L"Weights", false));
  EXPECT_EQ(static_cast<wchar_t>(is.get()), L' ');
}

TEST(TagIO, EndTagMustClose) {
  std::wistringstream ok(L"  </Block >");
  EXPECT_TRUE(checkEndTag(ok, L"Block"));
  for (const wchar_t* text : {L"<Block>", L"</Block"}) {
    std::wistringstream is(text);
    EXPECT_FALSE(checkEndTag(is, L"Block")) << text;
  }
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
