// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "util/Guid.h"

namespace QUAX {
namespace {

TEST(Guid, StoresTheWindowsLayoutPrintsAndComparesByValue) {
  const _GUID key = {0x67559302,
                     0xB195,
                     0x11D3,
                     {0xA6, 0x21, 0x00, 0xE0, 0x29, 0x24, 0xBB, 0xF5}};
  const unsigned char bytes[16] = {0x02, 0x93, 0x55, 0x67, 0x95, 0xB1,
                                   0xD3, 0x11, 0xA6, 0x21, 0x00, 0xE0,
                                   0x29, 0x24, 0xBB, 0xF5};
  EXPECT_EQ(std::memcmp(&key, bytes, sizeof bytes), 0);
  EXPECT_EQ(guidToString(key), "{67559302-B195-11D3-A621-00E02924BBF5}");
  _GUID other = key;
  EXPECT_TRUE(guidEquals(other, key));
  other.Data4[7] = 0xF6;
  EXPECT_FALSE(guidEquals(other, key));
  std::map<_GUID, int, GuidLess> byKey{{key, 1}, {other, 2}};
  EXPECT_EQ(byKey.at(key), 1);
  EXPECT_EQ(byKey.at(other), 2);
}

}  // namespace
}  // namespace QUAX
