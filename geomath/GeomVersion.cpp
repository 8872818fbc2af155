// SPDX-License-Identifier: MIT
#include "geomath/GeomVersion.h"

#include "util/VXException.h"

#ifndef QUAX_GEOM_BUILD_NUMBER
#error "QUAX_GEOM_BUILD_NUMBER must be set by the build"
#endif

void checkGeomDllVersion(unsigned long long build) {
  if (build != QUAX_GEOM_BUILD_NUMBER) {
    throw QUAX::EVXDLLWrongVersion(L"QUAXGeom.DLL", QUAX_GEOM_BUILD_NUMBER);
  }
}

unsigned long long getGeomDllBuildNumber() { return QUAX_GEOM_BUILD_NUMBER; }
