// SPDX-License-Identifier: MIT
#include "util/Callback.h"

namespace QUAX {

namespace {

// Shape names are compared by text: each module may hold its own copy of a
// tag's type information, and with it its own copy of the name. Within one
// module the pointers are equal and the text is not read.
bool sameShape(const char* a, const char* b) noexcept {
  if (a == b) return true;
  return a != nullptr && b != nullptr && std::strcmp(a, b) == 0;
}

}  // namespace

bool operator==(const CBFunctorBase& a, const CBFunctorBase& b) noexcept {
  // Unused bytes of the function buffer are zero from construction, so a
  // whole-buffer comparison compares exactly the bound function. The
  // trampoline is left out: every module instantiates its own.
  return a._callee == b._callee &&
         std::memcmp(a._function, b._function, sizeof a._function) == 0 &&
         sameShape(a._shape, b._shape);
}

}  // namespace QUAX
