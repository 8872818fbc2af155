// SPDX-License-Identifier: MIT
// Replaces the global operator new and delete of the benchmark program that
// includes it (one source file per program may): every allocation, the
// library's included, is counted, and carries its size in front so that the
// heap in use and its peak are known.
#ifndef QUAX_BENCH_HEAPCOUNTER_H_
#define QUAX_BENCH_HEAPCOUNTER_H_

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>

namespace heap_counter {
inline std::atomic<long long> allocations{0};
inline std::atomic<long long> now{0};
inline std::atomic<long long> peak{0};
constexpr std::size_t kFront = alignof(std::max_align_t);

// Starts a new peak from the heap in use.
inline void resetPeak() { peak.store(now.load()); }
}  // namespace heap_counter

// GCC takes the malloc/free pair of these replacements for a mismatch once
// they are inlined into callers, and the size read in front of a block for
// a read before an object it cannot see was allocated here.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#pragma GCC diagnostic ignored "-Warray-bounds"
#endif
void* operator new(std::size_t size) {
  using namespace heap_counter;
  auto* p = static_cast<char*>(std::malloc(size + kFront));
  if (p == nullptr) throw std::bad_alloc();
  std::memcpy(p, &size, sizeof size);
  allocations.fetch_add(1, std::memory_order_relaxed);
  const auto grown = static_cast<long long>(size);
  const long long inUse = now.fetch_add(grown) + grown;
  long long high = peak.load();
  while (inUse > high && !peak.compare_exchange_weak(high, inUse)) {
  }
  return p + kFront;
}
void operator delete(void* p) noexcept {
  if (p == nullptr) return;
  char* block = static_cast<char*>(p) - heap_counter::kFront;
  std::size_t size;
  std::memcpy(&size, block, sizeof size);
  heap_counter::now.fetch_sub(static_cast<long long>(size));
  std::free(block);
}
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

#endif  // QUAX_BENCH_HEAPCOUNTER_H_
