// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>

#include "scan/model/ScanFrameItems.h"
#include "util/Extension.h"
#include "util/Guid.h"

namespace QUAX {
namespace {

using ItemPtr = std::unique_ptr<ExtensionItem, ExtensionItemDeleter>;

constexpr std::uint32_t kMax = std::numeric_limits<std::uint32_t>::max();

std::string bytesOf(const _GUID& key) {
  unsigned char raw[sizeof(_GUID)];
  std::memcpy(raw, &key, sizeof raw);
  std::string text;
  char hex[4];
  for (unsigned char b : raw) {
    std::snprintf(hex, sizeof hex, "%02X ", b);
    text += hex;
  }
  text.pop_back();
  return text;
}

// A holder that owns its items in a list, as frames do.
class Holder : public ExtensionInterface {
 public:
  Holder() { setProxy(&_list); }

 private:
  ExtensionList _list;
};

// ---- ScanFrameTimeData
// -------------------------------------------------------

TEST(ScanFrameTimeData, KeyIsStoredAsTheWindowsRecord) {
  EXPECT_EQ(guidToString(ScanFrameTimeData::ScanFrameTimeDataKey),
            "{95A6C1FA-283D-11D5-922A-0010A4E7A334}");
  EXPECT_EQ(bytesOf(ScanFrameTimeData::ScanFrameTimeDataKey),
            "FA C1 A6 95 3D 28 D5 11 92 2A 00 10 A4 E7 A3 34");
}

TEST(ScanFrameTimeData, DefaultItemHasItsKeyAndZeroValues) {
  ScanFrameTimeData item;
  EXPECT_TRUE(
      guidEquals(item.getKey(), ScanFrameTimeData::ScanFrameTimeDataKey));
  EXPECT_EQ(item.getControllerProcessTime(), 0u);
  EXPECT_EQ(item.getControllerWaitTime(), 0u);
  EXPECT_EQ(item.getScanFrameTime(), 0u);
  EXPECT_EQ(item.getTime(), 0u);
  EXPECT_EQ(item.getHostProcessTime(), 0u);
}

TEST(ScanFrameTimeData, SetTimeWritesTheScanFrameTime) {
  ScanFrameTimeData item;
  item.setTime(5);
  EXPECT_EQ(item.getScanFrameTime(), 5u);
  item.setScanFrameTime(9);
  EXPECT_EQ(item.getTime(), 9u);
}

TEST(ScanFrameTimeData, EachValueKeepsTheFullRangeAndLeavesTheOthers) {
  ScanFrameTimeData item;
  item.setControllerProcessTime(kMax);
  EXPECT_EQ(item.getControllerProcessTime(), kMax);
  EXPECT_EQ(item.getControllerWaitTime(), 0u);
  EXPECT_EQ(item.getScanFrameTime(), 0u);
  EXPECT_EQ(item.getHostProcessTime(), 0u);

  item.setControllerWaitTime(kMax - 1);
  item.setScanFrameTime(kMax - 2);
  item.setHostProcessTime(kMax - 3);
  EXPECT_EQ(item.getControllerProcessTime(), kMax);
  EXPECT_EQ(item.getControllerWaitTime(), kMax - 1);
  EXPECT_EQ(item.getScanFrameTime(), kMax - 2);
  EXPECT_EQ(item.getHostProcessTime(), kMax - 3);

  item.setHostProcessTime(0);
  EXPECT_EQ(item.getScanFrameTime(), kMax - 2);
  EXPECT_EQ(item.getHostProcessTime(), 0u);
}

TEST(ScanFrameTimeData, CloneIsAnIndependentCopyWithTheSameKey) {
  ScanFrameTimeData item;
  item.setControllerProcessTime(1);
  item.setControllerWaitTime(2);
  item.setTime(3);
  item.setHostProcessTime(4);
  ItemPtr owned(item.clone());
  auto* copy = dynamic_cast<ScanFrameTimeData*>(owned.get());
  ASSERT_NE(copy, nullptr);
  ASSERT_NE(copy, &item);
  EXPECT_TRUE(
      guidEquals(copy->getKey(), ScanFrameTimeData::ScanFrameTimeDataKey));
  EXPECT_EQ(copy->getControllerProcessTime(), 1u);
  EXPECT_EQ(copy->getControllerWaitTime(), 2u);
  EXPECT_EQ(copy->getScanFrameTime(), 3u);
  EXPECT_EQ(copy->getHostProcessTime(), 4u);

  copy->setTime(77);
  EXPECT_EQ(item.getTime(), 3u);
}

TEST(ScanFrameTimeData, CreateMakesADefaultItem) {
  ItemPtr owned(ScanFrameTimeData::create());
  auto* item = dynamic_cast<ScanFrameTimeData*>(owned.get());
  ASSERT_NE(item, nullptr);
  EXPECT_TRUE(
      guidEquals(item->getKey(), ScanFrameTimeData::ScanFrameTimeDataKey));
  EXPECT_EQ(item->getTime(), 0u);
}

TEST(ScanFrameTimeData, AssignmentCopiesValuesAndSelfAssignmentKeepsThem) {
  ScanFrameTimeData a;
  ScanFrameTimeData b;
  b.setControllerProcessTime(10);
  b.setControllerWaitTime(20);
  b.setScanFrameTime(30);
  b.setHostProcessTime(40);
  a = b;
  EXPECT_EQ(a.getControllerProcessTime(), 10u);
  EXPECT_EQ(a.getControllerWaitTime(), 20u);
  EXPECT_EQ(a.getTime(), 30u);
  EXPECT_EQ(a.getHostProcessTime(), 40u);

  ScanFrameTimeData& same = a;
  a = same;
  EXPECT_EQ(a.getTime(), 30u);
  EXPECT_TRUE(guidEquals(a.getKey(), ScanFrameTimeData::ScanFrameTimeDataKey));
}

TEST(ScanFrameTimeData, IsFoundUnderItsKeyInAFrameList) {
  Holder frame;
  auto* item = new ScanFrameTimeData();
  item->setTime(1234);
  frame.addItem(item);
  auto* found = static_cast<ScanFrameTimeData*>(
      frame.findItem(ScanFrameTimeData::ScanFrameTimeDataKey).getBody());
  EXPECT_EQ(found->getTime(), 1234u);
}

// ---- SWScanFrameInfo
// ---------------------------------------------------------

TEST(SWScanFrameInfo, KeyIsStoredAsTheWindowsRecord) {
  const _GUID key = SWScanFrameInfo::getSWScanFrameInfoKey();
  EXPECT_EQ(guidToString(key), "{5BC52BC3-AA81-4092-95A1-8B238AACDA32}");
  EXPECT_EQ(bytesOf(key), "C3 2B C5 5B 81 AA 92 40 95 A1 8B 23 8A AC DA 32");
}

TEST(SWScanFrameInfo, ConstructorStoresEveryFieldInItsPosition) {
  SWScanFrameInfo info("sensor 7", -1, 0, 2147483647, 1.5, -2.5, 3.25, 0.0,
                       1e300, -1e-300);
  EXPECT_TRUE(
      guidEquals(info.getKey(), SWScanFrameInfo::getSWScanFrameInfoKey()));
  EXPECT_EQ(info.getInfo(), "sensor 7");
  EXPECT_EQ(info.getFirst(), -1);
  EXPECT_EQ(info.getSecond(), 0);
  EXPECT_EQ(info.getThird(), 2147483647);
  EXPECT_EQ(info.getReal(0), 1.5);
  EXPECT_EQ(info.getReal(1), -2.5);
  EXPECT_EQ(info.getReal(2), 3.25);
  EXPECT_EQ(info.getReal(3), 0.0);
  EXPECT_EQ(info.getReal(4), 1e300);
  EXPECT_EQ(info.getReal(5), -1e-300);
  EXPECT_EQ(info.getReals()[5], -1e-300);
}

TEST(SWScanFrameInfo, RealIndexPastTheSixthThrowsOutOfRange) {
  SWScanFrameInfo info("", 0, 0, 0, 0, 0, 0, 0, 0, 0);
  EXPECT_THROW(info.getReal(SWScanFrameInfo::kRealCount), std::out_of_range);
}

TEST(SWScanFrameInfo, TextKeepsEmbeddedNulAndLength) {
  const std::string text("a\0b", 3);
  SWScanFrameInfo info(text, 0, 0, 0, 0, 0, 0, 0, 0, 0);
  EXPECT_EQ(info.getInfo().size(), 3u);
  EXPECT_EQ(info.getInfo(), text);
}

TEST(SWScanFrameInfo, EmptyRecordClonesToAnEqualRecordWithTheSameKey) {
  SWScanFrameInfo info("", 0, 0, 0, 0, 0, 0, 0, 0, 0);
  ItemPtr owned(info.clone());
  auto* copy = dynamic_cast<SWScanFrameInfo*>(owned.get());
  ASSERT_NE(copy, nullptr);
  ASSERT_NE(copy, &info);
  EXPECT_TRUE(
      guidEquals(copy->getKey(), SWScanFrameInfo::getSWScanFrameInfoKey()));
  EXPECT_EQ(copy->getInfo(), "");
  EXPECT_EQ(copy->getFirst(), 0);
  EXPECT_EQ(copy->getSecond(), 0);
  EXPECT_EQ(copy->getThird(), 0);
  EXPECT_EQ(copy->getReals(), info.getReals());
}

TEST(SWScanFrameInfo, CloneIsIndependentOfTheSource) {
  SWScanFrameInfo info("first", 1, 2, 3, 1, 2, 3, 4, 5, 6);
  ItemPtr owned(info.clone());
  auto* copy = static_cast<SWScanFrameInfo*>(owned.get());
  *copy = SWScanFrameInfo("second", 9, 8, 7, 6, 5, 4, 3, 2, 1);
  EXPECT_EQ(copy->getInfo(), "second");
  EXPECT_EQ(copy->getReal(0), 6.0);
  EXPECT_EQ(info.getInfo(), "first");
  EXPECT_EQ(info.getFirst(), 1);
  EXPECT_EQ(info.getReal(0), 1.0);
}

TEST(SWScanFrameInfo, SelfAssignmentKeepsTheRecord) {
  SWScanFrameInfo info("kept", 4, 5, 6, 1, 2, 3, 4, 5, 6);
  SWScanFrameInfo& same = info;
  info = same;
  EXPECT_EQ(info.getInfo(), "kept");
  EXPECT_EQ(info.getThird(), 6);
  EXPECT_EQ(info.getReal(5), 6.0);
}

TEST(SWScanFrameInfo, ItemsOfBothKindsLiveSideBySideInOneList) {
  Holder frame;
  frame.addItem(new ScanFrameTimeData());
  frame.addItem(new SWScanFrameInfo("x", 1, 2, 3, 0, 0, 0, 0, 0, 0));
  auto* info = static_cast<SWScanFrameInfo*>(
      frame.findItem(SWScanFrameInfo::getSWScanFrameInfoKey()).getBody());
  EXPECT_EQ(info->getSecond(), 2);
  EXPECT_EQ(frame.getIndex(ScanFrameTimeData::ScanFrameTimeDataKey), 0u);
}

}  // namespace
}  // namespace QUAX
