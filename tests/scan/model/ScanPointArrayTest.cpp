// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "scan/model/ScanPointArray.h"
#include "tests/scan/model/ModelTestSupport.h"

namespace QUAX {
namespace {

using Array = _ScanPointArray<double>;
using testing::expectBoundToBlock;

// Points at x = 0 ... n - 1, in one block or allocated one by one; point i
// of `tagged` carries a pixel item holding i.
void fill(Array& a, std::size_t n, bool block, bool tagged = false) {
  block ? a.reserveBlock(n) : a.resize(n);
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
  for (bool block : {false, true}) {
    SCOPED_TRACE(block);
    Array a;
    fill(a, 6, block, true);
    a.erase(0, 2);
    a.erase(1, 2);
    EXPECT_EQ(xsOf(a), "2 4 5/5 ");
    EXPECT_THROW(a.erase(2, 4), std::out_of_range);
    EXPECT_THROW(a.erase(2, 1), std::out_of_range);
    a.resize(1000);  // certainly reallocates a block
    EXPECT_EQ(a[999]->position(), _GeoPoint<double>());
    a.resize(3);
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
  }
}

TEST(ScanPointArray, ReserveBlockBindsEverySlotOnce) {
  Array a;
  a.reserveBlock(0);
  EXPECT_FALSE(a.ownsBlock());
  a.reserveBlock(5);
  expectBoundToBlock(a);
  EXPECT_THROW(a.reserveBlock(3), std::logic_error);
  a.resize(0);  // stays block-backed
  EXPECT_TRUE(a.ownsBlock());
  a.resize(4);
  expectBoundToBlock(a);
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
        moves += a.data() != before;
      }
      EXPECT_LT(moves, 40) << "block " << block << ", resize " << viaResize;
      if (block) {
        expectBoundToBlock(a);
        a.pushBack(*a[5]);  // a point of our own block
        EXPECT_EQ(a[a.size() - 1]->position().x(), viaResize ? 0.0 : 4.0);
      }
    }
  }
}

}  // namespace
}  // namespace QUAX
