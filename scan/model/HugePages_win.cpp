// SPDX-License-Identifier: MIT
// Windows gives large pages only to processes holding the lock-pages
// privilege, and only from VirtualAlloc at allocation time; heap memory
// stays in ordinary pages.
#include "scan/model/HugePages.h"

namespace QUAX {
namespace detail {

void adviseHugePages(void*, std::size_t) noexcept {}

}  // namespace detail
}  // namespace QUAX
