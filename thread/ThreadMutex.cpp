// SPDX-License-Identifier: MIT
#include "thread/ThreadMutex.h"

#include "thread/ThreadErrors.h"

namespace QUAX {

ThreadMutex::~ThreadMutex() {
  port::MutexHandle handle = _handle.exchange(nullptr);
  if (handle != nullptr) port::closeMutex(handle);
}

int ThreadMutex::wait(std::uint32_t timeoutMs) {
  port::MutexHandle handle = _handle.load(std::memory_order_acquire);
  if (handle == nullptr) {
    port::MutexHandle created = port::createMutex();
    if (created == nullptr) throw EThreadNoMutexAvailable();
    if (_handle.compare_exchange_strong(handle, created,
                                        std::memory_order_acq_rel,
                                        std::memory_order_acquire)) {
      handle = created;
    } else {
      port::closeMutex(created);  // `handle` now holds the winner's mutex
    }
  }
  return waitResultOrThrow<EThreadWaitFailOnMutex>(port::waitMutex(handle, timeoutMs));
}

void ThreadMutex::release() noexcept {
  port::MutexHandle handle = _handle.load(std::memory_order_acquire);
  if (handle != nullptr) port::releaseMutex(handle);
}

}  // namespace QUAX
