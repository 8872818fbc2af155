// SPDX-License-Identifier: MIT
// The library's main job on built-in data: a simulated laser line scanner
// feeding the data model, filters, extents and stitching.
#include <cstdio>

#include "Demo.h"
#include "scan/ScanVersion.h"
#include "scan/model/ScanPointItems.h"

int main() {
  std::printf("QUAXScan 4.0.1, build %llu\n\n", getScanDllBuildNumber());
  QUAX::scanInit();
  quaxdemo::runModelDemo();
  quaxdemo::runAcquisitionDemo();
  quaxdemo::runStitchDemo();
  quaxdemo::runExtentDemo();
  quaxdemo::runFiltersDemo();
  return 0;
}
