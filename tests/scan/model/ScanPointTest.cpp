// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

#include "scan/model/ScanFrameItems.h"
#include "scan/model/ScanPoint.h"
#include "scan/model/ScanTransformHistory.h"
#include "tests/scan/model/ModelTestSupport.h"
#include "util/ExtensionItemFactory.h"
#include "util/Guid.h"
#include "util/VXException.h"

namespace QUAX {
namespace {

using testing::addGraysum;
using testing::graysumOf;

TEST(ScanPoint, ItemsAreCopiedFollowedOnAssignmentAndTakenOnMove) {
  ScanPoint bare(2, 2, 2);
  EXPECT_FALSE(bare.hasExtensionList());
  EXPECT_THROW(bare.findItem(ScanPointGraysumData::GraysumDataKey),
               EExtensionNoImplementation);
  ScanPoint source(1, 2, 3);
  addGraysum(source, 7);
  source.createExtensionList();  // keeps the existing list
  EXPECT_THROW(source.findItem(ScanPointTPData::TPDataKey),
               EExtensionNotPresent);

  ScanPoint copy(source);
  copy.removeItem(ScanPointGraysumData::GraysumDataKey);
  EXPECT_EQ(graysumOf(source), 7u);
  ScanPoint target;
  target = source;
  EXPECT_EQ(graysumOf(target), 7u);
  target = bare;  // the source has none: the target releases its own
  EXPECT_FALSE(target.hasExtensionList());
  EXPECT_EQ(target.getPosition(), _GeoPoint<double>(2, 2, 2));
  ScanPoint& self = target;
  target = self;
  EXPECT_EQ(target.getPosition(), _GeoPoint<double>(2, 2, 2));

  ScanPoint moved(std::move(source));
  EXPECT_EQ(graysumOf(moved), 7u);
  EXPECT_FALSE(source.hasExtensionList());  // NOLINT(bugprone-use-after-move)
}

TEST(ScanPointItems, KeysAndTheFactoryRegistration) {
  // Registry form and, for two frame items, the bytes of the Windows record.
  const struct {
    _GUID key;
    const char* text;
  } keys[] = {
      {ScanPointTPData::TPDataKey, "{065EFC60-B25C-11D3-A622-00E02924BBF5}"},
      {ScanPointGraysumData::GraysumDataKey,
       "{67559302-B195-11D3-A621-00E02924BBF5}"},
      {ScanPointExtData<double>::getScanPointExtDataKey(),
       "{31CF77DE-FE15-4A88-AB93-4241FAE3A1CC}"},
      {ScanTransformHistory<double>::getScanTransformHistoryKey(),
       "{0A5F231D-9CE6-44B8-91DE-A01E950DE011}"},
      {ScanFrameTimeData::ScanFrameTimeDataKey,
       "{95A6C1FA-283D-11D5-922A-0010A4E7A334}"},
      {SWScanFrameInfo::getSWScanFrameInfoKey(),
       "{5BC52BC3-AA81-4092-95A1-8B238AACDA32}"},
  };
  for (const auto& k : keys) EXPECT_EQ(guidToString(k.key), k.text);
  const unsigned char timeBytes[] = {0xFA, 0xC1, 0xA6, 0x95, 0x3D, 0x28,
                                     0xD5, 0x11, 0x92, 0x2A, 0x00, 0x10,
                                     0xA4, 0xE7, 0xA3, 0x34};
  EXPECT_EQ(std::memcmp(&ScanFrameTimeData::ScanFrameTimeDataKey, timeBytes,
                        sizeof timeBytes),
            0);
  // scanInit registers pixels and gray sums; the other items are left to
  // the host.
  scanInit();
  auto& factory = ExtensionItemFactory::getInstance();
  for (const _GUID& key :
       {ScanPointGraysumData::GraysumDataKey, ScanPointTPData::TPDataKey}) {
    std::unique_ptr<ExtensionItem, ExtensionItemDeleter> item(
        factory.createExtension(key));
    EXPECT_TRUE(guidEquals(item->getKey(), key));
  }
  for (const _GUID& key :
       {ScanPointExtData<double>::getScanPointExtDataKey(),
        ScanTransformHistory<double>::getScanTransformHistoryKey(),
        ScanFrameTimeData::ScanFrameTimeDataKey,
        SWScanFrameInfo::getSWScanFrameInfoKey()}) {
    EXPECT_FALSE(factory.isRegistered(key)) << guidToString(key);
  }
}

TEST(ScanPointItems, ClonesAndCopiesHoldEqualIndependentValues) {
  ScanPointGraysumData g;
  g.setGraysum(4294967295u);
  std::unique_ptr<ExtensionItem, ExtensionItemDeleter> owned(g.clone());
  auto* clone = static_cast<ScanPointGraysumData*>(owned.get());
  clone->setGraysum(1);
  EXPECT_EQ(g.getGraysum(), 4294967295u);
  ScanPointTPData tp;
  tp.setLowPixel(4294967295u);
  std::unique_ptr<ExtensionItem, ExtensionItemDeleter> tpOwned(tp.clone());
  auto* tpClone = static_cast<ScanPointTPData*>(tpOwned.get());
  EXPECT_EQ(tpClone->getLowPixel(), 4294967295u);
  EXPECT_EQ(tpClone->getHighPixel(), 0u);
  ScanPointExtData<double> a, b;
  a.setData(2.5);
  b = a;
  EXPECT_EQ(b.getData(), 2.5);
  const SWScanFrameInfo info(std::string("a\0b", 3), -1, 0, 7, 1.5, -2.5, 0, 0,
                             0, -1e-300);
  std::unique_ptr<ExtensionItem, ExtensionItemDeleter> infoClone(info.clone());
  const auto& infoCopy = static_cast<const SWScanFrameInfo&>(*infoClone);
  EXPECT_EQ(infoCopy.getInfo().size(), 3u);
  EXPECT_EQ(infoCopy.getReal(5), -1e-300);
  EXPECT_THROW(infoCopy.getReal(SWScanFrameInfo::kRealCount),
               std::out_of_range);
  ScanFrameTimeData times;
  times.setTime(5);
  EXPECT_EQ(times.getScanFrameTime(), 5u);
  std::unique_ptr<ExtensionItem, ExtensionItemDeleter> created(
      ScanPointExtData<double>::create());
  EXPECT_TRUE(guidEquals(created->getKey(),
                         ScanPointExtData<double>::getScanPointExtDataKey()));
}

}  // namespace
}  // namespace QUAX
