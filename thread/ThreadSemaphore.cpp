// SPDX-License-Identifier: MIT
#include "thread/ThreadSemaphore.h"

#include "thread/ThreadErrors.h"

namespace QUAX {

ThreadSemaphore::ThreadSemaphore() noexcept
    : _handle(port::createSemaphore()) {}

ThreadSemaphore::~ThreadSemaphore() {
  if (_handle != nullptr) port::closeSemaphore(_handle);
}

int ThreadSemaphore::wait(std::uint32_t timeoutMs) {
  if (_handle == nullptr) throw EThreadWaitOnNullSemaphore();
  return waitResultOrThrow<EThreadWaitFailOnSemaphore>(port::waitSemaphore(_handle, timeoutMs));
}

void ThreadSemaphore::post() noexcept {
  if (_handle != nullptr) port::postSemaphore(_handle);
}

}  // namespace QUAX
