// SPDX-License-Identifier: MIT
// A port hook for internal thread tests: observes or fails system calls.
#ifndef QUAX_TESTS_THREAD_SCOPEDPORTHOOK_H_
#define QUAX_TESTS_THREAD_SCOPEDPORTHOOK_H_

#include <functional>
#include <utility>

#include "thread/ThreadPort.h"

namespace QUAX {
namespace testing {

// Installs a port hook for its lifetime. `onCall` runs on every thread that
// makes a port call and returns true to make the call fail; it must be
// thread safe. Declare the hook before the threads that use it, so that the
// threads are joined before it is removed.
class ScopedPortHook {
 public:
  explicit ScopedPortHook(std::function<bool(port::PortCall)> onCall)
      : _onCall(std::move(onCall)), _hook{&ScopedPortHook::call, this} {
    port::setPortHook(&_hook);
  }
  ~ScopedPortHook() { port::setPortHook(nullptr); }
  ScopedPortHook(const ScopedPortHook&) = delete;
  ScopedPortHook& operator=(const ScopedPortHook&) = delete;

 private:
  static bool call(void* self, port::PortCall which) {
    return static_cast<ScopedPortHook*>(self)->_onCall(which);
  }

  std::function<bool(port::PortCall)> _onCall;
  port::PortHook _hook;
};

}  // namespace testing
}  // namespace QUAX

#endif  // QUAX_TESTS_THREAD_SCOPEDPORTHOOK_H_
