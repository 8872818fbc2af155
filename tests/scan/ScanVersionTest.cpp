// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "geomath/GeomVersion.h"
#include "scan/ScanVersion.h"
#include "util/VXException.h"

namespace QUAX {
namespace {

TEST(ScanVersion, BuildThreeIsAcceptedAndOthersRefusedWithOurNumber) {
  EXPECT_EQ(getScanDllBuildNumber(), 3u);
  EXPECT_NO_THROW(checkScanDllVersion(3));
  for (unsigned long long build : {2ull, 4ull, 0ull}) {
    try {
      checkScanDllVersion(build);
      ADD_FAILURE() << "build " << build << " accepted";
    } catch (const EVXDLLWrongVersion& e) {
      EXPECT_EQ(e.getFileName(), L"QUAXScan.DLL");
      EXPECT_EQ(e.getBuildNumber(), 3);
    }
  }
  EXPECT_TRUE(scanLibraryLoadAccepted());
  EXPECT_EQ(getGeomDllBuildNumber(), 3u);
  EXPECT_THROW(checkGeomDllVersion(2), EVXDLLWrongVersion);
}

}  // namespace
}  // namespace QUAX
