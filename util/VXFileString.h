// SPDX-License-Identifier: MIT
// A narrow (UTF-8) text carried as the same text in wide characters.
#ifndef QUAX_UTIL_VXFILESTRING_H_
#define QUAX_UTIL_VXFILESTRING_H_

#include <string>

#include "util/QUAXUtilExport.h"

namespace QUAX {

class QUAX_UTIL_API VXFileString {
 public:
  explicit VXFileString(const std::string& narrow);

  const std::wstring& wstr() const noexcept { return _wide; }
  const wchar_t* c_str() const noexcept { return _wide.c_str(); }
  operator const wchar_t*() const noexcept { return _wide.c_str(); }

 private:
  std::wstring _wide;
};

}  // namespace QUAX

#endif  // QUAX_UTIL_VXFILESTRING_H_
