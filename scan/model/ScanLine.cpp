// SPDX-License-Identifier: MIT
#include "scan/model/ScanLine.h"

namespace QUAX {

template <class T, class P>
_ScanLine<T, P>::_ScanLine(const _ScanLine& other)
    : _ScanContainer<T>(other), _lineFlag(other._lineFlag) {
  _points.copyBlock(other._points);
}

template <class T, class P>
_ScanLine<T, P>& _ScanLine<T, P>::operator=(const _ScanLine& other) {
  if (this == &other) return *this;
  _ScanContainer<T>::operator=(other);
  _points.erase(0, _points.size());
  _points.resize(other._points.size());
  _points.assignPoints(other._points);
  _lineFlag = other._lineFlag;
  return *this;
}

template <class T, class P>
_ScanLine<T, P>::~_ScanLine() = default;

template <class T, class P>
std::uint32_t _ScanLine<T, P>::forEachPoint(const PointCallback& callback,
                                            _ScanVisit<T>& visit) {
  // At most the points there were at the start, and never past the current
  // end: a callback that cuts the line ends the walk early instead of
  // visiting released points.
  const std::size_t n = _points.size();
  std::size_t i = 0;
  for (; i < n && i < _points.size(); ++i) {
    visit.currentPoint = _points[i];
    callback(visit);
  }
  visit.currentPoint = nullptr;
  return static_cast<std::uint32_t>(i);
}

template class _ScanLine<double, _ScanPoint<double>>;

}  // namespace QUAX
