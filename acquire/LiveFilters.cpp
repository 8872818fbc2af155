// SPDX-License-Identifier: MIT
#include "acquire/LiveFilters.h"

#include <algorithm>
#include <exception>
#include <new>
#include <utility>

#include "scan/ScanErrors.h"
#include "scan/model/ScanFrame.h"
#include "scan/model/ScanLine.h"

namespace QUAX {

namespace {

// How long one wait for a surface or a frame lasts before a thread looks
// whether it was asked to stop.
constexpr std::chrono::milliseconds kStep{50};

}  // namespace

LiveFilters::LiveFilters(ScanAcquisition& acquisition,
                         std::vector<const ScanLineFilter*> filters,
                         unsigned threads)
    : _acquisition(acquisition),
      _filters(std::move(filters)),
      _threadCount(threads != 0
                       ? threads
                       : std::max(1u, std::thread::hardware_concurrency())),
      _next(std::make_unique<std::atomic<std::uint64_t>[]>(_threadCount)) {
  for (unsigned t = 0; t < _threadCount; ++t) _next[t].store(t);
  _running.store(_threadCount);
  try {
    _threads.reserve(_threadCount);
    for (unsigned t = 0; t < _threadCount; ++t)
      _threads.emplace_back([this, t] { run(t); });
  } catch (...) {
    stop();
    for (std::thread& thread : _threads) thread.join();
    throw;
  }
}

LiveFilters::~LiveFilters() {
  stop();
  for (std::thread& thread : _threads) thread.join();
}

void LiveFilters::stop() noexcept { _stopRequested.store(true); }

std::uint64_t LiveFilters::filtered() const noexcept {
  std::uint64_t done = _total.load();
  for (unsigned t = 0; t < _threadCount; ++t)
    done = std::min(done, _next[t].load());
  return done;
}

bool LiveFilters::finished() const noexcept { return _running.load() == 0; }

bool LiveFilters::waitFiltered(std::uint64_t count,
                               std::chrono::milliseconds timeout) const {
  // Announced before the test under the mutex, so that a thread that
  // publishes after the test sees a waiter and notifies.
  _waiting.fetch_add(1);
  {
    std::unique_lock<std::mutex> lock(_mutex);
    _changed.wait_for(lock, timeout,
                      [&] { return filtered() >= count || finished(); });
  }
  _waiting.fetch_sub(1);
  return filtered() >= count;
}

bool LiveFilters::wait(std::chrono::milliseconds timeout) const {
  _waiting.fetch_add(1);
  bool ended = false;
  {
    std::unique_lock<std::mutex> lock(_mutex);
    ended = _changed.wait_for(lock, timeout, [&] { return finished(); });
  }
  _waiting.fetch_sub(1);
  return ended;
}

std::string LiveFilters::failure() const {
  std::lock_guard<std::mutex> lock(_mutex);
  return _failure;
}

void LiveFilters::publish(unsigned t, std::uint64_t next) {
  _next[t].store(next);
  if (_waiting.load() == 0) return;
  { std::lock_guard<std::mutex> lock(_mutex); }
  _changed.notify_all();
}

void LiveFilters::filterFrame(ScanFrame& frame) {
  if (!frame.hasScanLine()) return;
  ScanLine* line = frame.getScanLine();
  for (const ScanLineFilter* filter : _filters) {
    try {
      filterScanLine(*filter, line);
    } catch (const EScanException&) {
      _refused.fetch_add(1);
    }
  }
  // The memory of the points the filters dropped goes back at once: to the
  // source's pool, whose chunk then serves the next profiles instead of
  // fresh pages (a thinned profile keeps a small part of its points), or to
  // the heap. No reader has seen this line's points yet.
  try {
    if (!_filters.empty()) line->getPoints().shrinkToFit();
  } catch (const std::bad_alloc&) {
    // The line stays as the filters left it, in its larger block.
  }
}

// Thread t's share: frames t, t + n, ... of the run, surface by surface;
// `base` is the run index of the current surface's first frame.
void LiveFilters::walk(unsigned t) {
  const std::uint64_t n = _threadCount;
  std::uint64_t base = 0;
  for (std::size_t s = 0;; ++s) {
    ScanSurface* surface = nullptr;
    while (surface == nullptr) {
      if (_stopRequested.load()) return;
      surface = _acquisition.surface(s, kStep);
      // Looked at once more after the end: the surface may have come just
      // before it.
      if (surface == nullptr && _acquisition.finished()) {
        surface = _acquisition.surface(s);
        if (surface == nullptr) {
          _total.store(base);
          publish(t, kEnd);
          return;
        }
      }
    }
    std::uint64_t index = base + (t + n - base % n) % n;
    for (;;) {
      if (_stopRequested.load()) return;
      ScanFrame* frame = nullptr;
      try {
        frame = surface->getFrame(static_cast<std::size_t>(index - base), kStep);
      } catch (const EScanSurfaceWaitTimeout&) {
        continue;
      } catch (const EScanSurfaceRangeException&) {
        break;  // the surface is complete and this thread's frames done
      }
      filterFrame(*frame);
      index += n;
      publish(t, index);
    }
    base += surface->getFrameCount();
  }
}

void LiveFilters::fail(const char* why) noexcept {
  stop();
  std::lock_guard<std::mutex> lock(_mutex);
  if (!_failure.empty()) return;
  try {
    _failure = why;
  } catch (...) {
    // Out of memory for the message: the filtering still ends.
  }
}

void LiveFilters::run(unsigned t) noexcept {
  try {
    walk(t);
  } catch (const std::exception& e) {
    fail(e.what());
  } catch (...) {
    fail("unknown error while filtering");
  }
  {
    std::lock_guard<std::mutex> lock(_mutex);
    _running.fetch_sub(1);
  }
  _changed.notify_all();
}

}  // namespace QUAX
