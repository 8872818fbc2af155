// SPDX-License-Identifier: MIT
#include "scan/ScanVersion.h"

#include "util/VXException.h"

namespace {
constexpr unsigned long long kScanBuildNumber = 3;
}  // namespace

void checkScanDllVersion(unsigned long long build) {
  if (build != kScanBuildNumber) {
    throw QUAX::EVXDLLWrongVersion(L"QUAXScan.DLL",
                                   static_cast<int>(kScanBuildNumber));
  }
}

unsigned long long getScanDllBuildNumber() { return kScanBuildNumber; }
