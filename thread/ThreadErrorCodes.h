// SPDX-License-Identifier: MIT
// Codes of the thread exceptions. The exception classes stay inside the
// library (thread/ThreadErrors.h); their codes are public, so that a host
// that catches one as EVXException can tell which it is. This is the one
// header of thread/ that is installed; scan/ScanErrors.h includes it.
#ifndef QUAX_THREAD_THREADERRORCODES_H_
#define QUAX_THREAD_THREADERRORCODES_H_

#include <cstdint>

namespace QUAX {

enum ThreadErrorCode : std::int32_t {
  // The system had no mutex to give.
  kThreadNoMutexAvailable = 17560,
  // Waiting for a mutex failed, an abandoned mutex included.
  kThreadWaitFailOnMutex = 17561,
  // The system had no semaphore to give.
  kThreadNoSemaphoreAvailable = 17562,
  // A wait on a semaphore whose creation failed.
  kThreadWaitOnNullSemaphore = 17563,
  // Waiting on a semaphore failed.
  kThreadWaitFailOnSemaphore = 17564,
};

}  // namespace QUAX

#endif  // QUAX_THREAD_THREADERRORCODES_H_
