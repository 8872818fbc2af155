// SPDX-License-Identifier: MIT
// A port hook for internal thread tests: counts system calls by kind and
// makes chosen ones fail.
#ifndef QUAX_TESTS_THREAD_SCOPEDPORTHOOK_H_
#define QUAX_TESTS_THREAD_SCOPEDPORTHOOK_H_

#include <functional>
#include <utility>

#include "tests/thread/ThreadTestSupport.h"
#include "thread/ThreadMutex.h"
#include "thread/ThreadPort.h"

namespace QUAX {
namespace testing {

// Installs a port hook for its lifetime. `fail` runs on every thread that
// makes a port call and returns true to make the call fail; it must be
// thread safe. Declare the hook before the threads that use it, so that the
// threads are joined before it is removed.
class ScopedPortHook {
 public:
  explicit ScopedPortHook(std::function<bool(port::PortCall)> fail = {})
      : _fail(std::move(fail)), _hook{&ScopedPortHook::call, this} {
    port::setPortHook(&_hook);
  }
  ~ScopedPortHook() { port::setPortHook(nullptr); }
  ScopedPortHook(const ScopedPortHook&) = delete;
  ScopedPortHook& operator=(const ScopedPortHook&) = delete;

  // Calls of one kind so far (failed ones included).
  Counter& operator[](port::PortCall which) {
    return _calls[static_cast<int>(which)];
  }

 private:
  static bool call(void* self, port::PortCall which) {
    auto* hook = static_cast<ScopedPortHook*>(self);
    (*hook)[which].add();
    return hook->_fail && hook->_fail(which);
  }

  std::function<bool(port::PortCall)> _fail;
  port::PortHook _hook;
  Counter _calls[6];
};

// Whether another thread could take `mutex` right now.
inline bool freeForOthers(ThreadMutex& mutex) {
  int result = 1;
  BoundedThread other([&] {
    result = mutex.wait(0);
    if (result == kThreadWaitSignalled) mutex.release();
  });
  return other.joinWithin() && result == kThreadWaitSignalled;
}

}  // namespace testing
}  // namespace QUAX

#endif  // QUAX_TESTS_THREAD_SCOPEDPORTHOOK_H_
