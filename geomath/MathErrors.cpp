// SPDX-License-Identifier: MIT
#include "geomath/MathErrors.h"

namespace QUAX {

EMathException::EMathException() { _insertClass(*this); }
EMathDivisionByZero::EMathDivisionByZero() {
  _processException(*this, kMathDivisionByZero);
}
EMathZeroVector::EMathZeroVector() { _processException(*this, kMathZeroVector); }
EMathSingularMatrix::EMathSingularMatrix() {
  _processException(*this, kMathSingularMatrix);
}
EMathNegativeTol::EMathNegativeTol() { _processException(*this, kMathNegativeTol); }

}  // namespace QUAX
