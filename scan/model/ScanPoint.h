// SPDX-License-Identifier: MIT
// One measured 3-D point of a laser line, with optional extension items.
#ifndef QUAX_SCAN_MODEL_SCANPOINT_H_
#define QUAX_SCAN_MODEL_SCANPOINT_H_

#include <utility>

#include "geomath/GeoPoint.h"
#include "scan/ScanTemplates.h"
#include "scan/model/ScanPointPool.h"
#include "util/Extension.h"

namespace QUAX {

// A point owns its extension list, which is made on demand: a new point has
// none, and lookups on it report EExtensionNoImplementation until
// createExtensionList() (or copying a point that has items) gives it one.
//
// Thread safety: none; a point is guarded by the owner of its container.
template <class T>
class QUAX_SCAN_API _ScanPoint : public ExtensionInterface {
 public:
  // User-provided, so that a block of new points is not zeroed before its
  // members are set.
  _ScanPoint() noexcept {}
  _ScanPoint(T x, T y, T z) noexcept : _position(x, y, z) {}
  explicit _ScanPoint(const _GeoPoint<T>& position) noexcept
      : _position(position) {}
  // Copies the position and gives the copy its own copy of the items.
  _ScanPoint(const _ScanPoint& other);
  // Takes the other point's items; the other point is left without any.
  _ScanPoint(_ScanPoint&& other) noexcept;
  // Copies the position; the items become a copy of the source's (none
  // when the source has none). Self-assignment does nothing. A failed copy
  // of the items (std::bad_alloc) leaves the point unchanged.
  _ScanPoint& operator=(const _ScanPoint& other);
  _ScanPoint& operator=(_ScanPoint&& other) noexcept;
  ~_ScanPoint() override;

  // Gives the point an extension list (a copy of `source`, or empty) unless
  // it has one already.
  void createExtensionList(const ExtensionList* source = nullptr);
  // Gives every point of points[0, n) that has no extension list an empty
  // one, all made in one heap block (freed with the last of them): what
  // createExtensionList() does point by point, for a line filled in bulk.
  static void createExtensionLists(_ScanPoint* const* points, std::size_t n);
  // The same with the lists' block carved from `pool`.
  static void createExtensionLists(_ScanPoint* const* points, std::size_t n,
                                   ScanPointPool& pool);
  // Deletes the extension lists of points[0, n), a run of points side by
  // side, in one sweep (ExtensionList::destroyMany): what their destructors
  // would do, for a block of points about to go. The points keep no list.
  static void destroyExtensionLists(_ScanPoint* points, std::size_t n) noexcept;
  bool hasExtensionList() const noexcept { return _extensionList != nullptr; }
  // The point's extension list, or null when it has none: for loops that
  // look up items of many points without exceptions.
  const ExtensionList* extensionList() const noexcept { return _extensionList; }

  // Gives the point an item of type X built from `args`, making its list
  // first when it has none, and returns it (owned by the list). An item
  // under the same key is replaced, as addItem does. Cheaper than addItem:
  // the first small item is built inside the list, in the same heap block.
  template <class X, class... Args>
  X* emplaceItem(Args&&... args) {
    createExtensionList();
    return _extensionList->emplaceItem<X>(std::forward<Args>(args)...);
  }

  _GeoPoint<T> getPosition() const { return _position; }
  // The position without a copy, for loops that only read it.
  const _GeoPoint<T>& position() const noexcept { return _position; }
  void setPosition(const _GeoPoint<T>& p) noexcept {
    _position.set(p.x(), p.y(), p.z());
  }
  void setPosition(T x, T y, T z) noexcept { _position.set(x, y, z); }

 private:
  static void giveLists(_ScanPoint* const* points, std::size_t n,
                        const ExtensionList::BlockMemory& memory);

  _GeoPoint<T> _position;
  ExtensionList* _extensionList = nullptr;
};

QUAX_SCAN_EXTERN_TEMPLATE(class _ScanPoint<double>)

using ScanPoint = _ScanPoint<double>;

}  // namespace QUAX

#endif  // QUAX_SCAN_MODEL_SCANPOINT_H_
