// SPDX-License-Identifier: MIT
// The library's main job on built-in data.
#include <cstdio>

#include "geomath/GeoPoint.h"
#include "scan/ScanVersion.h"

int main() {
  std::printf("QUAXScan 4.0.1, build %llu\n", getScanDllBuildNumber());
  QUAX::_GeoPoint<double> p(1, 0, 0);
  QUAX::_MathMatrix<double> m = QUAX::_MathMatrix<double>::rotationZ(1.5707963267948966);
  p.transform(m);
  std::printf("(1, 0, 0) rotated a quarter turn about z: (%.3f, %.3f, %.3f)\n",
              p.x(), p.y(), p.z());
  return 0;
}
