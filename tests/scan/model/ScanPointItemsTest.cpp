// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <memory>

#include "scan/model/ScanFrameItems.h"
#include "scan/model/ScanPointItems.h"
#include "scan/model/ScanTransformHistory.h"
#include "util/ExtensionItemFactory.h"
#include "util/Guid.h"
#include "util/VXException.h"

namespace QUAX {
namespace {

template <class Item>
std::unique_ptr<Item> owned(ExtensionItem* item) {
  return std::unique_ptr<Item>(dynamic_cast<Item*>(item));
}

TEST(ScanPointItems, KeysAreTheRegisteredOnes) {
  EXPECT_EQ(guidToString(ScanPointTPData::TPDataKey),
            "{065EFC60-B25C-11D3-A622-00E02924BBF5}");
  EXPECT_EQ(guidToString(ScanPointGraysumData::GraysumDataKey),
            "{67559302-B195-11D3-A621-00E02924BBF5}");
  EXPECT_EQ(guidToString(ScanPointExtData<double>::getScanPointExtDataKey()),
            "{31CF77DE-FE15-4A88-AB93-4241FAE3A1CC}");
}

TEST(ScanPointItems, ScanInitRegistersPixelAndGraysumOnly) {
  scanInit();
  auto& factory = ExtensionItemFactory::getInstance();
  auto graysum = owned<ScanPointGraysumData>(
      factory.createExtension(ScanPointGraysumData::GraysumDataKey));
  ASSERT_NE(graysum, nullptr);
  auto tp = owned<ScanPointTPData>(factory.createExtension(ScanPointTPData::TPDataKey));
  ASSERT_NE(tp, nullptr);
  EXPECT_FALSE(factory.isRegistered(ScanPointExtData<double>::getScanPointExtDataKey()));
  // The other items of the library are left to the host.
  EXPECT_FALSE(factory.isRegistered(
      ScanTransformHistory<double>::getScanTransformHistoryKey()));
  EXPECT_FALSE(factory.isRegistered(ScanFrameTimeData::ScanFrameTimeDataKey));
  EXPECT_FALSE(factory.isRegistered(SWScanFrameInfo::getSWScanFrameInfoKey()));
}

TEST(ScanPointItems, TPDataPixelsAreIndependentAndKeepTheFullRange) {
  ScanPointTPData tp;
  EXPECT_EQ(tp.getLowPixel(), 0u);
  EXPECT_EQ(tp.getHighPixel(), 0u);
  tp.setLowPixel(4294967295u);
  EXPECT_EQ(tp.getLowPixel(), 4294967295u);
  EXPECT_EQ(tp.getHighPixel(), 0u);
}

TEST(ScanPointItems, GraysumCloneIsDistinctAndEqual) {
  ScanPointGraysumData g;
  g.setGraysum(4294967295u);
  auto clone = owned<ScanPointGraysumData>(g.clone());
  ASSERT_NE(clone, nullptr);
  EXPECT_NE(clone.get(), &g);
  EXPECT_EQ(clone->getGraysum(), 4294967295u);
  EXPECT_TRUE(guidEquals(clone->getKey(), g.getKey()));
  clone->setGraysum(1);
  EXPECT_EQ(g.getGraysum(), 4294967295u);
}

TEST(ScanPointItems, ExtDataAssignmentCopiesTheValueAndKeepsTheKey) {
  ScanPointExtData<double> a, b;
  a.setData(2.5);
  b = a;
  EXPECT_EQ(b.getData(), 2.5);
  EXPECT_TRUE(guidEquals(b.getKey(), ScanPointExtData<double>::getScanPointExtDataKey()));
  auto created = owned<ScanPointExtData<double>>(ScanPointExtData<double>::create());
  EXPECT_EQ(created->getData(), 0.0);
}

}  // namespace
}  // namespace QUAX
