// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "scan/model/ScanFrameItems.h"
#include "scan/model/ScanPoint.h"
#include "scan/model/ScanPointArray.h"
#include "scan/model/ScanPointPool.h"
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

// Points given their lists together keep them through copies, moves,
// assignment and erasure; the shared block goes with the last list
// (AddressSanitizer checks that it is freed once).
TEST(ScanPoint, ListsMadeTogetherBehaveAsListsMadeOneByOne) {
  _ScanPointArray<double> a;
  a.reserveBlock(6);
  addGraysum(*a[2], 5);  // already has a list: keeps it
  ScanPoint::createExtensionLists(a.data(), a.size());
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (i != 2) a[i]->emplaceItem<ScanPointGraysumData>()->setGraysum(10 + i);
    EXPECT_EQ(graysumOf(*a[i]), i == 2 ? 5u : 10 + i);
  }
  a[4]->emplaceItem<ScanPointTPData>()->setHighPixel(7);
  a[4]->emplaceItem<ScanPointGraysumData>()->setGraysum(8);  // replaces
  EXPECT_EQ(a[4]->extensionList()->size(), 2u);
  const ScanPoint copy(*a[4]);
  *a[0] = ScanPoint();
  EXPECT_FALSE(a[0]->hasExtensionList());
  a.erase(1, 3);
  for (int i = 0; i < 50; ++i) a.pushBack(*a[1]);  // moves the block
  EXPECT_EQ(graysumOf(*a[1]), 13u);
  a.erase(0, a.size() - 1);
  EXPECT_EQ(graysumOf(*a[0]), 13u);
  EXPECT_EQ(graysumOf(copy), 8u);
  ScanPoint::createExtensionLists(a.data(), 0);
}

TEST(ScanPointItems, KeysAndTheFactoryRegistration) {
  // The registry form of each key.
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
    EXPECT_THROW(factory.createExtension(key), EExtensionNotPresent);
  }
}

TEST(ScanPointItems, ClonesAreIndependentAndFrameInfoRefusesBadIndexes) {
  ScanPointGraysumData g;
  g.setGraysum(4294967295u);
  std::unique_ptr<ExtensionItem, ExtensionItemDeleter> owned(g.clone());
  static_cast<ScanPointGraysumData*>(owned.get())->setGraysum(1);
  EXPECT_EQ(g.getGraysum(), 4294967295u);
  const SWScanFrameInfo info(std::string("a\0b", 3), -1, 0, 7, 1.5, -2.5, 0, 0,
                             0, -1e-300);
  std::unique_ptr<ExtensionItem, ExtensionItemDeleter> infoClone(info.clone());
  const auto& infoCopy = static_cast<const SWScanFrameInfo&>(*infoClone);
  EXPECT_EQ(infoCopy.getInfo().size(), 3u);
  EXPECT_EQ(infoCopy.getReal(5), -1e-300);
  EXPECT_THROW(infoCopy.getReal(SWScanFrameInfo::kRealCount),
               std::out_of_range);
}

using Array = _ScanPointArray<double>;
using testing::expectBoundToBlock;

// Points at x = 0 ... n - 1, in one block (carved from `pool` when given)
// or allocated one by one; point i of `tagged` carries a pixel item holding i.
void fill(Array& a, std::size_t n, bool block, bool tagged = false,
          ScanPointPool* pool = nullptr) {
  double x = 0;
  if (pool != nullptr) {
    a.makeBlock(n, [&] { return _GeoPoint<double>(x++, 0, 0); }, pool);
  } else {
    block ? a.reserveBlock(n) : a.resize(n);
  }
  for (std::size_t i = 0; i < n; ++i) {
    a[i]->setPosition(double(i), 0, 0);
    if (!tagged || i % 2 == 0) continue;
    a[i]->createExtensionList();
    auto* tp = new ScanPointTPData();
    tp->setLowPixel(static_cast<std::uint32_t>(i));
    a[i]->addItem(tp);
  }
}

