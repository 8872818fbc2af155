// SPDX-License-Identifier: MIT
#include "util/Guid.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>

namespace QUAX {
namespace {

const _GUID kGraysumKey = {0x67559302, 0xB195, 0x11D3,
                           {0xA6, 0x21, 0x00, 0xE0, 0x29, 0x24, 0xBB, 0xF5}};

TEST(Guid, StoresTheWindowsByteLayout) {
  const unsigned char expected[16] = {0x02, 0x93, 0x55, 0x67, 0x95, 0xB1,
                                      0xD3, 0x11, 0xA6, 0x21, 0x00, 0xE0,
                                      0x29, 0x24, 0xBB, 0xF5};
  unsigned char bytes[16];
  std::memcpy(bytes, &kGraysumKey, sizeof bytes);
  EXPECT_EQ(std::memcmp(bytes, expected, sizeof bytes), 0);
}

TEST(Guid, PrintsInRegistryForm) {
  EXPECT_EQ(guidToString(kGraysumKey), "{67559302-B195-11D3-A621-00E02924BBF5}");
}

TEST(Guid, ComparesByValue) {
  _GUID other = kGraysumKey;
  EXPECT_TRUE(guidEquals(other, kGraysumKey));
  other.Data4[7] = 0xF6;
  EXPECT_FALSE(guidEquals(other, kGraysumKey));
  std::map<_GUID, int, GuidLess> byKey{{kGraysumKey, 1}, {other, 2}};
  EXPECT_EQ(byKey.size(), 2u);
  EXPECT_EQ(byKey.at(kGraysumKey), 1);
}

}  // namespace
}  // namespace QUAX
