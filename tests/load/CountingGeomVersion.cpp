// SPDX-License-Identifier: MIT
// Build check of a test-only QUAXGeom (build 3) that counts how often it is
// asked, so that the load probe can tell how often the scan library ran its
// load check. Built from the geometry library's other sources.
#include <atomic>

#include "geomath/GeomVersion.h"
#include "util/VXException.h"

namespace {
constexpr unsigned long long kBuild = 3;
std::atomic<int> gChecks{0};
std::atomic<unsigned long long> gLastAskedBuild{0};
}  // namespace

void checkGeomDllVersion(unsigned long long build) {
  gChecks.fetch_add(1);
  gLastAskedBuild.store(build);
  if (build != kBuild) {
    throw QUAX::EVXDLLWrongVersion(L"QUAXGeom.DLL", static_cast<int>(kBuild));
  }
}

unsigned long long getGeomDllBuildNumber() { return kBuild; }

// Looked up by name (dlsym / GetProcAddress): the probe does not link this.
extern "C" QUAX_GEOM_API int quaxCountingGeomChecks() { return gChecks.load(); }
extern "C" QUAX_GEOM_API unsigned long long quaxCountingGeomLastBuild() {
  return gLastAskedBuild.load();
}
