// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <sstream>
#include <string>

#include "util/Callback.h"
#include "util/Extension.h"
#include "util/TagIO.h"
#include "util/VXException.h"
#include "util/VXFileString.h"
#include "util/WideText.h"

namespace QUAX {
namespace {

const _GUID kKeyA = {0x11111111, 0x2222, 0x3333, {1, 2, 3, 4, 5, 6, 7, 8}};
const _GUID kKeyB = {0x11111111, 0x2222, 0x3333, {1, 2, 3, 4, 5, 6, 7, 9}};

class Payload : public ExtensionItem {
 public:
  explicit Payload(int v = 0, const _GUID& key = kKeyA)
      : ExtensionItem(key), value(v) {}
  Payload(const Payload&) = default;
  ~Payload() override { ++destroyed; }
  ExtensionItem* clone() const override { return new Payload(*this); }
  static ExtensionItem* create() { return new Payload(); }
  int value;
  static int destroyed;
};
int Payload::destroyed = 0;

int valueOf(const ExtensionInterface& holder, const _GUID& key) {
  return static_cast<Payload*>(holder.findItem(key).getBody())->value;
}

TEST(ExtensionList, FindsReplacesAndRemovesItemsByKey) {
  ExtensionList list;
  list.addItem(new Payload(1, kKeyA));
  ExtensionItem* held = list.addItem(new Payload(2, kKeyB)).getBody();
  EXPECT_EQ(valueOf(list, kKeyB), 2);
  EXPECT_EQ(list.getIndex(kKeyB), 1u);
  EXPECT_EQ(valueOf(list, kKeyA), 1);
  EXPECT_THROW(list.findItem(std::size_t{2}), EExtensionNotPresent);
  Payload::destroyed = 0;
  EXPECT_EQ(list.addItem(held).getBody(), held);  // already held: kept
  list.addItem(new Payload(5));                   // same key: replaces
  EXPECT_EQ(Payload::destroyed, 1);
  EXPECT_EQ(list.size(), 2u);
  EXPECT_EQ(valueOf(list, kKeyA), 5);
  EXPECT_EQ(
      static_cast<Payload*>(list.findItem(std::size_t{0}).getBody())->value, 5);
  list.removeItem(kKeyB);
  EXPECT_EQ(Payload::destroyed, 2);
  EXPECT_THROW(list.findItem(kKeyB), EExtensionNotPresent);
  EXPECT_THROW(list.removeItem(kKeyB), EExtensionNotPresent);
  EXPECT_THROW(list.getIndex(kKeyB), EExtensionNotPresent);
  list.removeItem(list.findItem(kKeyA));
  EXPECT_TRUE(list.empty());
}

TEST(ExtensionList, CopiesAreIndependentAndInterfacesForwardToTheirProxy) {
  ExtensionList source;
  source.addItem(new Payload(7));
  const ExtensionList copy(source);
  ExtensionList assigned;
  assigned.addItem(new Payload(1, kKeyB));
  assigned = source;
  static_cast<Payload*>(source.findItem(kKeyA).getBody())->value = 9;
  source.removeItem(kKeyA);
  EXPECT_EQ(valueOf(copy, kKeyA), 7);
  EXPECT_EQ(valueOf(assigned, kKeyA), 7);
  EXPECT_THROW(assigned.findItem(kKeyB), EExtensionNotPresent);
  // (Interfaces that keep a list of their own, as points do, are copied in
  // the point tests.)

  class NoProxy : public ExtensionInterface {
  } none;
  EXPECT_THROW(none.findItem(kKeyA), EExtensionNoImplementation);
  Payload::destroyed = 0;
  // The interface owns what it is given, even when it cannot keep it.
  EXPECT_THROW(none.addItem(new Payload()), EExtensionNoImplementation);
  EXPECT_EQ(Payload::destroyed, 1);
}

TEST(Guid, StoresTheWindowsLayoutPrintsAndComparesByValue) {
  const _GUID key = {0x67559302,
                     0xB195,
                     0x11D3,
                     {0xA6, 0x21, 0x00, 0xE0, 0x29, 0x24, 0xBB, 0xF5}};
  const unsigned char bytes[16] = {0x02, 0x93, 0x55, 0x67, 0x95, 0xB1,
                                   0xD3, 0x11, 0xA6, 0x21, 0x00, 0xE0,
                                   0x29, 0x24, 0xBB, 0xF5};
  EXPECT_EQ(std::memcmp(&key, bytes, sizeof bytes), 0);
  EXPECT_EQ(guidToString(key), "{67559302-B195-11D3-A621-00E02924BBF5}");
  _GUID other = key;
  EXPECT_TRUE(guidEquals(other, key));
  other.Data4[7] = 0xF6;
  EXPECT_FALSE(guidEquals(other, key));
  std::map<_GUID, int, GuidLess> byKey{{key, 1}, {other, 2}};
  EXPECT_EQ(byKey.at(key), 1);
  EXPECT_EQ(byKey.at(other), 2);
}

TEST(TagIO, WritersProduceOneTagPerLineThatOnlyTheNamedCheckAccepts) {
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
  // Other names and unclosed tags are refused.
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
  EXPECT_EQ(fromUtf8("\x7F\x80"), L"\x7F\uFFFD");  // a lone continuation
  EXPECT_EQ(fromUtf8("\xE2\x82z\xFF"), L"\uFFFD\uFFFDz\uFFFD");
  EXPECT_EQ(VXFileString("\xC3\xA9t\xC3\xA9").wstr(), L"\u00e9t\u00e9");
  EXPECT_STREQ(static_cast<const wchar_t*>(VXFileString("ab")), L"ab");
}

TEST(VXException, CarriesCodeClassChainAndTextThroughCopies) {
  const EVXDLLWrongVersion original(L"QUAXScan.DLL", 3);
  const EVXDLLWrongVersion copy(original);  // NOLINT
  EXPECT_EQ(copy.getCode(), kUtilDLLWrongVersion);
  EXPECT_NE(std::string(copy.what()).find("EVXDLLWrongVersion"),
            std::string::npos);
  const EVXIOBadFooter footer;
  EXPECT_EQ(footer.getClassChain(),
            (std::vector<std::string>{"QUAX::EVXIOException",
                                      "QUAX::EVXIOBadFooter"}));
  EXPECT_THROW(throw EVXIOAttributeNotRead(), EVXIOException);
  EXPECT_THROW(throw EVXIOBadFooter(), EVXIOException);
  EXPECT_THROW(throw EExtensionNotPresent(), EVXException);
  EXPECT_THROW(throw EExtensionNoImplementation(), std::exception);
  EXPECT_THROW(throw EVXDLLWrongVersion(L"", 1), EVXDLLException);
}

int gFreeCalls = 0;
void freeAdd(int n) { gFreeCalls += n; }
int answer() { return 42; }

// Equality by object and function is the observers' (see the subject
// tests); here calls through each kind, and the unbound callback.
TEST(Callback, CallsTheBoundFunctionAndAnUnboundOneDoesNothing) {
  const CBFunctor1<int> addFree(&freeAdd);
  addFree(5);
  EXPECT_EQ(gFreeCalls, 5);
  EXPECT_EQ(CBFunctor0wRet<int>(&answer)(), 42);
  const CBFunctor1<int> none;
  EXPECT_FALSE(static_cast<bool>(none));
  none(1);
  EXPECT_EQ(CBFunctor0wRet<int>()(), 0);
  EXPECT_TRUE(none == CBFunctor1<int>());
  EXPECT_FALSE(none == addFree);
}

}  // namespace
}  // namespace QUAX
