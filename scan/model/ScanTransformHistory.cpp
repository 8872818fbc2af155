// SPDX-License-Identifier: MIT
#include "scan/model/ScanTransformHistory.h"

#include "scan/ScanErrors.h"

namespace QUAX {

template <class T>
const _GUID& ScanTransformHistory<T>::getScanTransformHistoryKey() {
  static const _GUID key = {0x0A5F231D, 0x9CE6, 0x44B8,
                            {0x91, 0xDE, 0xA0, 0x1E, 0x95, 0x0D, 0xE0, 0x11}};
  return key;
}

template <class T>
ScanTransformHistory<T>::ScanTransformHistory()
    : ExtensionItem(getScanTransformHistoryKey()) {}

template <class T>
ScanTransformHistory<T>::ScanTransformHistory(const ScanTransformHistory& other)
    : ExtensionItem(other),
      _transforms(other._transforms),
      _totalTransform(other._totalTransform) {}

template <class T>
ScanTransformHistory<T>& ScanTransformHistory<T>::operator=(
    const ScanTransformHistory& other) {
  if (this != &other) {
    _transforms = other._transforms;
    _totalTransform = other._totalTransform;
  }
  return *this;
}

template <class T>
ScanTransformHistory<T>::~ScanTransformHistory() = default;

template <class T>
ExtensionItem* ScanTransformHistory<T>::create() {
  return new ScanTransformHistory();
}

template <class T>
ExtensionItem* ScanTransformHistory<T>::clone() const {
  return new ScanTransformHistory(*this);
}

template <class T>
void ScanTransformHistory<T>::applyTransform(_MathMatrix<T> m) {
  // The total changes only once the append has succeeded.
  _transforms.push_back(m);
  _totalTransform = m * _totalTransform;
}

template <class T>
_MathMatrix<T> ScanTransformHistory<T>::getLastTransform() const {
  if (_transforms.empty()) throw EScanTransformHistoryEmpty();
  return _transforms.back();
}

template <class T>
_MathMatrix<T> ScanTransformHistory<T>::getTotalTransform() const {
  return _totalTransform;
}

template <class T>
void ScanTransformHistory<T>::undoLastTransform() {
  if (_transforms.empty()) throw EScanTransformHistoryEmpty();
  const _MathMatrix<T> inverse = _transforms.back().inverse();
  _transforms.pop_back();
  _totalTransform = inverse * _totalTransform;
}

template class ScanTransformHistory<double>;

}  // namespace QUAX
