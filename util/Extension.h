// SPDX-License-Identifier: MIT
// Extension items: typed records filed under a GUID key in a list owned by
// the object that carries them (a point, a container, a gray image).
#ifndef QUAX_UTIL_EXTENSION_H_
#define QUAX_UTIL_EXTENSION_H_

#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>
#include <utility>

#include "util/Guid.h"
#include "util/QUAXUtilExport.h"

namespace QUAX {

// Base of every extension item. An item keeps the key it was built with for
// its whole life; copies carry the same key. Items are owned by exactly one
// ExtensionList once added, which deletes them (the destructor is protected
// so that nobody else deletes an item through the base).
class QUAX_UTIL_API ExtensionItem {
 public:
  // Whether the item may be stored with its holder. Every item is, unless a
  // derived class says otherwise.
  virtual bool isPersistable() const;
  // A new exact copy of the item, owned by the caller.
  virtual ExtensionItem* clone() const = 0;

  const _GUID& getKey() const noexcept { return _key; }

 protected:
  explicit ExtensionItem(const _GUID& key) noexcept;
  ExtensionItem(const ExtensionItem& other) noexcept;
  // Items keep their key: assignment copies nothing of the base.
  ExtensionItem& operator=(const ExtensionItem&) noexcept { return *this; }
  virtual ~ExtensionItem();

 private:
  friend class ExtensionList;
  friend struct ExtensionItemDeleter;

  _GUID _key;
};

// Deletes an item that was never added to a list (for std::unique_ptr).
struct QUAX_UTIL_API ExtensionItemDeleter {
  void operator()(ExtensionItem* item) const noexcept;
};

// What the find and add operations return: a non-owning reference to an item
// that stays owned by its list. It is valid until the item is removed or its
// list is destroyed.
class QUAX_UTIL_API ExtensionItemHandle {
 public:
  ExtensionItemHandle() noexcept = default;
  explicit ExtensionItemHandle(ExtensionItem* body) noexcept : _body(body) {}
  ExtensionItemHandle(const ExtensionItemHandle&) noexcept = default;
  ExtensionItemHandle& operator=(const ExtensionItemHandle&) noexcept = default;
  ~ExtensionItemHandle();

  ExtensionItem* getBody() const noexcept { return _body; }

 private:
  ExtensionItem* _body = nullptr;
};

// Abstract carrier of extension items. The operations act on the items of the
// proxy, the interface that really keeps them; without a proxy they throw
// EExtensionNoImplementation. A missing key or index throws
// EExtensionNotPresent.
class QUAX_UTIL_API ExtensionInterface {
 public:
  virtual ~ExtensionInterface();

  virtual ExtensionItemHandle findItem(std::size_t index) const;
  virtual ExtensionItemHandle findItem(const _GUID& key) const;
  // Takes ownership of `item` (also when it throws). An item already filed
  // under the same key is replaced and deleted, unless it is `item` itself.
  virtual ExtensionItemHandle addItem(ExtensionItem* item);
  virtual void removeItem(ExtensionItemHandle handle);
  virtual void removeItem(const _GUID& key);
  virtual std::size_t getIndex(const _GUID& key) const;

 protected:
  ExtensionInterface() noexcept = default;
  // A copy starts without a proxy: the proxy belongs to the object, not to
  // what it was copied from.
  ExtensionInterface(const ExtensionInterface&) noexcept {}
  ExtensionInterface& operator=(const ExtensionInterface&) noexcept {
    return *this;
  }

  void setProxy(ExtensionInterface* target) noexcept { _proxy = target; }
  ExtensionInterface* getProxy() const noexcept { return _proxy; }

 private:
  ExtensionInterface& store() const;

  ExtensionInterface* _proxy = nullptr;
};

// The extension interface that owns its items. Copies clone every item; a
// failed copy or assignment (std::bad_alloc from a clone) leaves the target
// as it was.
//
// A list keeps up to two item pointers and one small item (emplaceItem) in
// itself, so that a point with a gray sum costs one heap block, not three.
// Items built there are owned, found, replaced and removed exactly like
// the others; only their memory differs.
//
// Thread safety: none; a list is guarded with the object that carries it.
class QUAX_UTIL_API ExtensionList : public ExtensionInterface {
 public:
  // The largest item built inside the list: a vtable pointer, the key and
  // 8 bytes of payload (every point item of the scan library fits).
  static constexpr std::size_t kInlineItemBytes = 32;
  static constexpr std::size_t kInlineItemAlign =
      alignof(double) > alignof(void*) ? alignof(double) : alignof(void*);

