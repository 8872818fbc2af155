// SPDX-License-Identifier: MIT
#include "util/TypeName.h"

#include <cstdlib>
#include <memory>

#if defined(__GNUC__)
#include <cxxabi.h>
#endif

namespace QUAX {

std::string demangledTypeName(const std::type_info& type) {
#if defined(__GNUC__)
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> name(
      abi::__cxa_demangle(type.name(), nullptr, nullptr, &status), std::free);
  if (status == 0 && name) return name.get();
#endif
  return type.name();
}

}  // namespace QUAX
