// SPDX-License-Identifier: MIT
#include "thread/ThreadPort.h"

#include <atomic>

namespace QUAX {
namespace port {

namespace {
// Read on every port call, so the common case is one load and no hook.
std::atomic<const PortHook*> gHook{nullptr};
}  // namespace

void setPortHook(const PortHook* hook) noexcept {
  gHook.store(hook, std::memory_order_release);
}

namespace detail {
bool failByHook(PortCall call) noexcept {
  const PortHook* hook = gHook.load(std::memory_order_acquire);
  return hook != nullptr && hook->onCall(hook->context, call);
}
}  // namespace detail

}  // namespace port
}  // namespace QUAX