std::string xsOf(const Array& a) {
  std::string xs;
  for (std::size_t i = 0; i < a.size(); ++i) {
    xs += std::to_string(int(a[i]->position().x()));
    if (a[i]->hasExtensionList()) {
      xs += "/" + std::to_string(
                      static_cast<ScanPointTPData*>(
                          a[i]->findItem(ScanPointTPData::TPDataKey).getBody())
                          ->getLowPixel());
    }
    xs += " ";
  }
  return xs;
}

TEST(ScanPointArray, ResizeEraseAndAssignKeepPointsAndItemsInBothModes) {
  for (int mode : {0, 1, 2}) {  // one by one, a block, a block from a pool
    SCOPED_TRACE(mode);
    const bool block = mode != 0;
    Array a;
    {
      ScanPointPool pool;  // gone before the array: the block stays
      fill(a, 6, block, true, mode == 2 ? &pool : nullptr);
    }
    a.erase(0, 2);
    a.erase(1, 2);
    EXPECT_EQ(xsOf(a), "2 4 5/5 ");
    EXPECT_THROW(a.erase(2, 4), std::out_of_range);
    EXPECT_THROW(a.erase(2, 1), std::out_of_range);
    a.resize(1000);  // certainly reallocates a block
    EXPECT_EQ(a[999]->position(), _GeoPoint<double>());
    a.resize(3);
    EXPECT_EQ(xsOf(a), "2 4 5/5 ");
    // Moved into a block of their own size, once; one by one, they stay.
    const ScanPoint* before = a[0];
    EXPECT_EQ(a.shrinkToFit(), block);
    EXPECT_FALSE(a.shrinkToFit());
    EXPECT_EQ(a[0] != before, block);
    EXPECT_EQ(xsOf(a), "2 4 5/5 ");
    if (block) expectBoundToBlock(a);
    EXPECT_EQ(a.ownsBlock(), block);

    Array source;
    fill(source, 3, false, true);
    a.assignPoints(source);
    EXPECT_EQ(xsOf(a), "0 1/1 2 ");
    EXPECT_NE(a[1]->findItem(ScanPointTPData::TPDataKey).getBody(),
              source[1]->findItem(ScanPointTPData::TPDataKey).getBody());
    a.resize(4);
    EXPECT_THROW(a.assignPoints(source), std::out_of_range);
    EXPECT_THROW(a.at(4), std::out_of_range);
    EXPECT_EQ(a.at(3), a[3]);
    // Copies of one of its own points, while the array grows under them.
    for (int i = 0; i < 100; ++i) a.pushBack(*a[1]);
    EXPECT_EQ(xsOf(a).substr(xsOf(a).size() - 8), "1/1 1/1 ");
    if (block) expectBoundToBlock(a);
  }
}

TEST(ScanPointArray, ReserveBlockBindsEverySlotOnceAndGrowthHasALimit) {
  Array a;
  a.reserveBlock(0);
  EXPECT_FALSE(a.ownsBlock());
  a.reserveBlock(5);
  EXPECT_THROW(a.reserveBlock(3), std::logic_error);
  a.resize(0);  // stays block-backed
  a.resize(4);
  expectBoundToBlock(a);
  for (bool block : {false, true}) {
    Array b;
    if (block) b.reserveBlock(1);
    try {
      b.resize(static_cast<std::size_t>(-1));
      FAIL() << "resize to SIZE_MAX accepted";
    } catch (const std::length_error& e) {
      EXPECT_EQ(std::string(e.what()), "vector<T> too long");
    }
    EXPECT_EQ(b.size(), block ? 1u : 0u);
  }
}

