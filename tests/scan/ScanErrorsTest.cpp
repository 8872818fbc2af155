// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <string>

#include "geomath/GeomVersion.h"
#include "scan/ScanErrors.h"
#include "scan/ScanVersion.h"

namespace QUAX {
namespace {

// Throws E, catches it as Handler; the code it carried, or -1 when the
// handler did not catch it.
template <class E, class Handler = EVXException>
std::int32_t caught(const E& e = E()) {
  try {
    throw e;
  } catch (const Handler& h) {
    if constexpr (std::is_base_of_v<EVXException, Handler>) return h.getCode();
    return 0;
  } catch (...) {
    return -1;
  }
}

TEST(ScanErrors, EveryLeafCarriesItsCodeAndIsCaughtByItsGroup) {
  const std::pair<std::int32_t, std::int32_t> codes[] = {
      {caught<EScanSurfaceIncomplete>(), 17470},
      {caught<EScanSurfaceComplete>(), 17471},
      {caught<EScanSurfaceRangeException, EScanException>(), 17472},
      {caught<EScanNoTPData, EScanNoPointExtension>(), 17474},
      {caught<EScanNoGraysumData, EScanNoPointExtension>(), 17475},
      {caught<EScanImageRowTooLarge, EScanImageBoundsException>(), 17476},
      {caught<EScanImageColumnTooLarge, EScanImageBoundsException>(), 17477},
      {caught<EScanFrameNoGrayImage>(), 17478},
      {caught<EScanFrameNoScanLine, EScanFrameDataException>(), 17479},
      {caught<EScanFrameNoTimeData, EScanFrameNoExtensionException>(), 17480},
      {caught<EScanFrameTimeDataExists>(), 17481},
      {caught<EScanNeighborhoodSizeOutOfRange>(), 17097},
      {caught<EScanNeighborhoodSizeNotOddNumber>(), 17098},
      {caught<EScanNonPositiveProximityLimit>(), 17482},
      {caught<EScanNonPositiveDeviationLimit>(), 17483},
      {caught<EScanNonPositiveMaxSpan>(), 17484},
      {caught<EScanTransformHistoryEmpty>(), 17492},
      {caught<EScanNonPositiveNumberOfPoints>(), 17493},
      {caught<EScanUnknownNPointFilterAlgorithm>(), 17494},
      {caught<EScanNPointFilterPointsNotExact>(), 17495},
      {caught<EScanNPointFilterTooSmall>(), 17496},
      {caught<EScanNPointFilterTooLarge>(), 17497},
      {caught<EScanNPointFilterSolutionNotFound>(), 17498},
      {caught<EScanPointBadRead>(), 17486},
      {caught<EScanContainerBadRead>(), 17487},
      {caught<EScanLineBadRead>(), 17488},
      {caught<EScanFrameBadRead>(), 17489},
      {caught<EScanSurfaceBadRead>(), 17490},
      {caught<EScanSetBadRead>(), 17491},
      {caught<EScanIOBadHeader, EScanIOException>(EScanIOBadHeader(L"")),
       17201},
      {caught<EScanIOBadFooter, EVXIOException>(EScanIOBadFooter(nullptr)),
       17202},
      {caught<EScanIOBadAttribute>(EScanIOBadAttribute(L"")), 17485},
      // Not caught as a scan error: the IO family, other groups, NoSolution.
      {caught<EScanIOBadHeader, EScanException>(EScanIOBadHeader(L"")), -1},
      {caught<EScanFrameNoTimeData, EScanFrameExtensionException>(), -1},
      {caught<EScanFrameTimeDataExists, EScanFrameNoExtensionException>(), -1},
      {caught<NoSolution>(), -1},
      {caught<NoSolution, std::exception>(), 0},
  };
  for (std::size_t i = 0; i < std::size(codes); ++i) {
    EXPECT_EQ(codes[i].first, codes[i].second) << "row " << i;
  }
  // The thread family's codes, which a host meets as EVXException.
  const std::int32_t threadCodes[] = {
      kThreadNoMutexAvailable, kThreadWaitFailOnMutex,
      kThreadNoSemaphoreAvailable, kThreadWaitOnNullSemaphore,
      kThreadWaitFailOnSemaphore};
  for (std::int32_t i = 0; i < 5; ++i) EXPECT_EQ(threadCodes[i], 17560 + i);
}

TEST(ScanErrors, ClassChainsRegisterRootFirstAndIOLeavesCarryTheText) {
  EXPECT_EQ(EScanNoTPData().getClassChain(),
            (std::vector<std::string>{"QUAX::EScanException",
                                      "QUAX::EScanNoPointExtension",
                                      "QUAX::EScanNoTPData"}));
  EXPECT_EQ(EScanImageRowTooLarge().getClassChain().size(), 3u);
  const EScanIOBadAttribute e(L"QUAX::ScanAverageFilter*");
  const EScanIOBadAttribute copy(e);  // NOLINT
  EXPECT_EQ(copy.getDescription(), L"QUAX::ScanAverageFilter*");
  EXPECT_STREQ(copy.what(), e.what());
  EXPECT_NE(std::string(e.what()).find("ScanAverageFilter"), std::string::npos);
  EXPECT_EQ(EScanIOBadHeader(nullptr).getDescription(), L"");  // null: empty
  EXPECT_EQ(EScanIOBadAttribute(nullptr).getDescription(), L"");
}

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
