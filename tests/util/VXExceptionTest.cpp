// SPDX-License-Identifier: MIT
#include "util/VXException.h"

#include <gtest/gtest.h>

#include <string>

namespace QUAX {
namespace {

TEST(VXException, WrongVersionCarriesFileNameAndBuild) {
  try {
    throw EVXDLLWrongVersion(L"QUAXScan.DLL", 3);
  } catch (const EVXDLLException& e) {
    const auto& wrong = dynamic_cast<const EVXDLLWrongVersion&>(e);
    EXPECT_EQ(wrong.getFileName(), L"QUAXScan.DLL");
    EXPECT_EQ(wrong.getBuildNumber(), 3);
    EXPECT_EQ(e.getCode(), kUtilDLLWrongVersion);
    EXPECT_NE(std::string(e.what()).find("EVXDLLWrongVersion"),
              std::string::npos);
  }
}

TEST(VXException, ClassChainListsTheLevelsRootFirst) {
  const EVXIOBadFooter e;
  ASSERT_EQ(e.getClassChain().size(), 2u);
  EXPECT_EQ(e.getClassChain()[0], "QUAX::EVXIOException");
  EXPECT_EQ(e.getClassChain()[1], "QUAX::EVXIOBadFooter");
}

TEST(VXException, IOFamilyIsCaughtByItsBase) {
  EXPECT_THROW(throw EVXIOAttributeNotRead(), EVXIOException);
  EXPECT_THROW(throw EVXIOBadFooter(), EVXIOException);
  EXPECT_THROW(throw EExtensionNotPresent(), EVXException);
  EXPECT_THROW(throw EExtensionNoImplementation(), std::exception);
}

TEST(VXException, CopyKeepsCodeChainAndText) {
  const EVXDLLWrongVersion original(L"QUAXGeom.DLL", 7);
  const EVXDLLWrongVersion copy(original);  // NOLINT(performance-unnecessary-copy-initialization)
  EXPECT_EQ(copy.getCode(), original.getCode());
  EXPECT_EQ(copy.getClassChain(), original.getClassChain());
  EXPECT_STREQ(copy.what(), original.what());
}

}  // namespace
}  // namespace QUAX
