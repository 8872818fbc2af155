// SPDX-License-Identifier: MIT
// Scan line filters run live on an acquisition: each frame is filtered as
// soon as the acquisition thread has appended it, on one or more threads.
#ifndef QUAX_ACQUIRE_LIVEFILTERS_H_
#define QUAX_ACQUIRE_LIVEFILTERS_H_

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "acquire/QUAXAcquireExport.h"
#include "acquire/ScanAcquisition.h"
#include "scan/filters/ScanLineFilter.h"

namespace QUAX {

// Runs a chain of filters on the line of every frame of an acquisition, in
// the chain's order, each frame once, while the run goes on.
//
// Frames are shared out in turn: of `threads` threads, thread t takes the
// frames t, t + threads, t + 2 * threads, ... in acquisition order (surfaces
// in order, frames by index), waiting for each with the surface's timed
// getFrame. The frames filtered so far are always a prefix of the run:
// filtered() counts them, and waitFiltered() waits for a frame's turn, so a
// reader that reads frame k only once filtered() > k never meets a line a
// filter is still writing.
//
// A line the filters thinned is moved into memory of its own size before
// its turn is published, so that the memory of the dropped points serves the
// next profiles (_ScanPointArray::shrinkToFit); its positions, items and
// order are the filters' to the bit. Until then the line is the filters'
// alone: its points (and pointers to them) move.
//
// A filter that refuses a line (an EScanException) leaves it as that filter
// found it and the chain goes on with the next filter; refused() counts
// these. Any other error ends the filtering (failure() says why; frames
// after it stay as they came).
//
// The filters and the acquisition must outlive this object. The filters
// must allow filterLine on several threads at once, as the library's do, and
// keep their settings while the run lasts. No other thread may write the
// lines meanwhile.
class QUAX_ACQUIRE_API LiveFilters {
 public:
  // Starts the threads (0: one per hardware thread). An empty chain filters
  // nothing and counts every frame as filtered once it has arrived.
  LiveFilters(ScanAcquisition& acquisition,
              std::vector<const ScanLineFilter*> filters,
              unsigned threads = 1);
  LiveFilters(const LiveFilters&) = delete;
  LiveFilters& operator=(const LiveFilters&) = delete;
  // Stops the threads after the frames they are on and waits for them.
  ~LiveFilters();

  // Asks the threads to end after the frames they are on; returns at once.
  void stop() noexcept;
  // Frames filtered: every frame of the run before this index is done.
  std::uint64_t filtered() const noexcept;
  // Lines a filter refused.
  std::uint64_t refused() const noexcept { return _refused.load(); }
  // True once the threads have ended: the run ended and every frame of it
  // was filtered, or stop() was called, or an error ended the filtering.
  bool finished() const noexcept;
  // Waits at most `timeout` until filtered() >= count; false when the time
  // is up or the filtering ended first.
  bool waitFiltered(std::uint64_t count,
                    std::chrono::milliseconds timeout) const;
  // Waits at most `timeout` for the threads to end; true when they have.
  bool wait(std::chrono::milliseconds timeout) const;
  // Why the filtering ended early; empty when it did not.
  std::string failure() const;
  unsigned threads() const noexcept { return _threadCount; }

 private:
  void run(unsigned t) noexcept;
  void fail(const char* why) noexcept;
  void walk(unsigned t);
  void filterFrame(ScanFrame& frame);
  void publish(unsigned t, std::uint64_t next);
  std::uint64_t filteredLocked() const noexcept;

  static constexpr std::uint64_t kEnd = ~std::uint64_t(0);

  ScanAcquisition& _acquisition;
  std::vector<const ScanLineFilter*> _filters;
  unsigned _threadCount;
  std::atomic<bool> _stopRequested{false};
  std::atomic<std::uint64_t> _refused{0};
  // Thread t has filtered each of its frames before _next[t] (kEnd once it
  // has ended); _total is the run's frame count once a thread found the end.
  std::unique_ptr<std::atomic<std::uint64_t>[]> _next;
  std::atomic<std::uint64_t> _total{kEnd};
  std::atomic<unsigned> _running{0};
  mutable std::atomic<int> _waiting{0};

  mutable std::mutex _mutex;  // guards _failure; pairs with _changed
  mutable std::condition_variable _changed;
  std::string _failure;

  std::vector<std::thread> _threads;  // last: they start once all is there
};

}  // namespace QUAX

#endif  // QUAX_ACQUIRE_LIVEFILTERS_H_
