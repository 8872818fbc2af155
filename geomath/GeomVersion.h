// SPDX-License-Identifier: MIT
// Build check of the geometry library QUAXGeom.
#ifndef QUAX_GEOMATH_GEOMVERSION_H_
#define QUAX_GEOMATH_GEOMVERSION_H_

#include "geomath/QUAXGeomExport.h"

// Returns when this QUAXGeom has build `build`; throws EVXDLLWrongVersion
// ("QUAXGeom.DLL" and its own build) otherwise.
QUAX_GEOM_API void checkGeomDllVersion(unsigned long long build);
// The build number of this QUAXGeom.
QUAX_GEOM_API unsigned long long getGeomDllBuildNumber();

#endif  // QUAX_GEOMATH_GEOMVERSION_H_
