// SPDX-License-Identifier: MIT
// Lines and planes of QUAXGeom: an origin and a unit direction (the plane's
// direction is its normal).
#ifndef QUAX_GEOMATH_GEOLINE_H_
#define QUAX_GEOMATH_GEOLINE_H_

#include <limits>

#include "geomath/GeoPoint.h"

namespace QUAX {

// Shared state and behaviour of the origin-and-direction entities.
template <class T>
class _GeoOrientedEntity : public _GeoEntity<T> {
 public:
  const _GeoPoint<T>& getOrigin() const noexcept { return _origin; }
  const _MathVector<T>& getDirection() const noexcept { return _direction; }

  // Moves the origin through its own transform (which may throw
  // EMathSingularMatrix), then rotates the direction, which tests validity
  // again: for an invalid matrix the origin has already moved.
  void transform(const _MathMatrix<T>& m) override {
    _origin.transform(m);
    _direction = m.applyToDirection(_direction);
  }

 protected:
  _GeoOrientedEntity() noexcept : _direction(T(0), T(0), T(1)) {}
  // Copies both, refuses a direction shorter than the machine epsilon with
  // EGeoDegenerateVector, then normalizes it (EMathZeroVector below
  // zeroVectorTolerance()).
  _GeoOrientedEntity(const _GeoPoint<T>& origin, const _MathVector<T>& direction)
      : _origin(origin), _direction(direction) {
    if (_direction.length() < std::numeric_limits<T>::epsilon()) {
      throw EGeoDegenerateVector();
    }
    _direction.normalize();
  }
  _GeoOrientedEntity(const _GeoOrientedEntity&) = default;
  _GeoOrientedEntity& operator=(const _GeoOrientedEntity&) = default;

  _GeoPoint<T> _origin;
  _MathVector<T> _direction;
};

template <class T>
class _GeoLine : public _GeoOrientedEntity<T> {
 public:
  // Origin (0, 0, 0), direction (0, 0, 1).
  _GeoLine() noexcept = default;
  _GeoLine(const _GeoPoint<T>& origin, const _MathVector<T>& direction)
      : _GeoOrientedEntity<T>(origin, direction) {}

  // The foot point o + d.((p - o).d).
  _GeoPoint<T> project(const _GeoPoint<T>& p) const noexcept {
    return this->_origin + this->_direction * ((p - this->_origin).dot(this->_direction));
  }
};

template <class T>
class _GeoPlane : public _GeoOrientedEntity<T> {
 public:
  // Through (0, 0, 0) with normal (0, 0, 1).
  _GeoPlane() noexcept = default;
  _GeoPlane(const _GeoPoint<T>& origin, const _MathVector<T>& normal)
      : _GeoOrientedEntity<T>(origin, normal) {}

  // The foot point p - n.((p - o).n).
  _GeoPoint<T> project(const _GeoPoint<T>& p) const noexcept {
    return p - this->_direction * ((p - this->_origin).dot(this->_direction));
  }
};

}  // namespace QUAX

#endif  // QUAX_GEOMATH_GEOLINE_H_
