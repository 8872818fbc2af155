// SPDX-License-Identifier: MIT
#include "util/Callback.h"

namespace QUAX {

bool operator==(const CBFunctorBase& a, const CBFunctorBase& b) noexcept {
  // Unused bytes of the function buffer are zero from construction, so a
  // whole-buffer comparison compares exactly the bound function.
  return a._callee == b._callee && a._thunk == b._thunk &&
         std::memcmp(a._function, b._function, sizeof a._function) == 0;
}

}  // namespace QUAX
