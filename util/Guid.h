// SPDX-License-Identifier: MIT
// 128-bit keys of extension items. On Windows this is the platform's own
// _GUID; elsewhere a record of the same layout: a 32-bit, a 16-bit and a
// 16-bit field in native (little-endian) order, then eight bytes in the order
// they appear in the text form.
#ifndef QUAX_UTIL_GUID_H_
#define QUAX_UTIL_GUID_H_

#include <cstdint>
#include <cstring>
#include <string>

#include "util/QUAXUtilExport.h"

#ifdef _WIN32
#include <guiddef.h>
#else
// NOLINTNEXTLINE(bugprone-reserved-identifier): the record keeps its Windows name.
struct _GUID {
  std::uint32_t Data1;
  std::uint16_t Data2;
  std::uint16_t Data3;
  std::uint8_t Data4[8];
};

inline bool operator==(const _GUID& a, const _GUID& b) noexcept {
  return std::memcmp(&a, &b, sizeof(_GUID)) == 0;
}
inline bool operator!=(const _GUID& a, const _GUID& b) noexcept {
  return !(a == b);
}
#endif

static_assert(sizeof(_GUID) == 16, "_GUID must be the 16-byte Windows record");

namespace QUAX {

inline bool guidEquals(const _GUID& a, const _GUID& b) noexcept {
  return std::memcmp(&a, &b, sizeof(_GUID)) == 0;
}

// Strict weak order over keys, for sorted containers.
struct GuidLess {
  bool operator()(const _GUID& a, const _GUID& b) const noexcept {
    return std::memcmp(&a, &b, sizeof(_GUID)) < 0;
  }
};

// "{67559302-B195-11D3-A621-00E02924BBF5}": upper-case hex in registry form.
QUAX_UTIL_API std::string guidToString(const _GUID& key);

}  // namespace QUAX

#endif  // QUAX_UTIL_GUID_H_
