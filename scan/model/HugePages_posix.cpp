// SPDX-License-Identifier: MIT
// Huge pages on Linux: transparent huge pages are often enabled only for
// memory that asks for them (madvise mode); elsewhere the hint is dropped.
#include "scan/model/HugePages.h"

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace QUAX {
namespace detail {

void adviseHugePages(void* memory, std::size_t bytes) noexcept {
#if defined(MADV_HUGEPAGE)
  // The result is not looked at: a refusal leaves ordinary pages.
  (void)madvise(memory, bytes, MADV_HUGEPAGE);
#else
  (void)memory;
  (void)bytes;
#endif
}

}  // namespace detail
}  // namespace QUAX
