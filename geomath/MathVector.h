// SPDX-License-Identifier: MIT
// Three-component vector of the math library.
#ifndef QUAX_GEOMATH_MATHVECTOR_H_
#define QUAX_GEOMATH_MATHVECTOR_H_

#include <cmath>
#include <limits>
#include <stdexcept>

#include "geomath/MathErrors.h"

namespace QUAX {

// Below this length a vector counts as zero when it is normalized:
// one thousand times the machine epsilon (2.220446049250313e-13 for double).
template <class T>
inline T zeroVectorTolerance() {
  static const T tolerance = std::numeric_limits<T>::epsilon() * T(1000);
  return tolerance;
}

template <class T>
class _MathVector {
 public:
  _MathVector() noexcept : _x(0), _y(0), _z(0) {}
  _MathVector(T x, T y, T z) noexcept : _x(x), _y(y), _z(z) {}

  T x() const noexcept { return _x; }
  T y() const noexcept { return _y; }
  T z() const noexcept { return _z; }
  void set(T x, T y, T z) noexcept {
    _x = x;
    _y = y;
    _z = z;
  }

  // Axis access: 0, 1, 2 are x, y, z; 3 reads the homogeneous coordinate 1.
  const T& operator[](int axis) const {
    static const T kHomogeneous = T(1);
    switch (axis) {
      case 0: return _x;
      case 1: return _y;
      case 2: return _z;
      case 3: return kHomogeneous;
      default: throw std::out_of_range("Axis Index");
    }
  }
  // Writable axis access. Axis 3 reads 1 here too; what is written to it is
  // dropped (it goes to a per-thread copy that the next access resets), so
  // the homogeneous coordinate stays 1 for every vector.
  T& operator[](int axis) {
    switch (axis) {
      case 0: return _x;
      case 1: return _y;
      case 2: return _z;
      case 3: {
        thread_local T homogeneous;
        homogeneous = T(1);
        return homogeneous;
      }
      default: throw std::out_of_range("Axis Index");
    }
  }

  _MathVector operator+(const _MathVector& o) const noexcept {
    return _MathVector(_x + o._x, _y + o._y, _z + o._z);
  }
  _MathVector operator-(const _MathVector& o) const noexcept {
    return _MathVector(_x - o._x, _y - o._y, _z - o._z);
  }
  _MathVector operator-() const noexcept { return _MathVector(-_x, -_y, -_z); }
  _MathVector operator*(T s) const noexcept {
    return _MathVector(_x * s, _y * s, _z * s);
  }
  _MathVector& operator+=(const _MathVector& o) noexcept {
    _x += o._x;
    _y += o._y;
    _z += o._z;
    return *this;
  }
  _MathVector& operator-=(const _MathVector& o) noexcept {
    _x -= o._x;
    _y -= o._y;
    _z -= o._z;
    return *this;
  }
  _MathVector& operator*=(T s) noexcept {
    _x *= s;
    _y *= s;
    _z *= s;
    return *this;
  }
  // Throws EMathDivisionByZero for a divisor equal to zero (-0.0 included).
  _MathVector operator/(T s) const {
    if (s == T(0)) throw EMathDivisionByZero();
    return _MathVector(_x / s, _y / s, _z / s);
  }
  _MathVector& operator/=(T s) {
    if (s == T(0)) throw EMathDivisionByZero();
    _x /= s;
    _y /= s;
    _z /= s;
    return *this;
  }

  T dot(const _MathVector& o) const noexcept {
    return _x * o._x + _y * o._y + _z * o._z;
  }
  _MathVector cross(const _MathVector& o) const noexcept {
    return _MathVector(_y * o._z - _z * o._y, _z * o._x - _x * o._z,
                       _x * o._y - _y * o._x);
  }
  T length() const noexcept { return std::sqrt(_x * _x + _y * _y + _z * _z); }

  // Scales to unit length. Throws EMathZeroVector, leaving the vector as it
  // was, when the length is below zeroVectorTolerance().
  _MathVector& normalize() {
    const T len = length();
    if (len < zeroVectorTolerance<T>()) throw EMathZeroVector();
    return *this /= len;
  }

  bool operator==(const _MathVector& o) const noexcept {
    return _x == o._x && _y == o._y && _z == o._z;
  }
  bool operator!=(const _MathVector& o) const noexcept { return !(*this == o); }

 private:
  T _x, _y, _z;
};

template <class T>
_MathVector<T> operator*(T s, const _MathVector<T>& v) noexcept {
  return v * s;
}

}  // namespace QUAX

#endif  // QUAX_GEOMATH_MATHVECTOR_H_
