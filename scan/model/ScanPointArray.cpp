// SPDX-License-Identifier: MIT
#include "scan/model/ScanPointArray.h"

#include <algorithm>
#include <memory>
#include <stdexcept>

namespace QUAX {

template <class T>
_ScanPointArray<T>::~_ScanPointArray() {
  if (_ownsBlock) Point::destroyExtensionLists(_block.data(), _block.size());
  erase(0, _slots.size());
}

template <class T>
typename _ScanPointArray<T>::Point* _ScanPointArray<T>::at(std::size_t i) const {
  if (i >= _slots.size()) throw std::out_of_range("scan point index");
  return _slots[i];
}

template <class T>
void _ScanPointArray<T>::checkLength(std::size_t n) const {
  if (n > _slots.max_size() || (_ownsBlock && n > _block.max_size())) {
    throw std::length_error("vector<T> too long");
  }
}

template <class T>
void _ScanPointArray<T>::reserveSlots(std::size_t n) {
  // Grows geometrically: reserving exactly n would reallocate the slots on
  // every pushBack and make filling a line point by point quadratic.
  const std::size_t capacity = _slots.capacity();
  if (n <= capacity) return;
  const std::size_t limit = _slots.max_size();
  _slots.reserve(std::max(n, capacity > limit / 2 ? limit : 2 * capacity));
}

template <class T>
void _ScanPointArray<T>::bindSlots(std::size_t from) noexcept {
  for (std::size_t i = from; i < _slots.size(); ++i) _slots[i] = &_block[i];
}

template <class T>
typename _ScanPointArray<T>::Block _ScanPointArray<T>::startBlock(
    std::size_t n, ScanPointPool* pool) {
  if (!_slots.empty()) {
    throw std::logic_error("a new point block needs an empty point array");
  }
  if (n > _block.max_size()) throw std::length_error("vector<T> too long");
  // Slots first: the block then takes the memory right after them.
  Slots slots{ScanPointAllocator<Point*>(pool)};
  slots.reserve(n);
  Block block{ScanPointAllocator<Point>(pool)};
  block.reserve(n);
  // Allocators compare equal: the slots keep the memory, not the pool.
  _slots = std::move(slots);
  return block;
}

template <class T>
void _ScanPointArray<T>::adoptBlock(Block& block) noexcept {
  _block = std::move(block);
  _ownsBlock = true;
  _slots.resize(_block.size());  // cannot fail: the capacity is there
  bindSlots(0);
}

template <class T>
void _ScanPointArray<T>::reserveBlock(std::size_t n) {
  if (n == 0) return;
  Block block = startBlock(n, nullptr);
  block.resize(n);
  adoptBlock(block);
}

template <class T>
void _ScanPointArray<T>::reserveBlock(std::size_t n, ScanPointPool& pool) {
  if (n == 0) return;
  Block block = startBlock(n, &pool);
  block.resize(n);
  adoptBlock(block);
}

template <class T>
void _ScanPointArray<T>::copyBlock(const _ScanPointArray& source) {
  const std::size_t n = source._slots.size();
  if (n == 0) return;
  if (!_slots.empty()) {
    throw std::logic_error("copyBlock needs an empty point array");
  }
  Block block = startBlock(n, nullptr);
  for (const Point* point : source._slots) block.push_back(*point);
  adoptBlock(block);
}

template <class T>
void _ScanPointArray<T>::resize(std::size_t n) {
  checkLength(n);
  const std::size_t old = _slots.size();
  if (_ownsBlock) {
    // Slots first: growing them cannot fail once the block has grown.
    reserveSlots(n);
    const Point* before = _block.data();
    _block.resize(n);
    _slots.resize(n);
    bindSlots(_block.data() == before ? old : 0);
    return;
  }
  if (n <= old) {
    for (std::size_t i = n; i < old; ++i) delete _slots[i];
    _slots.resize(n);
    return;
  }
  reserveSlots(n);
  try {
    for (std::size_t i = old; i < n; ++i) _slots.push_back(new Point());
  } catch (...) {
    // A point that cannot be made undoes the ones made before it.
    for (std::size_t i = old; i < _slots.size(); ++i) delete _slots[i];
    _slots.resize(old);
    throw;
  }
}

template <class T>
void _ScanPointArray<T>::erase(std::size_t first, std::size_t last) {
  if (first > last || last > _slots.size()) {
    throw std::out_of_range("scan point range");
  }
  if (first == last) return;
  const auto slotFirst = _slots.begin() + static_cast<std::ptrdiff_t>(first);
  const auto slotLast = _slots.begin() + static_cast<std::ptrdiff_t>(last);
  if (_ownsBlock) {
    _block.erase(_block.begin() + static_cast<std::ptrdiff_t>(first),
                 _block.begin() + static_cast<std::ptrdiff_t>(last));
    _slots.erase(slotFirst, slotLast);
    bindSlots(first);
    return;
  }
  for (auto it = slotFirst; it != slotLast; ++it) delete *it;
  _slots.erase(slotFirst, slotLast);
}

template <class T>
void _ScanPointArray<T>::assignPoints(const _ScanPointArray& source) {
  if (source._slots.size() < _slots.size()) {
    throw std::out_of_range("source holds fewer points");
  }
  for (std::size_t i = 0; i < _slots.size(); ++i) {
    if (_slots[i] != source._slots[i]) *_slots[i] = *source._slots[i];
  }
}

template <class T>
void _ScanPointArray<T>::pushBack(const Point& point) {
  if (_ownsBlock) {
    Point copy(point);  // `point` may live in our own block
    resize(_slots.size() + 1);
    *_slots.back() = std::move(copy);
    return;
  }
  checkLength(_slots.size() + 1);
  std::unique_ptr<Point> copy(new Point(point));
  _slots.push_back(copy.get());
  copy.release();
}

template <class T>
bool _ScanPointArray<T>::shrinkToFit() {
  if (!_ownsBlock || _block.size() == _block.capacity()) return false;
  const std::size_t n = _block.size();
  Slots slots;
  slots.reserve(n);
  Block block;
  block.reserve(n);
  // Moves cannot throw, nor can filling the reserved room.
  for (Point& point : _block) block.push_back(std::move(point));
  slots.resize(n);
  // The moved-from points (without items now) and the old memory go here.
  _block.swap(block);
  _slots.swap(slots);
  bindSlots(0);
  return true;
}

template class _ScanPointArray<double>;

}  // namespace QUAX
