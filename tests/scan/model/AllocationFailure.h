// SPDX-License-Identifier: MIT
// Test seam for the std::bad_alloc paths of the data model: this test
// program replaces the global operator new, and an AllocationFailure makes
// one chosen allocation fail.
#ifndef QUAX_TESTS_SCAN_MODEL_ALLOCATIONFAILURE_H_
#define QUAX_TESTS_SCAN_MODEL_ALLOCATIONFAILURE_H_

namespace QUAX {
namespace testing {

// While alive, the allocation after `allowed` further successful ones throws
// std::bad_alloc; later ones succeed again.
class AllocationFailure {
 public:
  explicit AllocationFailure(long allowed);
  ~AllocationFailure();
  AllocationFailure(const AllocationFailure&) = delete;
  AllocationFailure& operator=(const AllocationFailure&) = delete;

  // Whether the chosen allocation has failed.
  bool fired() const;
};

// False where the library's allocations do not go through this program's
// operator new (Windows DLLs bind to the runtime's own).
bool allocationFailuresReachTheLibrary();

}  // namespace testing
}  // namespace QUAX

#endif  // QUAX_TESTS_SCAN_MODEL_ALLOCATIONFAILURE_H_
