// SPDX-License-Identifier: MIT
// This test program's operator new: it throws std::bad_alloc once the
// allocations that QUAX::testing::gAllowedAllocations allows have been made,
// and counts the allocations not yet freed.
// Kept apart from the tests, so that no compiler sees new and delete inlined
// together.
#include <atomic>
#include <cstdlib>
#include <new>

namespace QUAX {
namespace testing {
std::atomic<long> gAllowedAllocations{-1};
std::atomic<long> gLiveAllocations{0};
}  // namespace testing
}  // namespace QUAX

void* operator new(std::size_t size) {
  auto& allowed = QUAX::testing::gAllowedAllocations;
  long left = allowed.load();
  while (left >= 0) {
    if (left == 0) {
      if (allowed.compare_exchange_weak(left, -1)) throw std::bad_alloc();
    } else if (allowed.compare_exchange_weak(left, left - 1)) {
      break;
    }
  }
  if (void* p = std::malloc(size == 0 ? 1 : size)) {
    ++QUAX::testing::gLiveAllocations;
    return p;
  }
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
  if (p != nullptr) --QUAX::testing::gLiveAllocations;
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }
