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

}  // namespace QUAX

#endif  // QUAX_THREAD_THREADWAIT_H_
