// SPDX-License-Identifier: MIT
#include "util/Extension.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>
#include <cstdint>
#include <memory>
#include <stdexcept>

#include "util/VXException.h"

namespace QUAX {

// ---- ExtensionItem ----------------------------------------------------------

ExtensionItem::ExtensionItem(const _GUID& key) noexcept : _key(key) {}
ExtensionItem::ExtensionItem(const ExtensionItem& other) noexcept
    : _key(other._key) {}
ExtensionItem::~ExtensionItem() = default;

bool ExtensionItem::isPersistable() const { return true; }

void ExtensionItemDeleter::operator()(ExtensionItem* item) const noexcept {
  delete item;
}

ExtensionItemHandle::~ExtensionItemHandle() { _body = nullptr; }

// ---- ExtensionInterface -----------------------------------------------------

ExtensionInterface::~ExtensionInterface() = default;

ExtensionInterface& ExtensionInterface::store() const {
  if (_proxy == nullptr || _proxy == this) throw EExtensionNoImplementation();
  return *_proxy;
}

ExtensionItemHandle ExtensionInterface::findItem(std::size_t index) const {
  return store().findItem(index);
}

ExtensionItemHandle ExtensionInterface::findItem(const _GUID& key) const {
  return store().findItem(key);
}

ExtensionItemHandle ExtensionInterface::addItem(ExtensionItem* item) {
  std::unique_ptr<ExtensionItem, ExtensionItemDeleter> owned(item);
  ExtensionInterface& target = store();
  return target.addItem(owned.release());
}

void ExtensionInterface::removeItem(ExtensionItemHandle handle) {
  store().removeItem(handle);
}

void ExtensionInterface::removeItem(const _GUID& key) { store().removeItem(key); }

std::size_t ExtensionInterface::getIndex(const _GUID& key) const {
  return store().getIndex(key);
}

// ---- ExtensionList ----------------------------------------------------------

namespace {

// The head of a block of lists made by createMany: how many of them live,
// and what frees the block (null: operator delete).
struct ListBlock {
  std::atomic<std::size_t> alive;
  void (*deallocate)(void*) noexcept;
};

void freeBlock(ListBlock* block) noexcept {
  void (*deallocate)(void*) noexcept = block->deallocate;
  block->~ListBlock();
  if (deallocate != nullptr) {
    deallocate(block);
  } else {
    ::operator delete(block);
  }
}
// The word in front of every list made with `new`: its ListBlock, or null.
constexpr std::size_t kFront = sizeof(ListBlock*);
constexpr std::size_t kStride = kFront + sizeof(ExtensionList);
static_assert(alignof(ExtensionList) <= kFront && kStride % kFront == 0 &&
                  sizeof(ListBlock) % alignof(ExtensionList) == 0,
              "lists after a front word stay aligned");

}  // namespace

void* ExtensionList::operator new(std::size_t size) {
  auto* raw = static_cast<unsigned char*>(::operator new(kFront + size));
  ListBlock* const none = nullptr;
  std::memcpy(raw, &none, sizeof none);
  return raw + kFront;
}

void ExtensionList::operator delete(void* list) noexcept {
  if (list == nullptr) return;
  unsigned char* raw = static_cast<unsigned char*>(list) - kFront;
  ListBlock* block;
  std::memcpy(&block, raw, sizeof block);
  if (block == nullptr) {
    ::operator delete(raw);
  } else if (block->alive.fetch_sub(1, std::memory_order_acq_rel) == 1) {
    freeBlock(block);
  }
}

void ExtensionList::createMany(std::size_t count, ExtensionList** out) {
  createMany(count, out, BlockMemory{nullptr, nullptr, nullptr});
}

void ExtensionList::createMany(std::size_t count, ExtensionList** out,
                               const BlockMemory& from) {
  if (count == 0) return;
  if (count > (SIZE_MAX - sizeof(ListBlock)) / kStride) throw std::bad_alloc();
  const std::size_t bytes = sizeof(ListBlock) + count * kStride;
  void* memory = from.allocate != nullptr ? from.allocate(from.context, bytes)
                                          : ::operator new(bytes);
  auto* block = ::new (memory) ListBlock{{count}, from.deallocate};
  unsigned char* at = static_cast<unsigned char*>(memory) + sizeof(ListBlock);
  for (std::size_t i = 0; i < count; ++i, at += kStride) {
    std::memcpy(at, &block, sizeof block);
    out[i] = ::new (static_cast<void*>(at + kFront)) ExtensionList();
  }
}

void ExtensionList::destroyMany(ExtensionList* const* lists,
                                std::size_t n) noexcept {
  ListBlock* block = nullptr;  // of the run of lists just ended
  std::size_t run = 0;
  const auto endRun = [&] {
    if (run > 0 && block->alive.fetch_sub(run, std::memory_order_acq_rel) == run) {
      freeBlock(block);
    }
    run = 0;
  };
  for (std::size_t i = 0; i < n; ++i) {
    ExtensionList* list = lists[i];
    if (list == nullptr) continue;
    list->ExtensionList::~ExtensionList();
    unsigned char* raw = reinterpret_cast<unsigned char*>(list) - kFront;
    ListBlock* owner;
    std::memcpy(&owner, raw, sizeof owner);
    if (owner == nullptr) {
      ::operator delete(raw);
      continue;
    }
    if (owner != block) {
      endRun();
      block = owner;
    }
    ++run;
  }
  endRun();
}

ExtensionList::ExtensionList(const ExtensionList& other) : ExtensionInterface() {
  try {
    reserveSlots(other._size);
    for (std::size_t i = 0; i < other._size; ++i) {
      _slots[i] = other._slots[i]->clone();
      ++_size;
    }
  } catch (...) {
    clear();
    throw;
  }
}

ExtensionList& ExtensionList::operator=(const ExtensionList& other) {
  if (this == &other) return *this;
  ExtensionList copy(other);  // clone first: a failure leaves *this intact
  clear();
  // The copy's items are all on the heap: only their pointers move.
  if (copy._slots == copy._localSlots) {
    std::copy(copy._localSlots, copy._localSlots + copy._size, _localSlots);
  } else {
    _slots = copy._slots;
    _capacity = copy._capacity;
    copy._slots = copy._localSlots;
    copy._capacity = kLocalSlots;
  }
  _size = copy._size;
  copy._size = 0;
  return *this;
}

ExtensionList::~ExtensionList() { clear(); }

void ExtensionList::destroy(ExtensionItem* item) noexcept {
  if (item == _inlineItem) {
    _inlineItem = nullptr;
    item->~ExtensionItem();
  } else {
    delete item;
  }
}

void ExtensionList::clear() noexcept {
  for (std::size_t i = 0; i < _size; ++i) destroy(_slots[i]);
  if (_slots != _localSlots) delete[] _slots;
  _slots = _localSlots;
  _capacity = kLocalSlots;
  _size = 0;
}

void ExtensionList::reserveSlots(std::size_t count) {
  if (count <= _capacity) return;
  if (count > UINT32_MAX / 2) throw std::length_error("vector<T> too long");
  const std::size_t capacity = std::max<std::size_t>(count, 2 * _capacity);
  auto* slots = new ExtensionItem*[capacity];
  std::copy(_slots, _slots + _size, slots);
  if (_slots != _localSlots) delete[] _slots;
  _slots = slots;
  _capacity = std::uint32_t(capacity);
}

void ExtensionList::eraseSlot(std::size_t i) noexcept {
  destroy(_slots[i]);
  std::copy(_slots + i + 1, _slots + _size, _slots + i);
  --_size;
}

void ExtensionList::adopt(ExtensionItem* item) {
  const std::size_t i = find(item->_key);
  if (i < _size) {
    // Adding the very item the list already holds keeps it as it is.
    if (_slots[i] != item) destroy(_slots[i]);
    _slots[i] = item;
    return;
  }
  try {
    reserveSlots(std::size_t(_size) + 1);
  } catch (...) {
    destroy(item);
    throw;
  }
  _slots[_size++] = item;
}

ExtensionItemHandle ExtensionList::findItem(std::size_t index) const {
  if (index >= _size) throw EExtensionNotPresent();
  return ExtensionItemHandle(_slots[index]);
}

ExtensionItemHandle ExtensionList::findItem(const _GUID& key) const {
  const std::size_t i = find(key);
  if (i == _size) throw EExtensionNotPresent();
  return ExtensionItemHandle(_slots[i]);
}

ExtensionItemHandle ExtensionList::addItem(ExtensionItem* item) {
  if (item == nullptr) throw EExtensionNotPresent();
  adopt(item);
  return ExtensionItemHandle(item);
}

void ExtensionList::removeItem(ExtensionItemHandle handle) {
  for (std::size_t i = 0; i < _size; ++i) {
    if (_slots[i] == handle.getBody()) {
      eraseSlot(i);
      return;
    }
  }
  throw EExtensionNotPresent();
}

void ExtensionList::removeItem(const _GUID& key) {
  const std::size_t i = find(key);
  if (i == _size) throw EExtensionNotPresent();
  eraseSlot(i);
}

std::size_t ExtensionList::getIndex(const _GUID& key) const {
  const std::size_t i = find(key);
  if (i == _size) throw EExtensionNotPresent();
  return i;
}

}  // namespace QUAX
