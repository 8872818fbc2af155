// SPDX-License-Identifier: MIT
// Memory for the point blocks of lines made one after another.
#ifndef QUAX_SCAN_MODEL_SCANPOINTPOOL_H_
#define QUAX_SCAN_MODEL_SCANPOINTPOOL_H_

#include <cstddef>
#include <new>
#include <type_traits>

#include "scan/QUAXScanExport.h"

namespace QUAX {

namespace detail {
struct PoolChunk;
}

// Carves the point blocks of lines from large chunks, so that a reader or an
// acquisition thread that makes line after line takes fresh memory a chunk
// at a time (in huge pages where the system has them) instead of asking the
// heap for two blocks per line, and gives it back a chunk at a time.
//
// Every block knows its chunk. A chunk goes back to the heap once the pool
// has moved on from it and the last of its blocks is freed, by whichever
// thread frees it: blocks outlive the pool, and their lines move freely
// between surfaces, sets and threads. As a chunk lives while any block of it
// does, a pool suits lines that live and die together (a set being read, a
// surface being filled), not short-lived working copies.
//
// Thread safety: a pool carves for one thread at a time; blocks may be freed
// on any thread, also while the pool carves.
class QUAX_SCAN_API ScanPointPool {
 public:
  // 4 MiB: two huge pages, and about 75 lines of 1,000 points.
  static constexpr std::size_t kDefaultChunkBytes = std::size_t(4) << 20;
  // Memory is aligned to this for any point type.
  static constexpr std::size_t kAlign = 16;

  // Chunks of `chunkBytes` (at least 64 KiB are used). Takes no memory yet.
  explicit ScanPointPool(std::size_t chunkBytes = kDefaultChunkBytes) noexcept;
  ScanPointPool(const ScanPointPool&) = delete;
  ScanPointPool& operator=(const ScanPointPool&) = delete;
  // Lets go of the current chunk; the blocks carved from it stay valid.
  ~ScanPointPool();

  // `bytes` bytes aligned to kAlign, from the current chunk, a new one when
  // it is full, or the heap when the block would take more than a quarter of
  // a chunk. Free with deallocate(). Throws std::bad_alloc.
  void* allocate(std::size_t bytes);
  // The same from the heap, as for a line made without a pool.
  static void* allocateOnHeap(std::size_t bytes);
  // Frees memory of allocate() or allocateOnHeap() (null does nothing).
  static void deallocate(void* memory) noexcept;

  // Gives the free chunks kept for reuse back to the heap. Chunks of the
  // default size are kept when their last block goes (at most 128 MiB in
  // all), so that the next set or surface reuses pages the system has
  // already cleared and mapped.
  static void releaseKept() noexcept;
  // The bytes of free chunks kept for reuse now.
  static std::size_t keptBytes() noexcept;
  // Makes free chunks of the default size, their pages touched, until at
  // least `bytes` (rounded up to whole chunks) are kept for reuse, or as
  // many as may be kept: the next pools then start on memory the system has
  // already cleared and mapped. A source calls it before its camera starts,
  // so that its first profiles do not wait for fresh pages. Returns the
  // bytes kept then. Throws std::bad_alloc.
  static std::size_t prepareKept(std::size_t bytes);

  // While one lives, free chunks of the default size are kept for reuse up
  // to `bytes` (rounded up to whole chunks) more than the 128 MiB kept
  // anyway. A source that fills surfaces at a camera's rate holds one for
  // the points its camera's buffers can bring: when its consumer falls that
  // far behind and catches up, the memory is reused, rather than the system
  // clearing fresh pages for every profile just while the source is behind
  // (which would hold it back further). When it goes, the surplus goes back
  // to the heap. Throws std::bad_alloc.
  class QUAX_SCAN_API KeepMore {
   public:
    explicit KeepMore(std::size_t bytes);
    ~KeepMore();
    KeepMore(const KeepMore&) = delete;
    KeepMore& operator=(const KeepMore&) = delete;

   private:
    std::size_t _chunks;
  };

  std::size_t chunkBytes() const noexcept { return _chunkBytes; }

 private:
  void retire() noexcept;

  std::size_t _chunkBytes;
  detail::PoolChunk* _chunk = nullptr;
  unsigned char* _next = nullptr;  // the current chunk's free part
  unsigned char* _end = nullptr;
};

// The point arrays' allocator: from the pool when one is given, from the
// heap otherwise. Either frees what the other allocated, so all compare
// equal: a container built with a pool and moved into one without keeps the
// memory and leaves later growth to the heap.
template <class T>
struct ScanPointAllocator {
  using value_type = T;
  using is_always_equal = std::true_type;

  ScanPointAllocator() noexcept = default;
  explicit ScanPointAllocator(ScanPointPool* from) noexcept : pool(from) {}
  template <class U>
  ScanPointAllocator(const ScanPointAllocator<U>& other) noexcept
      : pool(other.pool) {}
  // Copies of a container carve nothing from its pool.
  ScanPointAllocator select_on_container_copy_construction() const noexcept {
    return ScanPointAllocator();
  }

  T* allocate(std::size_t n) {
    if (n > static_cast<std::size_t>(-1) / 2 / sizeof(T)) throw std::bad_alloc();
    void* memory = pool != nullptr ? pool->allocate(n * sizeof(T))
                                   : ScanPointPool::allocateOnHeap(n * sizeof(T));
    return static_cast<T*>(memory);
  }
  void deallocate(T* p, std::size_t) noexcept { ScanPointPool::deallocate(p); }

  template <class U>
  bool operator==(const ScanPointAllocator<U>&) const noexcept { return true; }
  template <class U>
  bool operator!=(const ScanPointAllocator<U>&) const noexcept { return false; }

  ScanPointPool* pool = nullptr;
};

}  // namespace QUAX

#endif  // QUAX_SCAN_MODEL_SCANPOINTPOOL_H_
