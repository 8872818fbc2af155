// SPDX-License-Identifier: MIT
// Rigid transform of the math library: a 3x3 rotation R (row by row) followed
// by a translation t. Applied to a position p it gives R.p + t: rotation
// first, then translation.
#ifndef QUAX_GEOMATH_MATHMATRIX_H_
#define QUAX_GEOMATH_MATHMATRIX_H_

#include <cmath>

#include "geomath/MathVector.h"

namespace QUAX {

template <class T>
class _MathMatrix {
 public:
  // The identity transform.
  _MathMatrix() noexcept
      : _r{{T(1), T(0), T(0)}, {T(0), T(1), T(0)}, {T(0), T(0), T(1)}} {}
  _MathMatrix(T r00, T r01, T r02, T r10, T r11, T r12, T r20, T r21, T r22,
              T tx, T ty, T tz) noexcept
      : _r{{r00, r01, r02}, {r10, r11, r12}, {r20, r21, r22}}, _t(tx, ty, tz) {}

  static _MathMatrix translation(T tx, T ty, T tz) noexcept {
    _MathMatrix m;
    m._t.set(tx, ty, tz);
    return m;
  }
  // Rotation by `angle` radians about the z axis.
  static _MathMatrix rotationZ(T angle) noexcept {
    const T c = std::cos(angle), s = std::sin(angle);
    return _MathMatrix(c, -s, T(0), s, c, T(0), T(0), T(0), T(1), T(0), T(0),
                       T(0));
  }

  T rotation(int row, int column) const noexcept { return _r[row][column]; }
  void setRotation(int row, int column, T value) noexcept {
    _r[row][column] = value;
  }
  const _MathVector<T>& getTranslation() const noexcept { return _t; }
  _MathVector<T>& getTranslation() noexcept { return _t; }
  void setTranslation(const _MathVector<T>& t) noexcept { _t = t; }

  // det(R) by the rule of Sarrus, in the order the library has always used.
  T determinant() const noexcept {
    return _r[0][0] * _r[1][1] * _r[2][2] + _r[0][1] * _r[1][2] * _r[2][0] +
           _r[0][2] * _r[1][0] * _r[2][1] - _r[0][2] * _r[1][1] * _r[2][0] -
           _r[2][1] * _r[1][2] * _r[0][0] - _r[2][2] * _r[0][1] * _r[1][0];
  }
  // A proper rotation: |det(R) - 1| at most 10 machine epsilons.
  bool isValid() const noexcept {
    static const T kTolerance = std::numeric_limits<T>::epsilon() * T(10);
    return !(std::fabs(determinant() - T(1)) > kTolerance);
  }

  // R.p + t, without a validity test.
  _MathVector<T> applyToPosition(const _MathVector<T>& p) const noexcept {
    return _MathVector<T>(
        _r[0][0] * p.x() + _r[0][1] * p.y() + _r[0][2] * p.z() + _t.x(),
        _r[1][0] * p.x() + _r[1][1] * p.y() + _r[1][2] * p.z() + _t.y(),
        _r[2][0] * p.x() + _r[2][1] * p.y() + _r[2][2] * p.z() + _t.z());
  }
  // R.d: the transform with its translation cleared, applied to d. Tests
  // validity and throws EMathSingularMatrix. The result is not renormalized.
  _MathVector<T> applyToDirection(const _MathVector<T>& d) const {
    if (!isValid()) throw EMathSingularMatrix();
    _MathMatrix rotationOnly(*this);
    for (int axis = 0; axis < 3; ++axis) rotationOnly._t[axis] = T(0);
    return rotationOnly.applyToPosition(d);
  }

  // The transform that applies `b` first and then this one:
  // rotation Ra.Rb, translation Ra.tb + ta.
  _MathMatrix operator*(const _MathMatrix& b) const noexcept {
    _MathMatrix c;
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) {
        c._r[i][j] = _r[i][0] * b._r[0][j] + _r[i][1] * b._r[1][j] +
                     _r[i][2] * b._r[2][j];
      }
    }
    c._t = applyToPosition(b._t);
    return c;
  }

  // (R^T, -(R^T.t)): the exact inverse of a proper rotation.
  _MathMatrix inverse() const noexcept {
    _MathMatrix inv;
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) inv._r[i][j] = _r[j][i];
    }
    const _MathVector<T> rt(
        inv._r[0][0] * _t.x() + inv._r[0][1] * _t.y() + inv._r[0][2] * _t.z(),
        inv._r[1][0] * _t.x() + inv._r[1][1] * _t.y() + inv._r[1][2] * _t.z(),
        inv._r[2][0] * _t.x() + inv._r[2][1] * _t.y() + inv._r[2][2] * _t.z());
    inv._t = -rt;
    return inv;
  }

  bool operator==(const _MathMatrix& o) const noexcept {
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) {
        if (_r[i][j] != o._r[i][j]) return false;
      }
    }
    return _t == o._t;
  }
  bool operator!=(const _MathMatrix& o) const noexcept { return !(*this == o); }

 private:
  T _r[3][3];
  _MathVector<T> _t;
};

}  // namespace QUAX

#endif  // QUAX_GEOMATH_MATHMATRIX_H_
