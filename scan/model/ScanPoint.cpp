// SPDX-License-Identifier: MIT
#include "scan/model/ScanPoint.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace QUAX {

template <class T>
_ScanPoint<T>::_ScanPoint(const _ScanPoint& other)
    : ExtensionInterface(other), _position(other._position) {
  if (other._extensionList != nullptr) {
    _extensionList = new ExtensionList(*other._extensionList);
    setProxy(_extensionList);
  }
}

template <class T>
_ScanPoint<T>::_ScanPoint(_ScanPoint&& other) noexcept
    : ExtensionInterface(), _position(other._position),
      _extensionList(std::exchange(other._extensionList, nullptr)) {
  other.setProxy(nullptr);
  setProxy(_extensionList);
}

template <class T>
_ScanPoint<T>& _ScanPoint<T>::operator=(const _ScanPoint& other) {
  if (this == &other) return *this;
  // Items before the position: when copying them fails, the point is left
  // as it was (the list's own assignment changes nothing when it fails).
  if (other._extensionList == nullptr) {
    delete _extensionList;
    _extensionList = nullptr;
    setProxy(nullptr);
  } else if (_extensionList != nullptr) {
    *_extensionList = *other._extensionList;
  } else {
    _extensionList = new ExtensionList(*other._extensionList);
    setProxy(_extensionList);
  }
  _position = other._position;
  return *this;
}

template <class T>
_ScanPoint<T>& _ScanPoint<T>::operator=(_ScanPoint&& other) noexcept {
  if (this == &other) return *this;
  _position = other._position;
  delete _extensionList;
  _extensionList = std::exchange(other._extensionList, nullptr);
  other.setProxy(nullptr);
  setProxy(_extensionList);
  return *this;
}

template <class T>
_ScanPoint<T>::~_ScanPoint() {
  delete _extensionList;
}

template <class T>
void _ScanPoint<T>::createExtensionList(const ExtensionList* source) {
  if (_extensionList != nullptr) return;
  _extensionList = source ? new ExtensionList(*source) : new ExtensionList();
  setProxy(_extensionList);
}

namespace {

void* carve(void* pool, std::size_t bytes) {
  return static_cast<ScanPointPool*>(pool)->allocate(bytes);
}

}  // namespace

template <class T>
void _ScanPoint<T>::giveLists(_ScanPoint* const* points, std::size_t n,
                              const ExtensionList::BlockMemory& memory) {
  std::size_t bare = 0;
  for (std::size_t i = 0; i < n; ++i) bare += !points[i]->_extensionList;
  std::vector<ExtensionList*> lists(bare);
  ExtensionList::createMany(bare, lists.data(), memory);
  // In block order, so that loops along the line walk the lists forwards.
  std::size_t next = 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (points[i]->_extensionList != nullptr) continue;
    points[i]->_extensionList = lists[next++];
    points[i]->setProxy(points[i]->_extensionList);
  }
}

template <class T>
void _ScanPoint<T>::createExtensionLists(_ScanPoint* const* points,
                                         std::size_t n) {
  giveLists(points, n, ExtensionList::BlockMemory{nullptr, nullptr, nullptr});
}

template <class T>
void _ScanPoint<T>::createExtensionLists(_ScanPoint* const* points,
                                         std::size_t n, ScanPointPool& pool) {
  giveLists(points, n,
            ExtensionList::BlockMemory{&carve, &ScanPointPool::deallocate, &pool});
}

template <class T>
void _ScanPoint<T>::destroyExtensionLists(_ScanPoint* points,
                                          std::size_t n) noexcept {
  // Points without a list are only looked at: a line without items is
  // read once here and written nowhere.
  ExtensionList* lists[256];
  std::size_t count = 0;
  for (std::size_t i = 0; i < n; ++i) {
    _ScanPoint& point = points[i];
    if (point._extensionList == nullptr) continue;
    lists[count++] = std::exchange(point._extensionList, nullptr);
    point.setProxy(nullptr);
    if (count == 256) {
      ExtensionList::destroyMany(lists, count);
      count = 0;
    }
  }
  if (count > 0) ExtensionList::destroyMany(lists, count);
}

template class _ScanPoint<double>;

}  // namespace QUAX
