// SPDX-License-Identifier: MIT
// A tour of the library from C++ on built-in data: a simulated laser line
// scanner feeding the data model, filters, extents and stitching.
#include <cstdio>
#include <filesystem>

#include "Demo.h"
#include "scan/ScanVersion.h"
#include "scan/model/ScanPointItems.h"

// The optional argument is the folder for the files the tour writes (the
// extent's node text); the temporary folder by default.
int main(int argc, char** argv) {
  const std::filesystem::path folder =
      argc > 1 ? std::filesystem::path(argv[1])
               : std::filesystem::temp_directory_path();
  std::printf("QUAXScan 4.0.1, build %llu\n\n", getScanDllBuildNumber());
  QUAX::scanInit();
  quaxdemo::runModelDemo();
  quaxdemo::runAcquisitionDemo();
  quaxdemo::runStitchDemo();
  quaxdemo::runExtentDemo(folder);
  quaxdemo::runFiltersDemo();
  return 0;
}
