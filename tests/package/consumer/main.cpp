// SPDX-License-Identifier: MIT
// A host built against the installed package.
#include <scan/ScanVersion.h>
#include <scan/model/ScanLine.h>

int main() {
  checkScanDllVersion(3);
  QUAX::ScanLine line;
  line.appendPoint(QUAX::_GeoPoint<double>(1, 2, 3));
  line.transform(QUAX::_MathMatrix<double>::translation(1, 1, 1));
  const QUAX::ScanLine copy(line);
  return copy.getPoint(0)->position() == QUAX::_GeoPoint<double>(2, 3, 4) ? 0 : 1;
}
