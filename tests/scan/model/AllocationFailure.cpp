// SPDX-License-Identifier: MIT
#include "tests/scan/model/AllocationFailure.h"

#include <atomic>
#include <cstdlib>
#include <new>

#include "scan/model/ScanPointArray.h"

namespace QUAX {
namespace testing {
namespace {

// Successful allocations left before the failing one; negative: none fails.
std::atomic<long> gAllowed{-1};
std::atomic<bool> gFired{false};

}  // namespace

AllocationFailure::AllocationFailure(long allowed) {
  gFired.store(false);
  gAllowed.store(allowed);
}

AllocationFailure::~AllocationFailure() { gAllowed.store(-1); }

bool AllocationFailure::fired() const { return gFired.load(); }

bool allocationFailuresReachTheLibrary() {
  AllocationFailure fail(0);
  try {
    _ScanPointArray<double> points;
    points.resize(1);  // allocates inside the library
  } catch (const std::bad_alloc&) {
    return true;
  }
  return false;
}

}  // namespace testing
}  // namespace QUAX

void* operator new(std::size_t size) {
  using QUAX::testing::gAllowed;
  long allowed = gAllowed.load();
  while (allowed >= 0) {
    if (allowed == 0) {
      if (gAllowed.compare_exchange_weak(allowed, -1)) {
        QUAX::testing::gFired.store(true);
        throw std::bad_alloc();
      }
    } else if (gAllowed.compare_exchange_weak(allowed, allowed - 1)) {
      break;
    }
  }
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}

void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
