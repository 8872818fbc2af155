// SPDX-License-Identifier: MIT
#include "scan/model/ScanContainer.h"

#include "geomath/MathErrors.h"
#include "scan/model/ScanTransformHistory.h"
#include "util/VXException.h"

namespace QUAX {
namespace {

// The per-point step of transform(): moves each visited point by the
// transform recorded last. It is looked up once for the whole walk instead
// of once per point; the result is the same, and the validity test still
// happens at the first point, so an empty container records m without
// throwing and an invalid m moves no point.
template <class T>
struct TransformWalk {
  _MathMatrix<T> transform;
  bool checked = false;

  void movePoint(_ScanVisit<T>& visit) {
    if (!checked) {
      if (!transform.isValid()) throw EMathSingularMatrix();
      checked = true;
    }
    _ScanPoint<T>& p = *visit.currentPoint;
    const _MathVector<T> moved = transform.applyToPosition(p.position().toVector());
    p.setPosition(moved.x(), moved.y(), moved.z());
  }
};

}  // namespace

template <class T>
_ScanContainer<T>::_ScanContainer() {
  setProxy(&_extensionList);
}

template <class T>
_ScanContainer<T>::_ScanContainer(const _ScanContainer& other)
    : ExtensionInterface(other), _extensionList(other._extensionList) {
  setProxy(&_extensionList);
}

template <class T>
_ScanContainer<T>& _ScanContainer<T>::operator=(const _ScanContainer& other) {
  if (this != &other) _extensionList = other._extensionList;
  return *this;
}

template <class T>
_ScanContainer<T>::~_ScanContainer() = default;

template <class T>
void _ScanContainer<T>::transform(const _MathMatrix<T>& m) {
  const _GUID& key = ScanTransformHistory<T>::getScanTransformHistoryKey();
  ScanTransformHistory<T>* history = nullptr;
  try {
    history = static_cast<ScanTransformHistory<T>*>(findItem(key).getBody());
    history->applyTransform(m);
  } catch (const EExtensionNotPresent&) {
    auto* created = new ScanTransformHistory<T>();
    try {
      created->applyTransform(m);
    } catch (...) {
      delete created;
      throw;
    }
    history = static_cast<ScanTransformHistory<T>*>(addItem(created).getBody());
  } catch (const EExtensionNoImplementation&) {
    // No item store: nothing is recorded and points move by the identity.
  }

  TransformWalk<T> walk{history ? history->getLastTransform() : _MathMatrix<T>()};
  _ScanVisit<T> visit;
  forEachPoint(PointCallback(walk, &TransformWalk<T>::movePoint), visit);
}

template class _ScanContainer<double>;

}  // namespace QUAX
