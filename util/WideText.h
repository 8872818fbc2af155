// SPDX-License-Identifier: MIT
// Conversion between the narrow (UTF-8) and wide texts of the library.
#ifndef QUAX_UTIL_WIDETEXT_H_
#define QUAX_UTIL_WIDETEXT_H_

#include <string>

#include "util/QUAXUtilExport.h"

namespace QUAX {

// UTF-8 of a wide text (UTF-16 where wchar_t has 16 bits, UTF-32 elsewhere).
// Code points that cannot be encoded become U+FFFD.
QUAX_UTIL_API std::string toUtf8(const std::wstring& text);
// Wide text of a UTF-8 text; malformed sequences become U+FFFD.
QUAX_UTIL_API std::wstring fromUtf8(const std::string& text);

}  // namespace QUAX

#endif  // QUAX_UTIL_WIDETEXT_H_
