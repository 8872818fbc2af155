// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

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

// An item that counts the live ones; Wide carries a payload too large to be
// built inside a list.
template <std::size_t kPad>
class Counted : public ExtensionItem {
 public:
  Counted(int v, const _GUID& key) : ExtensionItem(key), value(v) { ++live; }
  Counted(const Counted& other) : ExtensionItem(other), value(other.value) {
    ++live;
  }
  ~Counted() override { --live; }
  ExtensionItem* clone() const override { return new Counted(*this); }
  int value;
  char pad[kPad] = {};
  static int live;
};
template <std::size_t kPad>
int Counted<kPad>::live = 0;
using Small = Counted<1>;
using Wide = Counted<64>;

int valueIn(const ExtensionList& list, std::size_t i) {
  const ExtensionItem* item = list.findItem(i).getBody();
  if (const auto* wide = dynamic_cast<const Wide*>(item)) return wide->value;
  return dynamic_cast<const Small&>(*item).value;
}

// Random adds, emplaces (inside the list and on the heap), replacements,
// removals, copies and assignments agree with a list of (key, value) pairs
// kept in order, and every item is destroyed exactly once.
TEST(ExtensionList, AnyMixOfOperationsMatchesAnOrderedListOfPairs) {
  const _GUID keys[] = {kKeyA, kKeyB,
                        {0x1, 0x2, 0x3, {9, 9, 9, 9, 9, 9, 9, 9}},
                        {0x4, 0x5, 0x6, {0, 0, 0, 0, 0, 0, 0, 1}}};
  std::mt19937 random(26);
  for (int run = 0; run < 200; ++run) {
    auto list = std::make_unique<ExtensionList>();
    std::vector<std::pair<int, int>> model;  // (key index, value)
    for (int step = 0; step < 30; ++step) {
      const int k = int(random() % 4), v = int(random() % 1000);
      auto at = std::find_if(model.begin(), model.end(),
                             [&](const auto& e) { return e.first == k; });
      const bool present = at != model.end();
      const unsigned op = random() % 7;
      if (op <= 2) {  // add, emplace small, emplace wide
        if (op == 0) list->addItem(new Small(v, keys[k]));
        if (op == 1) {
          EXPECT_EQ(list->emplaceItem<Small>(v, keys[k])->value, v);
        }
        if (op == 2) list->emplaceItem<Wide>(v, keys[k]);
        if (present) {
          at->second = v;
        } else {
          model.emplace_back(k, v);
        }
      } else if (op == 3) {
        if (present) {
          (random() % 2) ? list->removeItem(keys[k])
                         : list->removeItem(list->findItem(keys[k]));
          model.erase(at);
        } else {
          EXPECT_THROW(list->removeItem(keys[k]), EExtensionNotPresent);
        }
      } else if (op == 4) {
        list = std::make_unique<ExtensionList>(*list);
      } else if (op == 5) {
        ExtensionList other;
        other.emplaceItem<Small>(v, keys[k]);
        other = *list;
        *list = other;
      } else if (present) {  // the item already held is kept
        ExtensionItem* held = list->findItem(keys[k]).getBody();
        EXPECT_EQ(list->addItem(held).getBody(), held);
      }
      ASSERT_EQ(list->size(), model.size());
      for (std::size_t i = 0; i < model.size(); ++i) {
        EXPECT_EQ(valueIn(*list, i), model[i].second);
        EXPECT_EQ(list->getIndex(keys[model[i].first]), i);
      }
      EXPECT_EQ(Small::live + Wide::live, int(model.size()));
    }
  }
  EXPECT_EQ(Small::live + Wide::live, 0);
}

// Lists made together share one block, freed with the last of them,
// whatever the order (AddressSanitizer sees any block freed twice or not).
TEST(ExtensionList, ListsMadeTogetherAreDeletedOneByOne) {
  for (std::size_t count : {1, 2, 5}) {
    std::vector<ExtensionList*> lists(count);
    ExtensionList::createMany(count, lists.data());
    for (ExtensionList* list : lists) list->emplaceItem<Small>(1, kKeyA);
    std::swap(lists.front(), lists.back());
    for (ExtensionList* list : lists) {
      EXPECT_EQ(valueIn(*list, 0), 1);
      delete list;
    }
  }
  EXPECT_EQ(Small::live, 0);
  delete new ExtensionList();
  // Deleted together: runs of two blocks, a list of its own and gaps, with
  // a block's lists split between two calls (ASan sees any slip).
  std::vector<ExtensionList*> mixed(3), other(2);
  ExtensionList::createMany(3, mixed.data());
  ExtensionList::createMany(2, other.data());
  mixed.insert(mixed.begin() + 1, {nullptr, other[1], new ExtensionList()});
  mixed.push_back(nullptr);
  for (ExtensionList* list : mixed) {
    if (list != nullptr) list->emplaceItem<Small>(2, kKeyA);
  }
  other[0]->emplaceItem<Small>(3, kKeyB);
  ExtensionList::destroyMany(mixed.data(), mixed.size());
  EXPECT_EQ(Small::live, 1);
  ExtensionList::destroyMany(other.data(), 1);
  EXPECT_EQ(Small::live, 0);
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
  // Names take every letter and digit, '_', '-', '.' and ':'.
  std::wistringstream spaced(L"  </AZaz-09.x_2:Block >");
  EXPECT_TRUE(checkEndTag(spaced, L"AZaz-09.x_2:Block"));
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
  // The same object and function through another call shape is another
  // binding.
  struct Sum {
    long total = 0;
    void add(long n) { total += n; }
  } sum;
  const CBFunctor1<long> addLong(sum, &Sum::add);
  addLong(3);
  EXPECT_EQ(sum.total, 3);
  EXPECT_TRUE(addLong == CBFunctor1<long>(sum, &Sum::add));
  EXPECT_FALSE(addLong == CBFunctor1<int>(sum, &Sum::add));
}

}  // namespace
}  // namespace QUAX
