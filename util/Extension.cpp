// SPDX-License-Identifier: MIT
#include "util/Extension.h"

#include <memory>

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

ExtensionList::ExtensionList(const ExtensionList& other) : ExtensionInterface() {
  _items.reserve(other._items.size());
  try {
    for (const ExtensionItem* item : other._items) _items.push_back(item->clone());
  } catch (...) {
    clear();
    throw;
  }
}

ExtensionList& ExtensionList::operator=(const ExtensionList& other) {
  if (this != &other) {
    ExtensionList copy(other);  // clone first: a failure leaves *this intact
    _items.swap(copy._items);
  }
  return *this;
}

ExtensionList::~ExtensionList() { clear(); }

void ExtensionList::clear() noexcept {
  for (ExtensionItem* item : _items) delete item;
  _items.clear();
}

std::size_t ExtensionList::find(const _GUID& key) const noexcept {
  // Lists hold a handful of items: a linear scan beats any index.
  for (std::size_t i = 0; i < _items.size(); ++i) {
    if (guidEquals(_items[i]->_key, key)) return i;
  }
  return _items.size();
}

ExtensionItemHandle ExtensionList::findItem(std::size_t index) const {
  if (index >= _items.size()) throw EExtensionNotPresent();
  return ExtensionItemHandle(_items[index]);
}

ExtensionItemHandle ExtensionList::findItem(const _GUID& key) const {
  const std::size_t i = find(key);
  if (i == _items.size()) throw EExtensionNotPresent();
  return ExtensionItemHandle(_items[i]);
}

ExtensionItemHandle ExtensionList::addItem(ExtensionItem* item) {
  std::unique_ptr<ExtensionItem, ExtensionItemDeleter> owned(item);
  if (!owned) throw EExtensionNotPresent();
  const std::size_t i = find(owned->_key);
  if (i < _items.size()) {
    // Adding the very item the list already holds keeps it as it is.
    if (_items[i] != owned.get()) delete _items[i];
    _items[i] = owned.release();
    return ExtensionItemHandle(_items[i]);
  }
  _items.push_back(owned.get());
  return ExtensionItemHandle(owned.release());
}

void ExtensionList::removeItem(ExtensionItemHandle handle) {
  for (std::size_t i = 0; i < _items.size(); ++i) {
    if (_items[i] == handle.getBody()) {
      delete _items[i];
      _items.erase(_items.begin() + static_cast<std::ptrdiff_t>(i));
      return;
    }
  }
  throw EExtensionNotPresent();
}

void ExtensionList::removeItem(const _GUID& key) {
  const std::size_t i = find(key);
  if (i == _items.size()) throw EExtensionNotPresent();
  delete _items[i];
  _items.erase(_items.begin() + static_cast<std::ptrdiff_t>(i));
}

std::size_t ExtensionList::getIndex(const _GUID& key) const {
  const std::size_t i = find(key);
  if (i == _items.size()) throw EExtensionNotPresent();
  return i;
}

}  // namespace QUAX
