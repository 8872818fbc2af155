// SPDX-License-Identifier: MIT
#include "geomath/GeoErrors.h"

namespace QUAX {

EGeoException::EGeoException() { _insertClass(*this); }

EGeoInvalidParameter::EGeoInvalidParameter() {
  _processException(*this, kGeoInvalidParameter);
}
// As the base of EGeoDegenerateVector the level registers only its class, so
// the derived code is the one that stays.
EGeoInvalidParameter::EGeoInvalidParameter(Group) { _insertClass(*this); }

EGeoDegenerateVector::EGeoDegenerateVector() : EGeoInvalidParameter(Group{}) {
  _processException(*this, kGeoDegenerateVector);
}

}  // namespace QUAX
