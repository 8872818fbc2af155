// SPDX-License-Identifier: MIT
// Geometry entities of QUAXGeom: the polymorphic base and the point.
#ifndef QUAX_GEOMATH_GEOPOINT_H_
#define QUAX_GEOMATH_GEOPOINT_H_

#include <cmath>

#include "geomath/GeoErrors.h"
#include "geomath/MathMatrix.h"

namespace QUAX {

template <class T>
class _GeoEntity {
 public:
  virtual ~_GeoEntity() = default;
  // Moves the entity in place by the rigid transform `m`.
  virtual void transform(const _MathMatrix<T>& m) = 0;

 protected:
  _GeoEntity() = default;
  _GeoEntity(const _GeoEntity&) = default;
  _GeoEntity& operator=(const _GeoEntity&) = default;
};

template <class T>
class _GeoPoint : public _GeoEntity<T> {
 public:
  _GeoPoint() noexcept : _x(0), _y(0), _z(0) {}
  _GeoPoint(T x, T y, T z) noexcept : _x(x), _y(y), _z(z) {}
  explicit _GeoPoint(const _MathVector<T>& v) noexcept
      : _x(v.x()), _y(v.y()), _z(v.z()) {}
  _GeoPoint(const _GeoPoint&) = default;
  _GeoPoint& operator=(const _GeoPoint&) = default;

  T x() const noexcept { return _x; }
  T y() const noexcept { return _y; }
  T z() const noexcept { return _z; }
  void set(T x, T y, T z) noexcept {
    _x = x;
    _y = y;
    _z = z;
  }
  _MathVector<T> toVector() const noexcept { return _MathVector<T>(_x, _y, _z); }

  // Replaces the point by R.p + t. An invalid transform throws
  // EMathSingularMatrix and leaves the point unchanged.
  void transform(const _MathMatrix<T>& m) override {
    if (!m.isValid()) throw EMathSingularMatrix();
    const _MathVector<T> p = m.applyToPosition(toVector());
    set(p.x(), p.y(), p.z());
  }

  T distanceTo(const _GeoPoint& o) const noexcept { return (*this - o).length(); }
  // Whether `o` lies within `tolerance` (inclusive). A negative tolerance
  // throws EMathNegativeTol.
  bool isNear(const _GeoPoint& o, T tolerance) const {
    if (tolerance < T(0)) throw EMathNegativeTol();
    return distanceTo(o) <= tolerance;
  }

  _MathVector<T> operator-(const _GeoPoint& o) const noexcept {
    return _MathVector<T>(_x - o._x, _y - o._y, _z - o._z);
  }
  _GeoPoint operator+(const _MathVector<T>& v) const noexcept {
    return _GeoPoint(_x + v.x(), _y + v.y(), _z + v.z());
  }
  _GeoPoint operator-(const _MathVector<T>& v) const noexcept {
    return _GeoPoint(_x - v.x(), _y - v.y(), _z - v.z());
  }
  bool operator==(const _GeoPoint& o) const noexcept {
    return _x == o._x && _y == o._y && _z == o._z;
  }
  bool operator!=(const _GeoPoint& o) const noexcept { return !(*this == o); }

 private:
  T _x, _y, _z;
};

}  // namespace QUAX

#endif  // QUAX_GEOMATH_GEOPOINT_H_
