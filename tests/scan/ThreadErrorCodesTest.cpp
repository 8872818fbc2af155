// SPDX-License-Identifier: MIT
// The codes of the thread exceptions, which a host meets as EVXException,
// are named by the public error header.
#include <gtest/gtest.h>

#include <cstdint>

#include "scan/ScanErrors.h"

namespace QUAX {
namespace {

TEST(ThreadErrorCodes, NameTheCodesOfTheThreadFamily) {
  const std::int32_t codes[] = {kThreadNoMutexAvailable, kThreadWaitFailOnMutex,
                                kThreadNoSemaphoreAvailable,
                                kThreadWaitOnNullSemaphore,
                                kThreadWaitFailOnSemaphore};
  for (std::int32_t i = 0; i < 5; ++i) EXPECT_EQ(codes[i], 17560 + i);
}

}  // namespace
}  // namespace QUAX
