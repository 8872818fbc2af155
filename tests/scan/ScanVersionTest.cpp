// SPDX-License-Identifier: MIT
#include "scan/ScanVersion.h"

#include <gtest/gtest.h>

#include "geomath/GeomVersion.h"
#include "util/VXException.h"

namespace QUAX {
namespace {

TEST(ScanVersion, BuildNumberIsThree) {
  EXPECT_EQ(getScanDllBuildNumber(), 3u);
  EXPECT_NO_THROW(checkScanDllVersion(3));
}

TEST(ScanVersion, OtherBuildsAreRefusedWithOurOwnNumber) {
  for (unsigned long long build : {2ull, 4ull, 0ull}) {
    try {
      checkScanDllVersion(build);
      FAIL() << "build " << build << " accepted";
    } catch (const EVXDLLWrongVersion& e) {
      EXPECT_EQ(e.getFileName(), L"QUAXScan.DLL");
      EXPECT_EQ(e.getBuildNumber(), 3);
    }
  }
}

TEST(ScanVersion, LoadedBesideAMatchingGeometryLibrary) {
  EXPECT_TRUE(scanLibraryLoadAccepted());
  EXPECT_EQ(getGeomDllBuildNumber(), 3u);
  EXPECT_THROW(checkGeomDllVersion(2), EVXDLLWrongVersion);
}

}  // namespace
}  // namespace QUAX
