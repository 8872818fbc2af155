// SPDX-License-Identifier: MIT
// What the point array, which every line's points live in, leaves behind when
// memory runs out part-way through growing: the operation is repeated on
// fresh state, failing its first, second, third ... allocation, until a run
// gets through. (Only such runs reach the clean-up of a failed growth.)
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <new>

#include "scan/model/ScanFrame.h"
#include "scan/model/ScanGrayImage.h"
#include "scan/model/ScanPointArray.h"
#include "tests/scan/model/ModelTestSupport.h"
#include "util/VXException.h"

namespace QUAX {
namespace testing {
// Successful allocations left before the failing one; negative: none fails
// (AllocationFailure.cpp, the program's operator new).
extern std::atomic<long> gAllowedAllocations;
// Allocations made and not yet freed.
extern std::atomic<long> gLiveAllocations;
}  // namespace testing

namespace {

using namespace testing;

// While alive, the allocation after `allowed` further successful ones
// throws std::bad_alloc; later ones succeed again.
struct AllocationFailure {
  explicit AllocationFailure(long allowed) { gAllowedAllocations = allowed; }
  ~AllocationFailure() { gAllowedAllocations = -1; }
};

// False where the library's allocations do not go through this program's
// operator new (Windows DLLs bind to the runtime's own).
bool allocationFailuresReachTheLibrary() {
  AllocationFailure fail(0);
  try {
    _ScanPointArray<double>().resize(1);  // allocates inside the library
  } catch (const std::bad_alloc&) {
    return true;
  }
  return false;
}
using Array = _ScanPointArray<double>;
using Point3 = _GeoPoint<double>;

// Runs `operation` on a fresh `make()` for n = 0, 1, 2 ..., failing its n-th
// allocation, and hands the state of every failed run to `check`; expects
// at least one failed run before one gets through.
template <class Make, class Operation, class Check>
void failEachAllocation(Make make, Operation operation, Check check) {
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
    if (!threw) {
      EXPECT_GT(n, 0);
      return;
    }
    check(*state);
  }
  ADD_FAILURE() << "the operation never got through";
}

TEST(ScanPointArray, FailedGrowthLeavesTheArrayAsItWas) {
  if (!allocationFailuresReachTheLibrary()) {
    GTEST_SKIP() << "the library's allocations cannot be made to fail here";
  }
  ScanPoint withItem(3, 0, 0);
  addGraysum(withItem, 9);
  // Growth within the slots' room and beyond it; a per-point array that
  // shrank from 10 keeps that room.
  const std::function<void(Array&)> operations[] = {
      [](Array& a) { a.resize(5); }, [](Array& a) { a.resize(50); },
      [&](Array& a) { a.pushBack(withItem); }};
  for (bool block : {false, true}) {
    for (const auto& operation : operations) {
      failEachAllocation(
          [&] {
            auto a = std::make_unique<Array>();
            block ? a->reserveBlock(2) : a->resize(10);
            a->resize(2);
            (*a)[1]->setPosition(2, 0, 0);
            return a;
          },
          operation,
          [&](const Array& a) {
            ASSERT_EQ(a.size(), 2u);
            EXPECT_EQ(a.ownsBlock(), block);
            if (block) expectBoundToBlock(a);
            EXPECT_EQ(a[1]->position(), Point3(2, 0, 0));
          });
    }
  }
  failEachAllocation([] { return std::make_unique<Array>(); },
                     [](Array& a) { a.reserveBlock(8); },
                     [](const Array& a) {
                       EXPECT_TRUE(a.empty());
                       EXPECT_FALSE(a.ownsBlock());
                     });
}

// A per-point array frees the points it erases.
TEST(ScanPointArray, ErasedPointsAreFreed) {
  if (!allocationFailuresReachTheLibrary()) {
    GTEST_SKIP() << "the library's allocations are not counted here";
  }
  Array a;
  a.resize(6);
  ASSERT_FALSE(a.ownsBlock());
  const long live = gLiveAllocations;
  a.erase(1, 4);
  EXPECT_LE(gLiveAllocations, live - 3);
}

struct GrayImage : ScanGrayImage {
  GrayImage() : ScanGrayImage(2, 3, 8) {}
  std::uint32_t getPixel(std::size_t, std::size_t) const override { return 0; }
};

// A frame frees the line and the image it replaces, and keeps one handed back
// to it.
TEST(ScanFrame, FreesWhatItReplacesAndKeepsWhatIsHandedBack) {
  if (!allocationFailuresReachTheLibrary()) {
    GTEST_SKIP() << "the library's allocations are not counted here";
  }
  ScanFrame frame(std::make_unique<ScanLine>());
  frame.setGrayImage(std::make_unique<GrayImage>());
  const long live = gLiveAllocations;
  frame.setScanLine(std::make_unique<ScanLine>());
  frame.setGrayImage(std::make_unique<GrayImage>());
  EXPECT_EQ(gLiveAllocations, live);
  frame.setScanLine(std::unique_ptr<ScanLine>(frame.getScanLine()));
  frame.setGrayImage(std::unique_ptr<ScanGrayImage>(frame.getGrayImage()));
  EXPECT_EQ(gLiveAllocations, live);
}

}  // namespace
}  // namespace QUAX
