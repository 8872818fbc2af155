// SPDX-License-Identifier: MIT
#include "scan/model/ScanPointPool.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <vector>

#include "scan/model/HugePages.h"

namespace QUAX {

// The head of a chunk: how many of its blocks live, plus one while the pool
// still carves from it.
struct detail::PoolChunk {
  std::atomic<std::size_t> alive{1};
  std::size_t bytes = 0;
  void* raw = nullptr;  // what operator new gave, before the alignment
  unsigned char* end = nullptr;  // of the memory carved from
};

namespace {

using Chunk = detail::PoolChunk;

// The word in front of every block: its chunk, or null for a heap block.
// A whole kAlign, so that the block after it stays aligned.
constexpr std::size_t kFront = ScanPointPool::kAlign;
constexpr std::size_t kChunkHead =
    (sizeof(Chunk) + ScanPointPool::kAlign - 1) / ScanPointPool::kAlign *
    ScanPointPool::kAlign;
constexpr std::size_t kMinChunkBytes = std::size_t(64) << 10;
// Free chunks of the default size kept for the next pool, so that a set
// read after one was dropped, or surface after surface, reuses memory the
// system has already cleared and mapped. At most 128 MiB, and more while a
// KeepMore asks for it.
constexpr std::size_t kKeptChunks = 32;

std::size_t roundUp(std::size_t bytes) noexcept {
  return (bytes + ScanPointPool::kAlign - 1) & ~(ScanPointPool::kAlign - 1);
}

// The chunks of the default size that `bytes` take, rounded up.
std::size_t chunksFor(std::size_t bytes) noexcept {
  constexpr std::size_t chunk = ScanPointPool::kDefaultChunkBytes;
  return bytes / chunk + (bytes % chunk != 0);
}

void* stamp(unsigned char* raw, Chunk* chunk) noexcept {
  std::memcpy(raw, &chunk, sizeof chunk);
  return raw + kFront;
}

struct KeptChunks {
  KeptChunks() { chunks.reserve(limit); }
  std::mutex mutex;
  std::size_t limit = kKeptChunks;  // with every KeepMore's chunks
  std::vector<Chunk*> chunks;       // room for `limit` at all times
};

KeptChunks& kept() noexcept {
  static KeptChunks* const chunks = new KeptChunks();  // lives to the end
  return *chunks;
}

void deleteChunk(Chunk* chunk) noexcept {
  void* raw = chunk->raw;
  chunk->~Chunk();
  ::operator delete(raw);
}

void freeChunk(Chunk* chunk) noexcept {
  if (chunk->bytes == ScanPointPool::kDefaultChunkBytes) {
    KeptChunks& k = kept();
    std::lock_guard<std::mutex> lock(k.mutex);
    if (k.chunks.size() < k.limit) {
      k.chunks.push_back(chunk);  // within the room reserved: no allocation
      return;
    }
  }
  deleteChunk(chunk);
}

// A chunk of `bytes` from the heap, aligned to a huge page, with one
// reference (the pool's).
Chunk* freshChunk(std::size_t bytes) {
  // Plain operator new, aligned by hand: the memory counts as the heap's
  // for whoever watches it. The part before the alignment is never touched;
  // the part after `bytes` is carved too.
  const std::size_t align = detail::kHugePageBytes;
  void* raw = ::operator new(bytes + align);
  const auto at = (reinterpret_cast<std::uintptr_t>(raw) + align - 1) &
                  ~std::uintptr_t(align - 1);
  unsigned char* end = static_cast<unsigned char*>(raw) + bytes + align;
  auto* memory = reinterpret_cast<unsigned char*>(at);
  // Before the first touch: the pages then come in whole.
  detail::adviseHugePages(memory, std::size_t(end - memory));
  Chunk* chunk = ::new (memory) Chunk();
  chunk->bytes = bytes;
  chunk->raw = raw;
  chunk->end = end;
  return chunk;
}

// The same, a kept one where there is one.
Chunk* newChunk(std::size_t bytes) {
  if (bytes == ScanPointPool::kDefaultChunkBytes) {
    KeptChunks& k = kept();
    std::lock_guard<std::mutex> lock(k.mutex);
    if (!k.chunks.empty()) {
      Chunk* chunk = k.chunks.back();
      k.chunks.pop_back();
      chunk->alive.store(1, std::memory_order_relaxed);
      return chunk;
    }
  }
  return freshChunk(bytes);
}

void release(Chunk* chunk) noexcept {
  if (chunk->alive.fetch_sub(1, std::memory_order_acq_rel) == 1) {
    freeChunk(chunk);
  }
}

}  // namespace

ScanPointPool::ScanPointPool(std::size_t chunkBytes) noexcept
    : _chunkBytes(roundUp(std::max(chunkBytes, kMinChunkBytes))) {}

ScanPointPool::~ScanPointPool() { retire(); }

void ScanPointPool::retire() noexcept {
  if (_chunk == nullptr) return;
  release(_chunk);
  _chunk = nullptr;
  _next = _end = nullptr;
}

void* ScanPointPool::allocate(std::size_t bytes) {
  if (bytes > _chunkBytes / 4) return allocateOnHeap(bytes);
  const std::size_t need = kFront + roundUp(bytes);
  if (_chunk == nullptr || std::size_t(_end - _next) < need) {
    Chunk* chunk = newChunk(_chunkBytes);
    retire();
    _chunk = chunk;
    _next = reinterpret_cast<unsigned char*>(chunk) + kChunkHead;
    _end = chunk->end;
  }
  _chunk->alive.fetch_add(1, std::memory_order_relaxed);
  unsigned char* raw = _next;
  _next += need;
  return stamp(raw, _chunk);
}

void ScanPointPool::releaseKept() noexcept {
  KeptChunks& k = kept();
  std::lock_guard<std::mutex> lock(k.mutex);
  for (Chunk* chunk : k.chunks) deleteChunk(chunk);
  k.chunks.clear();
}

std::size_t ScanPointPool::keptBytes() noexcept {
  KeptChunks& k = kept();
  std::lock_guard<std::mutex> lock(k.mutex);
  return k.chunks.size() * kDefaultChunkBytes;
}

std::size_t ScanPointPool::prepareKept(std::size_t bytes) {
  const std::size_t wanted = chunksFor(bytes);
  KeptChunks& k = kept();
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(k.mutex);
      if (k.chunks.size() >= std::min(wanted, k.limit)) {
        return k.chunks.size() * kDefaultChunkBytes;
      }
    }
    Chunk* chunk = freshChunk(kDefaultChunkBytes);
    // One write per page maps it; the system clears it on the way.
    auto* page = reinterpret_cast<unsigned char*>(chunk) + kChunkHead;
    for (; page < chunk->end; page += 4096) *page = 0;
    freeChunk(chunk);
  }
}

