// SPDX-License-Identifier: MIT
#include "util/Extension.h"

#include <gtest/gtest.h>

#include <memory>

#include "util/ExtensionItemFactory.h"
#include "util/VXException.h"

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

// A carrier that keeps its items in a list it owns, as points do.
class Carrier : public ExtensionInterface {
 public:
  Carrier() { setProxy(&_list); }
  Carrier(const Carrier& o) : ExtensionInterface(o), _list(o._list) {
    setProxy(&_list);
  }

 private:
  ExtensionList _list;
};

class ProxylessCarrier : public ExtensionInterface {};

TEST(ExtensionList, FindsItemsByKeyAndIndexAndMissingOnesThrow) {
  ExtensionList list;
  list.addItem(new Payload(1, kKeyA));
  list.addItem(new Payload(2, kKeyB));
  EXPECT_EQ(valueOf(list, kKeyB), 2);
  EXPECT_EQ(list.getIndex(kKeyB), 1u);
  EXPECT_EQ(static_cast<Payload*>(list.findItem(std::size_t{0}).getBody())->value, 1);
  EXPECT_THROW(list.findItem(std::size_t{2}), EExtensionNotPresent);
  list.removeItem(kKeyB);
  EXPECT_THROW(list.findItem(kKeyB), EExtensionNotPresent);
  EXPECT_THROW(list.removeItem(kKeyB), EExtensionNotPresent);
  EXPECT_THROW(list.getIndex(kKeyB), EExtensionNotPresent);
}

TEST(ExtensionList, AddingAnExistingKeyReplacesTheItem) {
  ExtensionList list;
  list.addItem(new Payload(1));
  Payload::destroyed = 0;
  list.addItem(new Payload(5));
  EXPECT_EQ(Payload::destroyed, 1);
  EXPECT_EQ(list.size(), 1u);
  EXPECT_EQ(valueOf(list, kKeyA), 5);
}

TEST(ExtensionList, AddingTheItemItAlreadyHoldsKeepsIt) {
  ExtensionList list;
  ExtensionItem* held = list.addItem(new Payload(6)).getBody();
  Payload::destroyed = 0;
  EXPECT_EQ(list.addItem(held).getBody(), held);
  EXPECT_EQ(Payload::destroyed, 0);
  EXPECT_EQ(list.size(), 1u);
  EXPECT_EQ(valueOf(list, kKeyA), 6);
}

TEST(ExtensionList, CopiesAreIndependent) {
  ExtensionList source;
  source.addItem(new Payload(7));
  ExtensionList copy(source);
  static_cast<Payload*>(copy.findItem(kKeyA).getBody())->value = 9;
  EXPECT_EQ(valueOf(source, kKeyA), 7);
  copy.removeItem(kKeyA);
  EXPECT_EQ(valueOf(source, kKeyA), 7);

  ExtensionList assigned;
  assigned.addItem(new Payload(1, kKeyB));
  assigned = source;
  EXPECT_EQ(valueOf(assigned, kKeyA), 7);
  EXPECT_THROW(assigned.findItem(kKeyB), EExtensionNotPresent);
}

TEST(ExtensionList, RemoveByHandleDeletesTheItem) {
  ExtensionList list;
  const ExtensionItemHandle h = list.addItem(new Payload(3));
  Payload::destroyed = 0;
  list.removeItem(h);
  EXPECT_EQ(Payload::destroyed, 1);
  EXPECT_TRUE(list.empty());
}

TEST(ExtensionInterface, ForwardsToItsProxy) {
  Carrier carrier;
  carrier.addItem(new Payload(4));
  EXPECT_EQ(valueOf(carrier, kKeyA), 4);
  const Carrier copy(carrier);
  carrier.removeItem(kKeyA);
  EXPECT_EQ(valueOf(copy, kKeyA), 4);
}

TEST(ExtensionInterface, WithoutProxyThrowsNoImplementation) {
  ProxylessCarrier carrier;
  EXPECT_THROW(carrier.findItem(kKeyA), EExtensionNoImplementation);
  Payload::destroyed = 0;
  // The interface owns what it is given, even when it cannot keep it.
  EXPECT_THROW(carrier.addItem(new Payload()), EExtensionNoImplementation);
  EXPECT_EQ(Payload::destroyed, 1);
}

TEST(ExtensionItemFactory, CreatesRegisteredItemsByKey) {
  auto& factory = ExtensionItemFactory::getInstance();
  const _GUID key = {0xABCDEF01, 0x1, 0x2, {9, 9, 9, 9, 9, 9, 9, 9}};
  EXPECT_FALSE(factory.isRegistered(key));
  EXPECT_THROW(factory.createExtension(key), EExtensionNotPresent);
  factory.registerExtension(key, ExtensionItemFactory::Creator(&Payload::create));
  EXPECT_TRUE(factory.isRegistered(key));
  std::unique_ptr<ExtensionItem, ExtensionItemDeleter> item(factory.createExtension(key));
  ASSERT_NE(dynamic_cast<Payload*>(item.get()), nullptr);
}

}  // namespace
}  // namespace QUAX
