// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <sstream>

#include "util/TagIO.h"
#include "util/VXFileString.h"
#include "util/WideText.h"

namespace QUAX {
namespace {

TEST(TagIO, WritersProduceOneTagPerLineThatTheChecksAccept) {
  std::wstringstream s;
  writeSimpleStartTag(s, L"Block");
  writeEndTag(s, L"Block");
  EXPECT_EQ(s.str(), L"<Block>\n</Block>\n");
  EXPECT_TRUE(checkStartTag(s, L"Block", true));
  EXPECT_TRUE(checkEndTag(s, L"Block"));
  // An element start leaves the stream before the attribute.
  std::wistringstream element(L"\n  <Weights value=\"5\"/>");
  EXPECT_TRUE(checkStartTag(element, L"Weights", false));
  EXPECT_EQ(static_cast<wchar_t>(element.get()), L' ');
  std::wistringstream spaced(L"  </Block-1.x_2 >");
  EXPECT_TRUE(checkEndTag(spaced, L"Block-1.x_2"));
  std::wistringstream blank(L" \t\r\n x");
  ignoreWhiteSpace(blank);
  EXPECT_EQ(static_cast<wchar_t>(blank.get()), L'x');
}

TEST(TagIO, OtherNamesAndUnclosedTagsAreRefused) {
  for (const wchar_t* text :
       {L"<Other>", L"<BlockX>", L"<Block1>", L"", L"Block>"}) {
    std::wistringstream is(text);
    EXPECT_FALSE(checkStartTag(is, L"Block", true)) << text;
  }
  for (const wchar_t* text : {L"<Block>", L"</Block", L"</Block-"}) {
    std::wistringstream is(text);
    EXPECT_FALSE(checkEndTag(is, L"Block")) << text;
  }
}

TEST(WideText, Utf8RoundTripsAndBrokenSequencesBecomeReplacements) {
  const std::wstring wide = L"QUAX::ScanAverageFilter* \u00e9t\u00e9 \u20ac";
  EXPECT_EQ(fromUtf8(toUtf8(wide)), wide);
  EXPECT_EQ(toUtf8(L"\u00e9\u20ac"), "\xC3\xA9\xE2\x82\xAC");
  EXPECT_EQ(fromUtf8("a\xC3"), L"a\uFFFD");
  EXPECT_EQ(fromUtf8("\xE2\x82z\xFF"), L"\uFFFD\uFFFDz\uFFFD");
  EXPECT_EQ(VXFileString("\xC3\xA9t\xC3\xA9").wstr(), L"\u00e9t\u00e9");
  EXPECT_STREQ(static_cast<const wchar_t*>(VXFileString("ab")), L"ab");
}

}  // namespace
}  // namespace QUAX
