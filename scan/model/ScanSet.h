// SPDX-License-Identifier: MIT
// A scan set: a collection of surfaces.
#ifndef QUAX_SCAN_MODEL_SCANSET_H_
#define QUAX_SCAN_MODEL_SCANSET_H_

#include <memory>
#include <vector>

#include "scan/model/ScanSurface.h"

namespace QUAX {

// A set owns its surfaces. It carries no lock of its own: its surfaces are
// synchronised, the set's surface list is changed by one thread only.
template <class T>
class QUAX_SCAN_API _ScanSet : public _ScanContainer<T> {
 public:
  using PointCallback = typename _ScanContainer<T>::PointCallback;

  _ScanSet() = default;
  // Not copyable, as its surfaces are not.
  _ScanSet(const _ScanSet&) = delete;
  _ScanSet& operator=(const _ScanSet&) = delete;
  ~_ScanSet() override;

  std::size_t getSurfaceCount() const noexcept { return _surfaces.size(); }
  // Surface i; std::out_of_range past the end.
  _ScanSurface<T>* getSurface(std::size_t i) const;
  // Appends a surface, which the set then owns; a null one is ignored.
  void addSurface(std::unique_ptr<_ScanSurface<T>> surface);

  // Visits the points of every surface in order.
  std::uint32_t forEachPoint(const PointCallback& callback,
                             _ScanVisit<T>& visit) override;

 private:
  std::vector<_ScanSurface<T>*> _surfaces;
};

QUAX_SCAN_EXTERN_TEMPLATE(class _ScanSet<double>)

using ScanSet = _ScanSet<double>;

}  // namespace QUAX

#endif  // QUAX_SCAN_MODEL_SCANSET_H_
