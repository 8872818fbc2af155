// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

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

constexpr std::uint32_t kMax = std::numeric_limits<std::uint32_t>::max();

// The key's bytes as Windows stores the record, and its registry form.
std::string keyText(const _GUID& key) {
  unsigned char raw[sizeof(_GUID)];
  std::memcpy(raw, &key, sizeof raw);
  std::string text = guidToString(key);
  char hex[4];
  for (unsigned char b : raw) {
    std::snprintf(hex, sizeof hex, " %02X", b);
    text += hex;
  }
  return text;
}

std::string timesOf(const ScanFrameTimeData& t) {
  return std::to_string(t.getControllerProcessTime()) + " " +
         std::to_string(t.getControllerWaitTime()) + " " +
         std::to_string(t.getScanFrameTime()) + " " +
         std::to_string(t.getTime()) + " " +
         std::to_string(t.getHostProcessTime());
}

TEST(ScanFrameTimeData, KeepsFourIndependentValuesThroughCopies) {
  EXPECT_EQ(keyText(ScanFrameTimeData::ScanFrameTimeDataKey),
            "{95A6C1FA-283D-11D5-922A-0010A4E7A334} FA C1 A6 95 3D 28 D5 11 92 "
            "2A 00 10 A4 E7 A3 34");
  ScanFrameTimeData item;
  EXPECT_EQ(timesOf(item), "0 0 0 0 0");
  item.setControllerProcessTime(kMax);
  item.setControllerWaitTime(kMax - 1);
  item.setHostProcessTime(3);
  item.setTime(5);  // the scan frame time
  EXPECT_EQ(timesOf(item), "4294967295 4294967294 5 5 3");
  item.setScanFrameTime(6);
  std::unique_ptr<ExtensionItem, ExtensionItemDeleter> clone(item.clone());
  auto& copy = dynamic_cast<ScanFrameTimeData&>(*clone);
  EXPECT_EQ(timesOf(copy), "4294967295 4294967294 6 6 3");
  copy.setTime(77);
  EXPECT_EQ(item.getTime(), 6u);
  std::unique_ptr<ExtensionItem, ExtensionItemDeleter> created(
      ScanFrameTimeData::create());
  auto& fresh = dynamic_cast<ScanFrameTimeData&>(*created);
  fresh = item;
  fresh = *&fresh;
  EXPECT_EQ(timesOf(fresh), timesOf(item));
  EXPECT_TRUE(
      guidEquals(fresh.getKey(), ScanFrameTimeData::ScanFrameTimeDataKey));
}

TEST(SWScanFrameInfo, KeepsEveryFieldThroughCopiesAndSharesAListWithTimes) {
  EXPECT_EQ(keyText(SWScanFrameInfo::getSWScanFrameInfoKey()),
            "{5BC52BC3-AA81-4092-95A1-8B238AACDA32} C3 2B C5 5B 81 AA 92 40 95 "
            "A1 8B 23 8A AC DA 32");
  const std::string text("a\0b", 3);
  SWScanFrameInfo info(text, -1, 0, 2147483647, 1.5, -2.5, 3.25, 0.0, 1e300,
                       -1e-300);
  std::unique_ptr<ExtensionItem, ExtensionItemDeleter> clone(info.clone());
  SWScanFrameInfo assigned("x", 9, 8, 7, 6, 5, 4, 3, 2, 1);
  assigned = dynamic_cast<SWScanFrameInfo&>(*clone);
  assigned = *&assigned;
  const double reals[] = {1.5, -2.5, 3.25, 0.0, 1e300, -1e-300};
  for (const SWScanFrameInfo* i :
       {&info, &dynamic_cast<SWScanFrameInfo&>(*clone), &assigned}) {
    EXPECT_EQ(i->getInfo(), text);
    EXPECT_EQ(i->getFirst(), -1);
    EXPECT_EQ(i->getSecond(), 0);
    EXPECT_EQ(i->getThird(), 2147483647);
    for (int k = 0; k < 6; ++k) EXPECT_EQ(i->getReal(k), reals[k]) << k;
    EXPECT_EQ(i->getReals()[5], -1e-300);
    EXPECT_THROW(i->getReal(SWScanFrameInfo::kRealCount), std::out_of_range);
    EXPECT_TRUE(
        guidEquals(i->getKey(), SWScanFrameInfo::getSWScanFrameInfoKey()));
  }

  ExtensionList frame;
  auto* times = new ScanFrameTimeData();
  times->setTime(1234);
  frame.addItem(times);
  frame.addItem(new SWScanFrameInfo("x", 1, 2, 3, 0, 0, 0, 0, 0, 0));
  EXPECT_EQ(
      static_cast<SWScanFrameInfo*>(
          frame.findItem(SWScanFrameInfo::getSWScanFrameInfoKey()).getBody())
          ->getSecond(),
      2);
  EXPECT_EQ(frame.getIndex(ScanFrameTimeData::ScanFrameTimeDataKey), 0u);
}

}  // namespace
}  // namespace QUAX
