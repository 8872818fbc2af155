// SPDX-License-Identifier: MIT
// A scan line: the ordered points of one camera image of the laser line.
#ifndef QUAX_SCAN_MODEL_SCANLINE_H_
#define QUAX_SCAN_MODEL_SCANLINE_H_

#include <cstddef>

#include "scan/model/ScanContainer.h"
#include "scan/model/ScanPointArray.h"

namespace QUAX {

// Points are kept in a _ScanPointArray in the order along the laser line.
// Copies keep their points in one block and bring each point's items along.
// The line flag travels with the line; the library never tests it.
//
// Thread safety: none; a line is read and changed by one thread at a time.
template <class T, class P = _ScanPoint<T>>
class QUAX_SCAN_API _ScanLine : public _ScanContainer<T> {
 public:
  using PointCallback = typename _ScanContainer<T>::PointCallback;

  _ScanLine() = default;
  // Copies the items, then the points into one block.
  _ScanLine(const _ScanLine& other);
  // Copies the items and the points; the destination keeps its storage mode.
  _ScanLine& operator=(const _ScanLine& other);
  ~_ScanLine() override;

  // Visits the points in line order. A callback that cuts the line ends the
  // walk at the new end; points appended meanwhile are not visited.
  std::uint32_t forEachPoint(const PointCallback& callback,
                             _ScanVisit<T>& visit) override;

  std::size_t getPointCount() const noexcept { return _points.size(); }
  // Point i, unchecked (i < getPointCount()).
  P* getPoint(std::size_t i) const noexcept { return _points[i]; }
  // Point i; std::out_of_range past the end.
  P* at(std::size_t i) const { return _points.at(i); }
  // Cuts or grows the line; new points are at (0, 0, 0).
  void resize(std::size_t n) { _points.resize(n); }
  // Removes points [first, last).
  void erase(std::size_t first, std::size_t last) { _points.erase(first, last); }
  void appendPoint(const _GeoPoint<T>& position) { _points.pushBack(P(position)); }
  // Appends a copy of `point` with its items.
  void appendPoint(const P& point) { _points.pushBack(point); }

  _ScanPointArray<T>& getPoints() noexcept { return _points; }
  const _ScanPointArray<T>& getPoints() const noexcept { return _points; }

  bool getLineFlag() const noexcept { return _lineFlag; }
  void setLineFlag(bool flag) noexcept { _lineFlag = flag; }

 private:
  _ScanPointArray<T> _points;
  bool _lineFlag = false;
};

QUAX_SCAN_EXTERN_TEMPLATE(class _ScanLine<double, _ScanPoint<double>>)

using ScanLine = _ScanLine<double, _ScanPoint<double>>;

}  // namespace QUAX

#endif  // QUAX_SCAN_MODEL_SCANLINE_H_
