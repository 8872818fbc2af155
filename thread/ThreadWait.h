// SPDX-License-Identifier: MIT
// Timeouts and results shared by the timed waits of the thread primitives.
#ifndef QUAX_THREAD_THREADWAIT_H_
#define QUAX_THREAD_THREADWAIT_H_

#include <cstdint>

#include "thread/ThreadPort.h"

namespace QUAX {

// Timeouts are in milliseconds; this one waits without limit.
constexpr std::uint32_t kThreadWaitInfinite = port::kInfinite;

// Results of a timed wait.
constexpr int kThreadWaitSignalled = 0;
constexpr int kThreadWaitTimedOut = -1;

// The result of a port wait: 0 when signalled, -1 when timed out; a failed
// wait throws `Failure`.
template <class Failure>
int waitResultOrThrow(port::WaitResult result) {
  switch (result) {
    case port::WaitResult::kSignalled:
      return kThreadWaitSignalled;
    case port::WaitResult::kTimedOut:
      return kThreadWaitTimedOut;
    case port::WaitResult::kFailed:
      break;
  }
  throw Failure();
}

}  // namespace QUAX

#endif  // QUAX_THREAD_THREADWAIT_H_
