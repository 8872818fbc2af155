// SPDX-License-Identifier: MIT
// Exceptions of the math library QUAXMath.
#ifndef QUAX_GEOMATH_MATHERRORS_H_
#define QUAX_GEOMATH_MATHERRORS_H_

#include "geomath/QUAXMathExport.h"
#include "util/VXException.h"

namespace QUAX {

class QUAX_MATH_API EMathException : public EVXException {
 protected:
  EMathException();
};

// Division by a scalar that is exactly zero.
class QUAX_MATH_API EMathDivisionByZero : public EMathException {
 public:
  EMathDivisionByZero();
};

// Normalizing a vector shorter than the zero tolerance.
class QUAX_MATH_API EMathZeroVector : public EMathException {
 public:
  EMathZeroVector();
};

// A rigid transform whose rotation is not a proper rotation.
class QUAX_MATH_API EMathSingularMatrix : public EMathException {
 public:
  EMathSingularMatrix();
};

// A comparison asked for with a negative tolerance.
class QUAX_MATH_API EMathNegativeTol : public EMathException {
 public:
  EMathNegativeTol();
};

enum MathErrorCode : std::int32_t {
  kMathDivisionByZero = 12001,
  kMathZeroVector = 12002,
  kMathSingularMatrix = 12003,
  kMathNegativeTol = 12004,
};

}  // namespace QUAX

#endif  // QUAX_GEOMATH_MATHERRORS_H_
