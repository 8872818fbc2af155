// SPDX-License-Identifier: MIT
// Exceptions of the geometry library QUAXGeom.
#ifndef QUAX_GEOMATH_GEOERRORS_H_
#define QUAX_GEOMATH_GEOERRORS_H_

#include "geomath/QUAXGeomExport.h"
#include "util/VXException.h"

namespace QUAX {

class QUAX_GEOM_API EGeoException : public EVXException {
 protected:
  EGeoException();
};

// An argument that cannot describe the entity asked for.
class QUAX_GEOM_API EGeoInvalidParameter : public EGeoException {
 public:
  EGeoInvalidParameter();

 protected:
  struct Group {};
  explicit EGeoInvalidParameter(Group);
};

// A direction too short to define a line or a plane.
class QUAX_GEOM_API EGeoDegenerateVector : public EGeoInvalidParameter {
 public:
  EGeoDegenerateVector();
};

enum GeoErrorCode : std::int32_t {
  kGeoInvalidParameter = 13001,
  kGeoDegenerateVector = 13002,
};

}  // namespace QUAX

#endif  // QUAX_GEOMATH_GEOERRORS_H_