// Lines from a pool of small chunks (several lines to a chunk, large ones
// on the heap) outlive the pool, and go in any order on another thread
// while the others stay intact (AddressSanitizer and ThreadSanitizer check
// that every chunk is freed once, after its last block).
TEST(ScanPointArray, PooledBlocksOutliveThePoolAndGoOnAnyThread) {
  std::vector<std::unique_ptr<Array>> arrays;
  {
    ScanPointPool pool(1);  // the smallest chunks
    ScanPointPool defaults;
    for (std::size_t k = 0; k < 120; ++k) {
      auto a = std::make_unique<Array>();
      const std::size_t n = (k * 37) % 700;  // some over a quarter chunk
      double x = double(k);
      ScanPointPool& from = k % 5 == 0 ? defaults : pool;
      a->makeBlock(n, [&] { return _GeoPoint<double>(x, double(k), 0); }, &from);
      if (k % 3 == 0) {
        ScanPoint::createExtensionLists(a->data(), a->size(), from);
        for (std::size_t i = 0; i < n; ++i) addGraysum(*(*a)[i], std::uint32_t(k));
      }
      arrays.push_back(std::move(a));
    }
    // A throwing maker leaves the array empty and gives its memory back.
    Array failed;
    int made = 0;
    EXPECT_THROW(failed.makeBlock(
                     50,
                     [&] {
                       if (++made == 20) throw std::runtime_error("maker");
                       return _GeoPoint<double>();
                     },
                     &pool),
                 std::runtime_error);
    EXPECT_TRUE(failed.empty());
    EXPECT_FALSE(failed.ownsBlock());
  }
  std::vector<std::unique_ptr<Array>> odd;
  for (std::size_t k = 1; k < arrays.size(); k += 2) odd.push_back(std::move(arrays[k]));
  std::thread([&] { odd.clear(); }).join();
  for (std::size_t k = 0; k < arrays.size(); k += 2) {
    const Array& a = *arrays[k];
    ASSERT_EQ(a.size(), (k * 37) % 700);
    if (a.empty()) continue;
    expectBoundToBlock(a);
    EXPECT_EQ(a[a.size() - 1]->position(), _GeoPoint<double>(double(k), double(k), 0));
    if (k % 3 == 0) {
      EXPECT_EQ(graysumOf(*a[a.size() - 1]), k);
    }
  }
  // Growth after the pool has gone takes heap memory.
  arrays[2]->resize(2000);
  EXPECT_EQ((*arrays[2])[1999]->position(), _GeoPoint<double>());
  arrays.clear();
  ScanPointPool::releaseKept();
}

// Free chunks kept for reuse: 128 MiB at most, more while a KeepMore asks
// for it (rounded up to whole chunks), and the surplus freed when it goes.
TEST(ScanPointPool, KeepsMoreFreeChunksOnlyWhileAsked) {
  const std::size_t chunk = ScanPointPool::kDefaultChunkBytes;
  const auto freeChunks = [](std::size_t n) {  // each pool takes one
    std::vector<void*> blocks;
    for (std::size_t i = 0; i < n; ++i) {
      ScanPointPool pool;
      blocks.push_back(pool.allocate(64));
    }
    for (void* block : blocks) ScanPointPool::deallocate(block);
  };
  ScanPointPool::releaseKept();
  freeChunks(40);
  EXPECT_EQ(ScanPointPool::keptBytes(), 32 * chunk);
  {
    ScanPointPool::KeepMore keep(20 * chunk - 1);
    freeChunks(60);  // 32 of them kept ones
    EXPECT_EQ(ScanPointPool::keptBytes(), 52 * chunk);
  }
  EXPECT_EQ(ScanPointPool::keptBytes(), 32 * chunk);
  ScanPointPool::releaseKept();
  EXPECT_EQ(ScanPointPool::keptBytes(), 0u);
  // Chunks made ready beforehand: as many as asked, within what is kept.
  EXPECT_EQ(ScanPointPool::prepareKept(3 * chunk - 1), 3 * chunk);
  EXPECT_EQ(ScanPointPool::prepareKept(chunk), 3 * chunk);
  EXPECT_EQ(ScanPointPool::prepareKept(40 * chunk), 32 * chunk);
  freeChunks(2);  // reused, not more
  EXPECT_EQ(ScanPointPool::keptBytes(), 32 * chunk);
  ScanPointPool::releaseKept();
}

}  // namespace
}  // namespace QUAX
