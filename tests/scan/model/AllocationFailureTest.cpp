// SPDX-License-Identifier: MIT
// What the data model leaves behind when memory runs out part-way through an
// operation. Each test repeats the operation on fresh state, failing its
// first, second, third ... allocation, until a run gets through.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <new>

#include "scan/model/ScanLine.h"
#include "scan/model/ScanPointArray.h"
#include "scan/model/ScanPointItems.h"
#include "scan/model/ScanTransformHistory.h"
#include "tests/scan/model/AllocationFailure.h"
#include "tests/scan/model/ModelTestSupport.h"
#include "util/VXException.h"

namespace QUAX {
namespace {

using testing::AllocationFailure;
using testing::addGraysum;
using testing::allocationFailuresReachTheLibrary;
using testing::expectBoundToBlock;
using testing::graysumOf;
using Array = _ScanPointArray<double>;
using History = ScanTransformHistory<double>;
using Point3 = _GeoPoint<double>;

#define SKIP_WITHOUT_ALLOCATION_FAILURES()  \
  if (!allocationFailuresReachTheLibrary()) \
  GTEST_SKIP() << "the library's allocations cannot be made to fail here"

// Runs `operation` on a fresh `make()` for n = 0, 1, 2 ..., failing its n-th
// allocation, and hands the state of every failed run to `check`. Returns the
// number of failed runs; the last run got through.
template <class Make, class Operation, class Check>
int failEachAllocation(Make make, Operation operation, Check check) {
  for (long n = 0; n < 10000; ++n) {
    auto state = make();
    bool threw = false;
    {
      AllocationFailure fail(n);
      try {
        operation(*state);
      } catch (const std::bad_alloc&) {
        threw = true;
      }
    }
    if (!threw) return static_cast<int>(n);
    check(*state);
  }
  ADD_FAILURE() << "the operation never got through";
  return 0;
}

std::unique_ptr<Array> twoPoints(bool block) {
  auto a = std::make_unique<Array>();
  if (block) {
    a->reserveBlock(2);
  } else {
    a->resize(2);
  }
  (*a)[0]->setPosition(1, 0, 0);
  (*a)[1]->setPosition(2, 0, 0);
  return a;
}

void expectTwoPointsUnchanged(const Array& a, bool block) {
  ASSERT_EQ(a.size(), 2u);
  EXPECT_EQ(a.ownsBlock(), block);
  if (block) expectBoundToBlock(a);
  EXPECT_EQ(a[0]->position(), Point3(1, 0, 0));
  EXPECT_EQ(a[1]->position(), Point3(2, 0, 0));
}

TEST(ScanPointArray, FailedGrowthOrPushBackChangesNothingInEitherMode) {
  SKIP_WITHOUT_ALLOCATION_FAILURES();
  ScanPoint withItem(3, 0, 0);
  addGraysum(withItem, 9);
  const std::function<void(Array&)> operations[] = {
      [](Array& a) { a.resize(50); }, [&](Array& a) { a.pushBack(withItem); }};
  for (bool block : {false, true}) {
    for (const auto& operation : operations) {
      const int failed = failEachAllocation(
          [&] { return twoPoints(block); }, operation,
          [&](const Array& a) { expectTwoPointsUnchanged(a, block); });
      EXPECT_GT(failed, 0) << "block " << block;
    }
  }
}

TEST(ScanPointArray, FailedReserveBlockLeavesThePerPointMode) {
  SKIP_WITHOUT_ALLOCATION_FAILURES();
  const int failed =
      failEachAllocation([] { return std::make_unique<Array>(); },
                         [](Array& a) { a.reserveBlock(8); },
                         [](const Array& a) {
                           EXPECT_TRUE(a.empty());
                           EXPECT_FALSE(a.ownsBlock());
                         });
  EXPECT_GT(failed, 0);
}

TEST(ScanPoint, FailedAssignmentLeavesThePointUnchanged) {
  SKIP_WITHOUT_ALLOCATION_FAILURES();
  ScanPoint source(2, 2, 2);
  addGraysum(source, 5);
  source.addItem(new ScanPointTPData());
  for (bool targetHasItems : {false, true}) {
    const int failed = failEachAllocation(
        [&] {
          auto p = std::make_unique<ScanPoint>(1, 1, 1);
          if (targetHasItems) addGraysum(*p, 3);
          return p;
        },
        [&](ScanPoint& p) { p = source; },
        [&](const ScanPoint& p) {
          EXPECT_EQ(p.position(), Point3(1, 1, 1));
          EXPECT_EQ(p.hasExtensionList(), targetHasItems);
          if (targetHasItems) {
            EXPECT_EQ(graysumOf(p), 3u);
            EXPECT_THROW(p.findItem(ScanPointTPData::TPDataKey),
                         EExtensionNotPresent);
          }
        });
    EXPECT_GT(failed, 0);
  }
}

TEST(ScanLine, FailedAssignmentLeavesAUsableLineOfItsMode) {
  SKIP_WITHOUT_ALLOCATION_FAILURES();
  ScanLine source;
  for (int i = 0; i < 5; ++i) source.appendPoint(Point3(i, 0, 0));
  addGraysum(*source.getPoint(3), 7);
  for (bool block : {false, true}) {
    const int failed = failEachAllocation(
        [&] {
          auto line = std::make_unique<ScanLine>();
          for (int i = 0; i < 3; ++i) line->appendPoint(Point3(9, 9, i));
          if (block) line = std::make_unique<ScanLine>(*line);
          return line;
        },
        [&](ScanLine& line) { line = source; },
        [&](ScanLine& line) {
          EXPECT_EQ(line.getPoints().ownsBlock(), block);
          if (block) expectBoundToBlock(line.getPoints());
          line = source;  // and it can still be assigned
          ASSERT_EQ(line.getPointCount(), 5u);
          EXPECT_EQ(line.getPoint(4)->position(), Point3(4, 0, 0));
          EXPECT_EQ(graysumOf(*line.getPoint(3)), 7u);
        });
    EXPECT_GT(failed, 0);
  }
}

TEST(ScanLine, FailedFirstTransformRecordsNothingAndMovesNothing) {
  SKIP_WITHOUT_ALLOCATION_FAILURES();
  const int failed = failEachAllocation(
      [] {
        auto line = std::make_unique<ScanLine>();
        line->appendPoint(Point3(1, 2, 3));
        return line;
      },
      [](ScanLine& line) {
        line.transform(_MathMatrix<double>::translation(1, 0, 0));
      },
      [](const ScanLine& line) {
        EXPECT_THROW(line.findItem(History::getScanTransformHistoryKey()),
                     EExtensionNotPresent);
        EXPECT_EQ(line.getPoint(0)->position(), Point3(1, 2, 3));
      });
  EXPECT_GT(failed, 0);
}

TEST(ScanLine, FailedLaterTransformKeepsTheHistoryAndThePoints) {
  SKIP_WITHOUT_ALLOCATION_FAILURES();
  const int failed = failEachAllocation(
      [] {
        auto line = std::make_unique<ScanLine>();
        line->appendPoint(Point3(1, 2, 3));
        line->transform(_MathMatrix<double>::translation(0, 0, 1));
        return line;
      },
      [](ScanLine& line) {
        line.transform(_MathMatrix<double>::translation(1, 0, 0));
      },
      [](const ScanLine& line) {
        const auto& history = *static_cast<const History*>(
            line.findItem(History::getScanTransformHistoryKey()).getBody());
        EXPECT_EQ(history.size(), 1u);
        EXPECT_EQ(history.getTotalTransform(),
                  _MathMatrix<double>::translation(0, 0, 1));
        EXPECT_EQ(line.getPoint(0)->position(), Point3(1, 2, 4));
      });
  EXPECT_GT(failed, 0);
}

}  // namespace
}  // namespace QUAX
