// SPDX-License-Identifier: MIT
// Internal: asking the system for huge pages under large blocks.
#ifndef QUAX_SCAN_MODEL_HUGEPAGES_H_
#define QUAX_SCAN_MODEL_HUGEPAGES_H_

#include <cstddef>

namespace QUAX {
namespace detail {

// The huge page size the point pool aligns its chunks to.
constexpr std::size_t kHugePageBytes = std::size_t(2) << 20;

// Platform part: asks that `bytes` at `memory` (untouched yet) be backed by
// huge pages, so that filling them costs one fault per huge page rather than
// one per small page. Only a hint: where the system has none, or refuses,
// nothing changes.
void adviseHugePages(void* memory, std::size_t bytes) noexcept;

}  // namespace detail
}  // namespace QUAX

#endif  // QUAX_SCAN_MODEL_HUGEPAGES_H_
