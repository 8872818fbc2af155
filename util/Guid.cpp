// SPDX-License-Identifier: MIT
#include "util/Guid.h"

#include <cstdio>

namespace QUAX {

std::string guidToString(const _GUID& key) {
  char text[40];
  std::snprintf(text, sizeof text,
                "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned>(key.Data1),
                static_cast<unsigned>(key.Data2),
                static_cast<unsigned>(key.Data3), key.Data4[0], key.Data4[1],
                key.Data4[2], key.Data4[3], key.Data4[4], key.Data4[5],
                key.Data4[6], key.Data4[7]);
  return text;
}

}  // namespace QUAX
