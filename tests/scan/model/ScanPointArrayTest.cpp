// SPDX-License-Identifier: MIT
#include "scan/model/ScanPointArray.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "scan/model/ScanPointItems.h"
#include "tests/scan/model/ModelTestSupport.h"

namespace QUAX {
namespace {

using Array = _ScanPointArray<double>;

using testing::expectBoundToBlock;

void fill(Array& a, double offset) {
  for (std::size_t i = 0; i < a.size(); ++i) {
    a[i]->setPosition(offset + double(i), 0, 0);
  }
}

// Points at x = 0 ... n - 1, in one block or allocated one by one.
void fillCount(Array& a, std::size_t n, bool block) {
  if (block) {
    a.reserveBlock(n);
  } else {
    a.resize(n);
  }
  fill(a, 0);
}

TEST(ScanPointArray, ReserveBlockBindsEverySlot) {
  Array a;
  a.reserveBlock(0);
  EXPECT_FALSE(a.ownsBlock());
  a.reserveBlock(5);
  EXPECT_EQ(a.size(), 5u);
  expectBoundToBlock(a);
  EXPECT_THROW(a.reserveBlock(3), std::logic_error);
}

TEST(ScanPointArray, ResizeWithoutBlockAllocatesPerPoint) {
  Array a;
  a.resize(4);
  EXPECT_FALSE(a.ownsBlock());
  fill(a, 0);
  a.resize(2);
  EXPECT_EQ(a.size(), 2u);
  EXPECT_EQ(a[1]->position().x(), 1.0);
  a.resize(3);
  EXPECT_EQ(a[2]->position(), _GeoPoint<double>());
}

TEST(ScanPointArray, ResizeWithBlockRebindsWhenTheBlockMoves) {
  Array a;
  a.reserveBlock(2);
  fill(a, 10);
  a.resize(1000);  // certainly reallocates
  expectBoundToBlock(a);
  EXPECT_EQ(a[1]->position().x(), 11.0);
  EXPECT_EQ(a[999]->position(), _GeoPoint<double>());
}

TEST(ScanPointArray, ResizeToZeroStaysBlockBacked) {
  Array a;
  a.reserveBlock(3);
  a.resize(0);
  EXPECT_TRUE(a.empty());
  EXPECT_TRUE(a.ownsBlock());
  a.resize(4);
  expectBoundToBlock(a);
}

TEST(ScanPointArray, EraseClosesTheGapInBothModes) {
  for (bool block : {false, true}) {
    Array a;
    fillCount(a, 6, block);
    a.erase(1, 3);
    ASSERT_EQ(a.size(), 4u);
    EXPECT_EQ(a[0]->position().x(), 0.0);
    EXPECT_EQ(a[1]->position().x(), 3.0);
    EXPECT_EQ(a[3]->position().x(), 5.0);
    if (block) expectBoundToBlock(a);
    EXPECT_THROW(a.erase(3, 5), std::out_of_range);
    EXPECT_THROW(a.erase(2, 1), std::out_of_range);
  }
}

TEST(ScanPointArray, PointsMovedDownByEraseKeepTheirItems) {
  for (bool block : {false, true}) {
    Array a;
    fillCount(a, 4, block);
    for (std::size_t i : {1u, 3u}) {
      a[i]->createExtensionList();
      auto* tp = new ScanPointTPData();
      tp->setLowPixel(static_cast<std::uint32_t>(i));
      a[i]->addItem(tp);
    }
    a.erase(0, 2);
    ASSERT_EQ(a.size(), 2u);
    EXPECT_FALSE(a[0]->hasExtensionList()) << "block " << block;
    EXPECT_EQ(a[1]->position().x(), 3.0);
    EXPECT_EQ(static_cast<ScanPointTPData*>(
                  a[1]->findItem(ScanPointTPData::TPDataKey).getBody())
                  ->getLowPixel(),
              3u);
  }
}

TEST(ScanPointArray, EraseResizeAssignCopiesPositionsAndItems) {
  Array source;
  source.resize(3);
  fill(source, 100);
  source[1]->createExtensionList();
  auto* tp = new ScanPointTPData();
  tp->setHighPixel(42);
  source[1]->addItem(tp);

  Array target;
  target.reserveBlock(5);
  target.erase(0, target.size());
  target.resize(3);
  target.assignPoints(source);
  expectBoundToBlock(target);
  EXPECT_EQ(target[2]->position().x(), 102.0);
  auto* copied = static_cast<ScanPointTPData*>(
      target[1]->findItem(ScanPointTPData::TPDataKey).getBody());
  EXPECT_EQ(copied->getHighPixel(), 42u);
  EXPECT_NE(copied, tp);
  EXPECT_FALSE(target[0]->hasExtensionList());
}

TEST(ScanPointArray, AssignFromAShorterSourceIsRefused) {
  Array small, big;
  small.resize(1);
  big.resize(2);
  EXPECT_THROW(big.assignPoints(small), std::out_of_range);
}

TEST(ScanPointArray, GrowingBeyondTheLimitThrowsLengthError) {
  for (bool block : {false, true}) {
    Array a;
    if (block) a.reserveBlock(1);
    try {
      a.resize(static_cast<std::size_t>(-1));
      FAIL() << "resize to SIZE_MAX accepted";
    } catch (const std::length_error& e) {
      EXPECT_EQ(std::string(e.what()), "vector<T> too long");
    }
    EXPECT_EQ(a.size(), block ? 1u : 0u);
  }
}

TEST(ScanPointArray, PushBackCopiesIntoEitherMode) {
  for (bool block : {false, true}) {
    Array a;
    if (block) a.reserveBlock(1);
    for (int i = 0; i < 100; ++i) a.pushBack(_ScanPoint<double>(i, 0, 0));
    EXPECT_EQ(a.size(), block ? 101u : 100u);
    EXPECT_EQ(a[a.size() - 1]->position().x(), 99.0);
    if (block) {
      expectBoundToBlock(a);
      a.pushBack(*a[5]);  // a point of our own block
      EXPECT_EQ(a[a.size() - 1]->position().x(), 4.0);
    }
  }
}

// Point-by-point filling moves the slots only a logarithmic number of
// times, in both modes (counted, not timed).
TEST(ScanPointArray, PointByPointGrowthReallocatesRarely) {
  for (bool block : {false, true}) {
    for (bool viaResize : {false, true}) {
      Array a;
      if (block) a.reserveBlock(1);
      int moves = 0;
      for (int i = 0; i < 4000; ++i) {
        const auto* before = a.data();
        if (viaResize) {
          a.resize(a.size() + 1);
        } else {
          a.pushBack(_ScanPoint<double>(i, 0, 0));
        }
        if (a.data() != before) ++moves;
      }
      EXPECT_LT(moves, 40) << "block " << block << ", resize " << viaResize;
      if (block) expectBoundToBlock(a);
    }
  }
}

TEST(ScanPointArray, AtChecksTheIndex) {
  Array a;
  a.resize(2);
  EXPECT_NE(a.at(1), nullptr);
  EXPECT_THROW(a.at(2), std::out_of_range);
}

}  // namespace
}  // namespace QUAX
