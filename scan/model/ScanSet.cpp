// SPDX-License-Identifier: MIT
#include "scan/model/ScanSet.h"

#include <stdexcept>

namespace QUAX {

template <class T>
_ScanSet<T>::~_ScanSet() {
  for (_ScanSurface<T>* surface : _surfaces) delete surface;
}

template <class T>
_ScanSurface<T>* _ScanSet<T>::getSurface(std::size_t i) const {
  if (i >= _surfaces.size()) throw std::out_of_range("scan surface index");
  return _surfaces[i];
}

template <class T>
void _ScanSet<T>::addSurface(std::unique_ptr<_ScanSurface<T>> surface) {
  if (!surface) return;
  _surfaces.push_back(surface.get());
  surface.release();
}

template <class T>
std::uint32_t _ScanSet<T>::forEachPoint(const PointCallback& callback,
                                        _ScanVisit<T>& visit) {
  std::uint32_t visited = 0;
  for (_ScanSurface<T>* surface : _surfaces) {
    visited += surface->forEachPoint(callback, visit);
  }
  visit.currentPoint = nullptr;
  return visited;
}

template class _ScanSet<double>;

}  // namespace QUAX
