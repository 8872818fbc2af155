// SPDX-License-Identifier: MIT
// Readable names of run-time types.
#ifndef QUAX_UTIL_TYPENAME_H_
#define QUAX_UTIL_TYPENAME_H_

#include <string>
#include <typeinfo>

#include "util/QUAXUtilExport.h"

namespace QUAX {

// The demangled name of `type` ("QUAX::ScanAverageFilter*"); the raw
// run-time name when the platform cannot demangle it.
QUAX_UTIL_API std::string demangledTypeName(const std::type_info& type);

}  // namespace QUAX

#endif  // QUAX_UTIL_TYPENAME_H_
