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

struct Times {
  std::uint32_t process, wait, frame, host;
};

void setTimes(ScanFrameTimeData& item, const Times& t) {
  item.setControllerProcessTime(t.process);
  item.setControllerWaitTime(t.wait);
  item.setScanFrameTime(t.frame);
  item.setHostProcessTime(t.host);
}

void expectTimes(const ScanFrameTimeData& item, const Times& t) {
  EXPECT_TRUE(
      guidEquals(item.getKey(), ScanFrameTimeData::ScanFrameTimeDataKey));
  EXPECT_EQ(item.getControllerProcessTime(), t.process);
  EXPECT_EQ(item.getControllerWaitTime(), t.wait);
  EXPECT_EQ(item.getScanFrameTime(), t.frame);
  EXPECT_EQ(item.getTime(), t.frame);
  EXPECT_EQ(item.getHostProcessTime(), t.host);
}

TEST(ScanFrameTimeData, KeyIsStoredAsTheWindowsRecord) {
  EXPECT_EQ(guidToString(ScanFrameTimeData::ScanFrameTimeDataKey),
            "{95A6C1FA-283D-11D5-922A-0010A4E7A334}");
  EXPECT_EQ(bytesOf(ScanFrameTimeData::ScanFrameTimeDataKey),
            "FA C1 A6 95 3D 28 D5 11 92 2A 00 10 A4 E7 A3 34");
}

TEST(ScanFrameTimeData, EachValueKeepsTheFullRangeAndLeavesTheOthers) {
  ScanFrameTimeData item;
  expectTimes(item, {0, 0, 0, 0});
  item.setControllerProcessTime(kMax);
  expectTimes(item, {kMax, 0, 0, 0});
  setTimes(item, {kMax, kMax - 1, kMax - 2, kMax - 3});
  item.setHostProcessTime(0);
  expectTimes(item, {kMax, kMax - 1, kMax - 2, 0});
  item.setTime(5);  // setTime writes the scan frame time
  expectTimes(item, {kMax, kMax - 1, 5, 0});
}

TEST(ScanFrameTimeData, CloneCreateAndAssignmentCopyEveryValue) {
  ScanFrameTimeData item;
  setTimes(item, {1, 2, 3, 4});
  ItemPtr owned(item.clone());
  auto* copy = dynamic_cast<ScanFrameTimeData*>(owned.get());
  ASSERT_NE(copy, nullptr);
  ASSERT_NE(copy, &item);
  expectTimes(*copy, {1, 2, 3, 4});
  copy->setTime(77);
  EXPECT_EQ(item.getTime(), 3u);

  ItemPtr created(ScanFrameTimeData::create());
  auto* fresh = dynamic_cast<ScanFrameTimeData*>(created.get());
  ASSERT_NE(fresh, nullptr);
  expectTimes(*fresh, {0, 0, 0, 0});

  *fresh = item;
  expectTimes(*fresh, {1, 2, 3, 4});
  ScanFrameTimeData& same = *fresh;
  *fresh = same;
  expectTimes(*fresh, {1, 2, 3, 4});
}

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
  const double reals[] = {1.5, -2.5, 3.25, 0.0, 1e300, -1e-300};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(info.getReal(i), reals[i]) << i;
  EXPECT_EQ(info.getReals()[5], -1e-300);
  EXPECT_THROW(info.getReal(SWScanFrameInfo::kRealCount), std::out_of_range);
}

TEST(SWScanFrameInfo, TextKeepsEmbeddedNulAndLength) {
  const std::string text("a\0b", 3);
  SWScanFrameInfo info(text, 0, 0, 0, 0, 0, 0, 0, 0, 0);
  EXPECT_EQ(info.getInfo().size(), 3u);
  EXPECT_EQ(info.getInfo(), text);
}

TEST(SWScanFrameInfo, CloneIsAnIndependentEqualRecord) {
  SWScanFrameInfo info("first", 1, 2, 3, 1, 2, 3, 4, 5, 6);
  ItemPtr owned(info.clone());
  auto* copy = dynamic_cast<SWScanFrameInfo*>(owned.get());
  ASSERT_NE(copy, nullptr);
  ASSERT_NE(copy, &info);
  EXPECT_TRUE(
      guidEquals(copy->getKey(), SWScanFrameInfo::getSWScanFrameInfoKey()));
  EXPECT_EQ(copy->getInfo(), "first");
  EXPECT_EQ(copy->getFirst(), 1);
  EXPECT_EQ(copy->getSecond(), 2);
  EXPECT_EQ(copy->getThird(), 3);
  EXPECT_EQ(copy->getReals(), info.getReals());

  *copy = SWScanFrameInfo("second", 9, 8, 7, 6, 5, 4, 3, 2, 1);
  EXPECT_EQ(copy->getInfo(), "second");
  EXPECT_EQ(copy->getReal(0), 6.0);
  EXPECT_EQ(info.getInfo(), "first");
  EXPECT_EQ(info.getFirst(), 1);
  EXPECT_EQ(info.getReal(0), 1.0);

  SWScanFrameInfo& same = info;
  info = same;
  EXPECT_EQ(info.getInfo(), "first");
  EXPECT_EQ(info.getThird(), 3);
  EXPECT_EQ(info.getReal(5), 6.0);
}

TEST(SWScanFrameInfo, ItemsOfBothKindsAreFoundUnderTheirKeysInOneList) {
  Holder frame;
  auto* times = new ScanFrameTimeData();
  times->setTime(1234);
  frame.addItem(times);
  frame.addItem(new SWScanFrameInfo("x", 1, 2, 3, 0, 0, 0, 0, 0, 0));
  auto* info = static_cast<SWScanFrameInfo*>(
      frame.findItem(SWScanFrameInfo::getSWScanFrameInfoKey()).getBody());
  EXPECT_EQ(info->getSecond(), 2);
  auto* found = static_cast<ScanFrameTimeData*>(
      frame.findItem(ScanFrameTimeData::ScanFrameTimeDataKey).getBody());
  EXPECT_EQ(found->getTime(), 1234u);
  EXPECT_EQ(frame.getIndex(ScanFrameTimeData::ScanFrameTimeDataKey), 0u);
}

}  // namespace
}  // namespace QUAX
