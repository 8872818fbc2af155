// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <string>

#include "util/VXException.h"

namespace QUAX {
namespace {

TEST(VXException, CarriesCodeClassChainAndTextThroughCopies) {
  const EVXDLLWrongVersion original(L"QUAXScan.DLL", 3);
  const EVXDLLWrongVersion copy(original);  // NOLINT
  EXPECT_EQ(copy.getFileName(), L"QUAXScan.DLL");
  EXPECT_EQ(copy.getBuildNumber(), 3);
  EXPECT_EQ(copy.getCode(), kUtilDLLWrongVersion);
  EXPECT_EQ(copy.getClassChain(), original.getClassChain());
  EXPECT_STREQ(copy.what(), original.what());
  EXPECT_NE(std::string(copy.what()).find("EVXDLLWrongVersion"),
            std::string::npos);
  const EVXIOBadFooter footer;
  EXPECT_EQ(footer.getClassChain(),
            (std::vector<std::string>{"QUAX::EVXIOException",
                                      "QUAX::EVXIOBadFooter"}));
  EXPECT_THROW(throw EVXIOAttributeNotRead(), EVXIOException);
  EXPECT_THROW(throw EVXIOBadFooter(), EVXIOException);
  EXPECT_THROW(throw EExtensionNotPresent(), EVXException);
  EXPECT_THROW(throw EExtensionNoImplementation(), std::exception);
  EXPECT_THROW(throw EVXDLLWrongVersion(L"", 1), EVXDLLException);
}

}  // namespace
}  // namespace QUAX
