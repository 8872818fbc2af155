// SPDX-License-Identifier: MIT
// Helpers for the thread tests: threads joined with a time bound, counters
// to wait on, and the code of a thrown exception.
#ifndef QUAX_TESTS_THREAD_THREADTESTSUPPORT_H_
#define QUAX_TESTS_THREAD_THREADTESTSUPPORT_H_

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <mutex>
#include <thread>
#include <utility>

#include "util/VXException.h"

namespace QUAX {
namespace testing {

// Generous bound for anything that should happen "soon".
constexpr std::chrono::milliseconds kBound{5000};
// Bound for the stress loops, which a loaded machine slows down a lot.
constexpr std::chrono::milliseconds kStressBound{60000};

// Runs `body` on its own thread. The test joins it with joinWithin(); a
// thread that is still blocked when the helper goes means a lock is stuck,
// and the process ends at once rather than hang the test run.
class BoundedThread {
 public:
  template <class Body>
  explicit BoundedThread(Body body) {
    std::promise<void> done;
    _done = done.get_future();
    _thread =
        std::thread([body = std::move(body), done = std::move(done)]() mutable {
          try {
            body();
          } catch (...) {
          }
          done.set_value();
        });
  }
  BoundedThread(const BoundedThread&) = delete;
  BoundedThread& operator=(const BoundedThread&) = delete;
  ~BoundedThread() {
    if (!_thread.joinable() || joinWithin()) return;
    std::fprintf(stderr, "a test thread is still blocked; giving up\n");
    std::fflush(nullptr);
    std::_Exit(EXIT_FAILURE);
  }

  // True when the body has ended within `limit`; the thread is then joined.
  bool joinWithin(std::chrono::milliseconds limit = kBound) {
    if (!_thread.joinable()) return true;
    if (_done.wait_for(limit) != std::future_status::ready) return false;
    _thread.join();
    return true;
  }

 private:
  std::future<void> _done;
  std::thread _thread;
};

// A counter that threads can wait on; reaching 1 serves as a signal.
class Counter {
 public:
  void add() {
    {
      std::lock_guard<std::mutex> lock(_mutex);
      ++_value;
    }
    _changed.notify_all();
  }
  int value() {
    std::lock_guard<std::mutex> lock(_mutex);
    return _value;
  }
  bool reachesWithin(int target, std::chrono::milliseconds limit = kBound) {
    std::unique_lock<std::mutex> lock(_mutex);
    return _changed.wait_for(lock, limit, [&] { return _value >= target; });
  }

 private:
  std::mutex _mutex;
  std::condition_variable _changed;
  int _value = 0;
};

// The code of the EVXException that `body` throws; 0 when it throws none.
template <class Body>
std::int32_t codeThrownBy(Body body) {
  try {
    body();
  } catch (const EVXException& e) {
    return e.getCode();
  }
  return 0;
}

}  // namespace testing
}  // namespace QUAX

#endif  // QUAX_TESTS_THREAD_THREADTESTSUPPORT_H_