  // User-provided, so that `new ExtensionList()` builds the members below
  // without first zeroing the whole list (its inline bytes stay raw).
  ExtensionList() noexcept {}
  ExtensionList(const ExtensionList& other);

  // Lists made with `new` carry one word in front of them, which names the
  // block they share with other lists (createMany) or is null.
  static void* operator new(std::size_t size);
  static void* operator new(std::size_t, void* where) noexcept { return where; }
  static void operator delete(void* list) noexcept;
  static void operator delete(void*, void*) noexcept {}
  // Makes `count` empty lists in one heap block and stores them in `out`.
  // Each is deleted with `delete`, as any list made with `new`; the block is
  // freed with the last of them, whichever thread deletes it.
  static void createMany(std::size_t count, ExtensionList** out);
  // Where createMany takes the block from: `allocate(context, bytes)` gives
  // memory aligned for a pointer or throws std::bad_alloc; `deallocate`
  // frees it when the last list of the block goes, on whichever thread.
  // Null functions mean the heap.
  struct BlockMemory {
    void* (*allocate)(void* context, std::size_t bytes);
    void (*deallocate)(void* memory) noexcept;
    void* context;
  };
  // createMany with the block from `memory`.
  static void createMany(std::size_t count, ExtensionList** out,
                         const BlockMemory& memory);
  // Deletes lists[0, n) (null entries skipped) as `delete` would, lists made
  // together giving back their block with one count rather than one each.
  // REQUIRES: each list was made by `new ExtensionList` or createMany (no
  // derived class).
  static void destroyMany(ExtensionList* const* lists, std::size_t n) noexcept;

  ExtensionList& operator=(const ExtensionList& other);
  ~ExtensionList() override;

  ExtensionItemHandle findItem(std::size_t index) const override;
  ExtensionItemHandle findItem(const _GUID& key) const override;
  ExtensionItemHandle addItem(ExtensionItem* item) override;
  void removeItem(ExtensionItemHandle handle) override;
  void removeItem(const _GUID& key) override;
  std::size_t getIndex(const _GUID& key) const override;

  std::size_t size() const noexcept { return _size; }
  bool empty() const noexcept { return _size == 0; }

  // The item filed under `key`, or null: a lookup for loops over many
  // holders, where a missing item is common and no exception is wanted.
  ExtensionItem* findItemIfPresent(const _GUID& key) const noexcept {
    const std::size_t i = find(key);
    return i < _size ? _slots[i] : nullptr;
  }

  // Builds an X from `args` and files it as addItem(new X(args...)) would:
  // an item under the same key is replaced. The list owns the result. The
  // first small item lives inside the list, the others on the heap.
  template <class X, class... Args>
  X* emplaceItem(Args&&... args) {
    static_assert(std::is_base_of<ExtensionItem, X>::value,
                  "lists hold extension items");
    if constexpr (sizeof(X) <= kInlineItemBytes &&
                  alignof(X) <= kInlineItemAlign) {
      if (_inlineItem == nullptr) {
        X* item = ::new (static_cast<void*>(_inlineBytes))
            X(std::forward<Args>(args)...);
        _inlineItem = item;
        file(item);
        return item;
      }
    }
    X* item = new X(std::forward<Args>(args)...);
    file(item);
    return item;
  }

 private:
  static constexpr std::uint32_t kLocalSlots = 2;

  void clear() noexcept;
  // Index of `key`, or size() when absent. Lists hold a handful of items:
  // a linear scan beats any index.
  std::size_t find(const _GUID& key) const noexcept {
    std::size_t i = 0;
    while (i < _size && !guidEquals(_slots[i]->_key, key)) ++i;
    return i;
  }
  // Files an item the list already owns (replacing one under its key);
  // destroys it when that fails.
  void adopt(ExtensionItem* item);
  // adopt(), with the common case inline: a new key and room for it.
  void file(ExtensionItem* item) {
    if (_size < _capacity && find(item->_key) == _size) {
      _slots[_size++] = item;
    } else {
      adopt(item);
    }
  }
  // Deletes a heap item, or ends the life of the one inside the list.
  void destroy(ExtensionItem* item) noexcept;
  void eraseSlot(std::size_t i) noexcept;
  void reserveSlots(std::size_t count);

  ExtensionItem** _slots = _localSlots;
  std::uint32_t _size = 0;
  std::uint32_t _capacity = kLocalSlots;
  ExtensionItem* _localSlots[kLocalSlots] = {};
  ExtensionItem* _inlineItem = nullptr;  // built in _inlineBytes, or null
  alignas(kInlineItemAlign) unsigned char _inlineBytes[kInlineItemBytes];
};

}  // namespace QUAX

#endif  // QUAX_UTIL_EXTENSION_H_