ScanPointPool::KeepMore::KeepMore(std::size_t bytes)
    : _chunks(chunksFor(bytes)) {
  KeptChunks& k = kept();
  std::lock_guard<std::mutex> lock(k.mutex);
  k.chunks.reserve(k.limit + _chunks);
  k.limit += _chunks;
}

ScanPointPool::KeepMore::~KeepMore() {
  KeptChunks& k = kept();
  std::lock_guard<std::mutex> lock(k.mutex);
  k.limit -= _chunks;
  for (; k.chunks.size() > k.limit; k.chunks.pop_back()) {
    deleteChunk(k.chunks.back());
  }
}

void* ScanPointPool::allocateOnHeap(std::size_t bytes) {
  if (bytes > SIZE_MAX - kFront) throw std::bad_alloc();
  return stamp(static_cast<unsigned char*>(::operator new(kFront + bytes)),
               nullptr);
}

void ScanPointPool::deallocate(void* memory) noexcept {
  if (memory == nullptr) return;
  unsigned char* raw = static_cast<unsigned char*>(memory) - kFront;
  Chunk* chunk;
  std::memcpy(&chunk, raw, sizeof chunk);
  if (chunk == nullptr) {
    ::operator delete(raw);
  } else {
    release(chunk);
  }
}

}  // namespace QUAX
