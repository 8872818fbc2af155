// SPDX-License-Identifier: MIT
// Filtering the frames of a set or a surface on several threads at once.
//
// Frames are independent, so a const filter (whose filterLine may run on
// several threads at once) can filter many frames at the same time. A
// ParallelFilterWalk hands the frames out, in the order of the serial walk
// of ScanLineFilter::applyFilter, to any number of threads that call work();
// applyFilterParallel starts those threads and waits for them.
#ifndef QUAX_SCAN_FILTERS_PARALLELFILTER_H_
#define QUAX_SCAN_FILTERS_PARALLELFILTER_H_

#include <cstddef>
#include <exception>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "scan/QUAXScanExport.h"

namespace QUAX {

class ScanLineFilter;
template <class T>
class _ScanSet;
template <class T>
class _ScanSurface;

// One walk of a filter over the frames of a set (surfaces in order, frames by
// index) or of one surface, shared by the threads that call work().
//
// Frames are claimed one at a time in walk order. Each claim reads the
// surface's frame count under its read guard, as the serial walk does before
// each frame, and a surface ends at the first index not below the count read
// then; frames appended later are left to the next walk. The frames filtered
// are therefore exactly those the serial walk filters (given the same frame
// counts), each filtered once, with the same result whatever the number of
// threads.
//
// Errors: an EScanException of one frame (no scan line, a frame past the
// end, a filter error) is dropped and the walk goes on, as in the serial
// walk. Any other exception stops the walk: no thread claims another frame,
// each finishes the frame it is on, and finish() rethrows the exception of
// the lowest frame in walk order (surface, then frame) that threw one; the
// others are dropped. Every frame before that one has been filtered (or
// dropped an EScanException); frames after it may or may not have been,
// depending on how far the other threads had got.
//
// The walk holds references to the filter and the set or surface: both must
// outlive it. REQUIRES: no other thread writes the walked scan lines, and no
// settings are read into the filter, while the walk runs.
class QUAX_SCAN_API ParallelFilterWalk {
 public:
  ParallelFilterWalk(const ScanLineFilter& filter, _ScanSet<double>& set);
  ParallelFilterWalk(const ScanLineFilter& filter,
                     _ScanSurface<double>& surface);
  ParallelFilterWalk(const ParallelFilterWalk&) = delete;
  ParallelFilterWalk& operator=(const ParallelFilterWalk&) = delete;
  ~ParallelFilterWalk();

  // Claims and filters frames until the walk has no frame left or has been
  // stopped by an exception; any number of threads may call it at once.
  // Throws nothing: exceptions are kept for finish().
  void work() noexcept;

  // Call once every work() has returned: rethrows the kept exception of the
  // lowest frame, if any.
  void finish();

 private:
  // Claims the next frame in walk order; false when none is left or the
  // walk has stopped.
  bool claim(const _ScanSurface<double>*& surface, std::size_t& surfaceIndex,
             std::size_t& frameIndex);
  // Stops the walk and keeps `error` if its frame is the lowest so far.
  // REQUIRES: _mutex held.
  void keepLocked(std::size_t surfaceIndex, std::size_t frameIndex,
                  std::exception_ptr error);

  const ScanLineFilter& _filter;
  _ScanSet<double>* _set;
  _ScanSurface<double>* _surface;

  std::mutex _mutex;  // guards everything below
  std::size_t _nextSurface = 0;
  std::size_t _nextFrame = 0;
  bool _stopped = false;
  std::exception_ptr _error;
  std::size_t _errorSurface = 0;
  std::size_t _errorFrame = 0;
};

namespace parallel_detail {

// Runs walk.work() on `threads` threads (0: one per hardware thread), the
// calling thread being one of them, and returns when all are done. Threads
// that cannot be started leave their share to the others.
inline void runWalk(ParallelFilterWalk& walk, unsigned threads) {
  if (threads == 0) threads = std::thread::hardware_concurrency();
  std::vector<std::thread> helpers;
  if (threads > 1) {
    try {
      helpers.reserve(threads - 1);
      for (unsigned t = 1; t < threads; ++t) {
        helpers.emplace_back([&walk] { walk.work(); });
      }
    } catch (const std::system_error&) {
      // Fewer threads: the others do the work.
    } catch (const std::bad_alloc&) {
    }
  }
  walk.work();
  for (std::thread& helper : helpers) helper.join();
}

}  // namespace parallel_detail

// Filters the scan line of every frame of every surface of `set` on
// `threads` threads (0: std::thread::hardware_concurrency(); 1: the calling
// thread alone), with the result of filter.applyFilter(set), bit for bit.
// Exceptions as ParallelFilterWalk says: an EScanException of one frame is
// dropped; of any other exceptions the one of the lowest frame is rethrown
// after every thread has finished, and frames after it may have been
// filtered too. The threads are started here, in the caller's code, and all
// have ended when the call returns. The filter must be one that may filter
// lines on several threads at once (all the library's filters may).
inline void applyFilterParallel(const ScanLineFilter& filter,
                                _ScanSet<double>& set, unsigned threads = 0) {
  ParallelFilterWalk walk(filter, set);
  parallel_detail::runWalk(walk, threads);
  walk.finish();
}

// The same for the frames of one surface.
inline void applyFilterParallel(const ScanLineFilter& filter,
                                _ScanSurface<double>& surface,
                                unsigned threads = 0) {
  ParallelFilterWalk walk(filter, surface);
  parallel_detail::runWalk(walk, threads);
  walk.finish();
}

}  // namespace QUAX

#endif  // QUAX_SCAN_FILTERS_PARALLELFILTER_H_
