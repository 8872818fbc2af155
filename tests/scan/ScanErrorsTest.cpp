// SPDX-License-Identifier: MIT
#include "scan/ScanErrors.h"

#include <gtest/gtest.h>

#include <string>

namespace QUAX {
namespace {

template <class Thrown, class Handler>
bool caughtBy(const Thrown& thrown = Thrown()) {
  try {
    throw thrown;
  } catch (const Handler&) {
    return true;
  } catch (...) {
    return false;
  }
}

template <class Handler>
bool ioCaughtBy() {
  return caughtBy<EScanIOBadHeader, Handler>(EScanIOBadHeader(L"x"));
}

TEST(ScanErrors, ScanHandlerDoesNotCatchTheIOFamily) {
  EXPECT_FALSE(ioCaughtBy<EScanException>());
  EXPECT_FALSE((caughtBy<EScanPointBadRead, EScanException>()));
  EXPECT_TRUE(ioCaughtBy<EScanIOException>());
  EXPECT_TRUE(ioCaughtBy<EVXIOException>());
  EXPECT_TRUE(ioCaughtBy<EVXException>());
  EXPECT_TRUE(ioCaughtBy<std::exception>());
}

TEST(ScanErrors, GroupsCatchTheirLeaves) {
  EXPECT_TRUE((caughtBy<EScanNoTPData, EScanNoPointExtension>()));
  EXPECT_TRUE((caughtBy<EScanNoGraysumData, EScanNoPointExtension>()));
  EXPECT_TRUE((caughtBy<EScanImageRowTooLarge, EScanImageBoundsException>()));
  EXPECT_TRUE((caughtBy<EScanImageColumnTooLarge, EScanImageBoundsException>()));
  EXPECT_TRUE((caughtBy<EScanFrameNoScanLine, EScanFrameDataException>()));
  EXPECT_TRUE((caughtBy<EScanFrameNoTimeData, EScanFrameNoExtensionException>()));
  EXPECT_FALSE((caughtBy<EScanFrameNoTimeData, EScanFrameExtensionException>()));
  EXPECT_FALSE((caughtBy<EScanFrameTimeDataExists, EScanFrameNoExtensionException>()));
  EXPECT_TRUE((caughtBy<EScanSurfaceRangeException, EScanException>()));
}

TEST(ScanErrors, NoSolutionIsNotACodedException) {
  EXPECT_FALSE((caughtBy<NoSolution, EVXException>()));
  EXPECT_TRUE((caughtBy<NoSolution, std::exception>()));
}

template <class E>
std::int32_t codeOf() {
  return E().getCode();
}

TEST(ScanErrors, EveryLeafCarriesItsCode) {
  EXPECT_EQ(codeOf<EScanSurfaceIncomplete>(), 17470);
  EXPECT_EQ(codeOf<EScanSurfaceComplete>(), 17471);
  EXPECT_EQ(codeOf<EScanSurfaceRangeException>(), 17472);
  EXPECT_EQ(codeOf<EScanNoTPData>(), 17474);
  EXPECT_EQ(codeOf<EScanNoGraysumData>(), 17475);
  EXPECT_EQ(codeOf<EScanImageRowTooLarge>(), 17476);
  EXPECT_EQ(codeOf<EScanImageColumnTooLarge>(), 17477);
  EXPECT_EQ(codeOf<EScanFrameNoGrayImage>(), 17478);
  EXPECT_EQ(codeOf<EScanFrameNoScanLine>(), 17479);
  EXPECT_EQ(codeOf<EScanFrameNoTimeData>(), 17480);
  EXPECT_EQ(codeOf<EScanFrameTimeDataExists>(), 17481);
  EXPECT_EQ(codeOf<EScanNeighborhoodSizeOutOfRange>(), 17097);
  EXPECT_EQ(codeOf<EScanNeighborhoodSizeNotOddNumber>(), 17098);
  EXPECT_EQ(codeOf<EScanNonPositiveProximityLimit>(), 17482);
  EXPECT_EQ(codeOf<EScanNonPositiveDeviationLimit>(), 17483);
  EXPECT_EQ(codeOf<EScanNonPositiveMaxSpan>(), 17484);
  EXPECT_EQ(codeOf<EScanTransformHistoryEmpty>(), 17492);
  EXPECT_EQ(codeOf<EScanNonPositiveNumberOfPoints>(), 17493);
  EXPECT_EQ(codeOf<EScanUnknownNPointFilterAlgorithm>(), 17494);
  EXPECT_EQ(codeOf<EScanNPointFilterPointsNotExact>(), 17495);
  EXPECT_EQ(codeOf<EScanNPointFilterTooSmall>(), 17496);
  EXPECT_EQ(codeOf<EScanNPointFilterTooLarge>(), 17497);
  EXPECT_EQ(codeOf<EScanNPointFilterSolutionNotFound>(), 17498);
  EXPECT_EQ(codeOf<EScanPointBadRead>(), 17486);
  EXPECT_EQ(codeOf<EScanContainerBadRead>(), 17487);
  EXPECT_EQ(codeOf<EScanLineBadRead>(), 17488);
  EXPECT_EQ(codeOf<EScanFrameBadRead>(), 17489);
  EXPECT_EQ(codeOf<EScanSurfaceBadRead>(), 17490);
  EXPECT_EQ(codeOf<EScanSetBadRead>(), 17491);
  EXPECT_EQ(EScanIOBadHeader(L"").getCode(), 17201);
  EXPECT_EQ(EScanIOBadFooter(L"").getCode(), 17202);
  EXPECT_EQ(EScanIOBadAttribute(L"").getCode(), 17485);
}

TEST(ScanErrors, LevelsRegisterRootFirst) {
  const EScanNoTPData tp;
  ASSERT_EQ(tp.getClassChain().size(), 3u);
  EXPECT_EQ(tp.getClassChain()[0], "QUAX::EScanException");
  EXPECT_EQ(tp.getClassChain()[1], "QUAX::EScanNoPointExtension");
  EXPECT_EQ(tp.getClassChain()[2], "QUAX::EScanNoTPData");
  const EScanImageRowTooLarge row;
  EXPECT_EQ(row.getClassChain().size(), 3u);
}

TEST(ScanErrors, IOLeavesCarryTheThrowersText) {
  const EScanIOBadAttribute e(L"QUAX::ScanAverageFilter*");
  EXPECT_EQ(e.getDescription(), L"QUAX::ScanAverageFilter*");
  EXPECT_NE(std::string(e.what()).find("ScanAverageFilter"), std::string::npos);
  const EScanIOBadAttribute copy(e);  // NOLINT(performance-unnecessary-copy-initialization)
  EXPECT_EQ(copy.getCode(), e.getCode());
  EXPECT_STREQ(copy.what(), e.what());
  EXPECT_EQ(EScanIOBadFooter(L"").getDescription(), L"");
  // A null text reads as empty.
  EXPECT_EQ(EScanIOBadHeader(nullptr).getDescription(), L"");
  EXPECT_EQ(EScanIOBadFooter(nullptr).getCode(), 17202);
  EXPECT_EQ(EScanIOBadAttribute(nullptr).getDescription(), L"");
}

}  // namespace
}  // namespace QUAX
