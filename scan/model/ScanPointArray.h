// SPDX-License-Identifier: MIT
// Ordered point storage of a scan line and of the filters' working buffers.
#ifndef QUAX_SCAN_MODEL_SCANPOINTARRAY_H_
#define QUAX_SCAN_MODEL_SCANPOINTARRAY_H_

#include <cstddef>
#include <vector>

#include "scan/model/ScanPoint.h"
#include "scan/model/ScanPointPool.h"

namespace QUAX {

// Slots point to the points in order. An array starts in per-point mode,
// where each slot owns a point allocated for it alone. reserveBlock()
// switches it for good to block mode: the points then live contiguously in
// one block and slot i always points to block element i, so copies of lines
// and the filters' buffers allocate their points at once.
//
// Invariants: in block mode the slot and block sizes are equal and every slot
// is bound to its element; no slot ever points to a destroyed point.
//
// Failures: reserveBlock, resize and pushBack change nothing when they throw
// (std::bad_alloc, std::length_error). assignPoints assigns point by point;
// if one throws, the points before it are already assigned.
//
// Thread safety: none; the array is guarded by the owner of its line.
template <class T>
class QUAX_SCAN_API _ScanPointArray {
 public:
  using Point = _ScanPoint<T>;

  _ScanPointArray() noexcept = default;
  _ScanPointArray(const _ScanPointArray&) = delete;
  _ScanPointArray& operator=(const _ScanPointArray&) = delete;
  ~_ScanPointArray();

  std::size_t size() const noexcept { return _slots.size(); }
  bool empty() const noexcept { return _slots.empty(); }
  bool ownsBlock() const noexcept { return _ownsBlock; }
  // Slot i, unchecked.
  Point* operator[](std::size_t i) const noexcept { return _slots[i]; }
  // Slot i; std::out_of_range past the end.
  Point* at(std::size_t i) const;
  Point* const* data() const noexcept { return _slots.data(); }

  // Switches an empty array to block mode with n default points (n = 0 does
  // nothing). A non-empty array throws std::logic_error.
  void reserveBlock(std::size_t n);
  // The same with the block (and its slots) carved from `pool`; later
  // growth of the array takes heap memory, as without a pool.
  void reserveBlock(std::size_t n, ScanPointPool& pool);
  // Switches an empty array to block mode with n points at the positions
  // that n calls of `next()` return in order (a _GeoPoint<T>), each point
  // made in place in one pass; from `pool` when one is given. A non-empty
  // array throws std::logic_error; when `next` throws, the array is left
  // as it was.
  template <class Next>
  void makeBlock(std::size_t n, Next&& next, ScanPointPool* pool = nullptr) {
    if (n == 0) return;
    Block block = startBlock(n, pool);
    for (std::size_t i = 0; i < n; ++i) block.emplace_back(next());
    adoptBlock(block);
  }
  // Switches an empty array to block mode holding copies of `source`'s
  // points (positions and extension items), as reserveBlock followed by
  // assignPoints would, in one pass: each point is copied into place rather
  // than made and then assigned. A non-empty array throws std::logic_error;
  // a failed copy leaves the array as it was.
  void copyBlock(const _ScanPointArray& source);
  // Cuts or grows to n points; new points are default points. Keeps the
  // storage mode. Throws std::length_error ("vector<T> too long") beyond the
  // array limit.
  void resize(std::size_t n);
  // Removes the points of slots [first, last); later points move down.
  // std::out_of_range for a range outside the array.
  void erase(std::size_t first, std::size_t last);
  // Assigns point i from source point i for every slot of this array
  // (position and extension items). The source must hold at least as many
  // points (std::out_of_range otherwise).
  void assignPoints(const _ScanPointArray& source);
  // Appends a copy of `point`.
  void pushBack(const Point& point);
  // In block mode, when the block has room for more points than it holds
  // (a line a filter has cut): moves the points, with their items and in
  // order, into a block of their own size from the heap and gives the old
  // one back to where it came from (a pool's chunk, which can then serve new
  // lines, or the heap). Returns true when it moved them: pointers to the
  // points taken before are then stale. Does nothing otherwise. Throws
  // std::bad_alloc, leaving the array as it was.
  bool shrinkToFit();

 private:
  using Block = std::vector<Point, ScanPointAllocator<Point>>;
  using Slots = std::vector<Point*, ScanPointAllocator<Point*>>;

  void checkLength(std::size_t n) const;
  void reserveSlots(std::size_t n);
  void bindSlots(std::size_t from) noexcept;
  // An empty block with room for n points and the slots' room for them,
  // from `pool` when given. Throws as reserveBlock does.
  Block startBlock(std::size_t n, ScanPointPool* pool);
  // Takes `block` (filled by startBlock's caller) and binds the slots.
  void adoptBlock(Block& block) noexcept;

  Slots _slots;
  Block _block;
  bool _ownsBlock = false;
};

QUAX_SCAN_EXTERN_TEMPLATE(class _ScanPointArray<double>)

}  // namespace QUAX

#endif  // QUAX_SCAN_MODEL_SCANPOINTARRAY_H_
