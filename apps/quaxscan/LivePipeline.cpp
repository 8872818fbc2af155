// SPDX-License-Identifier: MIT
#include "apps/quaxscan/LivePipeline.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <exception>
#include <future>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "acquire/SimulatedScanner.h"
#include "scan/ScanErrors.h"
#include "scan/filters/ScanAverageFilter.h"
#include "scan/filters/ScanChordalDeviationFilter.h"
#include "scan/model/ScanFrame.h"
#include "scan/model/ScanLine.h"
#include "scan/model/ScanSurface.h"

namespace quaxscan {
namespace {

using Clock = std::chrono::steady_clock;

// How long a filter thread waits for a frame before it takes the acquisition
// for stalled.
constexpr std::chrono::milliseconds kFrameWait{60000};

double msBetween(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

// The value below which a share q of the sorted values lie.
double quantile(const std::vector<double>& sorted, double q) {
  if (sorted.empty()) return 0.0;
  const auto i =
      static_cast<std::size_t>(q * static_cast<double>(sorted.size()));
  return sorted[std::min(i, sorted.size() - 1)];
}

// glibc hands freed memory at the top of a heap back to the system once
// it passes 128 KB, and later frames fault it in again page by page (a
// quarter of a millisecond per 2,000-point line on a virtual machine, enough
// to make the acquisition fall behind at 10,000 lines/s): a host that
// acquires for hours keeps it in the process instead.
void keepFreedMemory() {
#if defined(__GLIBC__)
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  mallopt(M_MMAP_THRESHOLD, 32 << 20);  // lines are never mapped one by one
#endif
}

// Makes and frees `frames` frames on the calling thread, so that its heap
// holds the memory of the backlog before the acquisition starts. A failure
// only ends the warm-up early: the acquisition then meets it and reports it.
void warmUp(const std::vector<QUAX::ScanLine>& profiles, std::size_t frames) {
  keepFreedMemory();
  try {
    std::vector<std::unique_ptr<QUAX::ScanFrame>> made;
    made.reserve(frames);
    for (std::size_t k = 0; k < frames; ++k) {
      made.push_back(std::make_unique<QUAX::ScanFrame>(
          std::make_unique<QUAX::ScanLine>(profiles[k % profiles.size()])));
    }
  } catch (...) {
  }
}

// The settings' one check: what a run needs to be a run.
void checkSettings(const LiveSettings& settings) {
  if (!(settings.lineRate > 0.0) || !(settings.seconds > 0.0) ||
      settings.pointsPerLine < 3 || settings.framesPerSurface == 0 ||
      !(settings.deviationLimit > 0.0)) {
    throw std::invalid_argument(
        "live pipeline: the line rate, the time, the deviation limit and the "
        "frames per surface must be positive and a line needs 3 points");
  }
}

// One run: an acquisition thread appends frames to the surfaces at the
// line rate while the filter threads take them as they come; each surface
// is dropped once it is complete and all its frames are filtered.
class PipelineRun {
 public:
  explicit PipelineRun(const LiveSettings& settings)
      : _settings(settings),
        _total(static_cast<std::size_t>(
            std::max(1.0, std::round(settings.lineRate * settings.seconds)))),
        _perSurface(settings.framesPerSurface),
        _surfaceCount((_total + _perSurface - 1) / _perSurface),
        _surfaces(_surfaceCount),
        _finished(new std::atomic<std::size_t>[_surfaceCount]),
        _appended(_total),
        _filteredAt(_total),
        _average(5, 1.0),
        _chordal(settings.deviationLimit, 2000.0, settings.pointsPerLine) {
    // A few profiles of the simulated part, copied into each frame as the
    // camera's lines would be.
    QUAX::ScannerSettings scannerSettings;
    scannerSettings.pointsPerLine = settings.pointsPerLine;
    QUAX::SimulatedScanner scanner(scannerSettings);
    for (std::size_t i = 0; i < 16; ++i)
      _profiles.push_back(*scanner.profile(i));
    for (auto& surface : _surfaces) {
      surface = std::make_unique<QUAX::ScanSurface>();
    }
    for (std::size_t s = 0; s < _surfaceCount; ++s) _finished[s] = 0;
  }

  LiveResult run(const std::function<void(const LiveProgress&)>& progress) {
    std::thread acquisition([this] { acquire(); });
    const Clock::time_point start = _started.get_future().get();
    unsigned threadCount = _settings.filterThreads;
    if (threadCount == 0)
      threadCount = std::max(1u, std::thread::hardware_concurrency());
    std::vector<std::thread> filters;
    for (unsigned t = 0; t < threadCount; ++t) {
      filters.emplace_back([this] {
        filterFrames();
        _filtersDone.fetch_add(1);
      });
    }
    while (_filtersDone.load() < filters.size()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      report(progress, start);
    }
    acquisition.join();
    for (std::thread& t : filters) t.join();
    report(progress, start);
    if (_acquisitionError) std::rethrow_exception(_acquisitionError);
    if (_stalled) {
      throw std::runtime_error(
          "live pipeline: the acquisition delivered no frame for a minute");
    }
    return summary();
  }

 private:
  std::size_t framesOf(std::size_t s) const {
    return std::min(_perSurface, _total - s * _perSurface);
  }

  // Frames filtered per surface, plus one once the filler has completed it:
  // whoever brings it to the end drops the surface.
  void finishOne(std::size_t s) {
    if (_finished[s].fetch_add(1) + 1 == framesOf(s) + 1) _surfaces[s].reset();
  }

  // The acquisition thread. The clock starts once its memory is warm.
  void acquire() {
    if (_settings.warmUp) warmUp(_profiles, 2 * _perSurface);
    const Clock::time_point start = Clock::now();
    _started.set_value(start);
    std::size_t s = 0;
    try {
      const std::chrono::duration<double> period(1.0 / _settings.lineRate);
      for (std::size_t k = 0; k < _total; ++k) {
        const Clock::time_point due =
            start + std::chrono::duration_cast<Clock::duration>(
                        period * static_cast<double>(k));
        const Clock::time_point now = Clock::now();
        if (now < due) {
          std::this_thread::sleep_until(due);
        } else {
          _worstLateMs = std::max(_worstLateMs, msBetween(due, now));
        }
        auto frame = std::make_unique<QUAX::ScanFrame>(
            std::make_unique<QUAX::ScanLine>(_profiles[k % _profiles.size()]));
        frame->getSyncObject()->setDataState(1);
        s = k / _perSurface;
        _appended[k] = Clock::now();
        // Counted before the append: a filter thread may take the frame
        // the moment it is in, and filtered must never pass acquired.
        _acquired.store(k + 1);
        _surfaces[s]->appendFrame(std::move(frame));
        if (k + 1 == _total || (k + 1) % _perSurface == 0) {
          _surfaces[s]->setComplete();
          finishOne(s);
          ++s;
        }
      }
    } catch (...) {
      // Wake the filter threads: the frames that never came are past the
      // end of complete surfaces.
      _acquisitionError = std::current_exception();
      for (; s < _surfaceCount; ++s) {
        _surfaces[s]->setComplete();
        finishOne(s);
      }
    }
  }

  // A filter thread: takes the next frame not yet taken until none is left.
  void filterFrames() {
    for (std::size_t k = _next.fetch_add(1); k < _total;
         k = _next.fetch_add(1)) {
      const std::size_t s = k / _perSurface;
      QUAX::ScanLine* line = nullptr;
      try {
        // The waiting getFrame that catches every append at once: a frame
        // appended just before the wait costs no poll interval of lag.
        line =
            _surfaces[s]->getFrame(k % _perSurface, kFrameWait)->getScanLine();
      } catch (const QUAX::EScanSurfaceRangeException&) {
        return;  // the acquisition failed
      } catch (const QUAX::EScanSurfaceWaitTimeout&) {
        _stalled = true;  // the acquisition hangs
        return;
      }
      try {
        QUAX::filterScanLine(_average, line);
        QUAX::filterScanLine(_chordal, line);
      } catch (const QUAX::EScanException&) {
        _refused.fetch_add(1);
      }
      _filteredAt[k] = Clock::now();
      _lastLagUs.store(std::chrono::duration_cast<std::chrono::microseconds>(
                           _filteredAt[k] - _appended[k])
                           .count());
      _filtered.fetch_add(1);
      finishOne(s);
    }
  }

  void report(const std::function<void(const LiveProgress&)>& progress,
              Clock::time_point start) const {
    if (!progress) return;
    LiveProgress p;
    p.filtered = _filtered.load();  // first: acquired only grows after it
    p.acquired = _acquired.load();
    p.total = _total;
    p.seconds = msBetween(start, Clock::now()) / 1000.0;
    p.lastLagMs = static_cast<double>(_lastLagUs.load()) / 1000.0;
    progress(p);
  }

  // The rate and the lags of a run whose every frame was filtered.
  LiveResult summary() const {
    LiveResult result;
    result.frames = _total;
    result.refusedLines = _refused.load();
    result.acquisitionLateMs = _worstLateMs;
    const double spanMs = msBetween(_appended.front(), _appended.back());
    result.lineRate = spanMs > 0.0
                          ? 1000.0 * static_cast<double>(_total - 1) / spanMs
                          : _settings.lineRate;
    std::vector<double> lags(_total);
    for (std::size_t k = 0; k < _total; ++k) {
      lags[k] = msBetween(_appended[k], _filteredAt[k]);
    }
    std::vector<double> tail(
        lags.end() -
            static_cast<std::ptrdiff_t>(std::max<std::size_t>(1, _total / 10)),
        lags.end());
    std::sort(tail.begin(), tail.end());
    std::sort(lags.begin(), lags.end());
    result.lagMedianMs = quantile(lags, 0.5);
    result.lagP99Ms = quantile(lags, 0.99);
    result.lagMaxMs = lags.back();
    result.lateTailMedianMs = quantile(tail, 0.5);
    // A stall of the acquisition thread is caught up by the rate limiter;
    // only an acquisition that could not keep its rate counts against it.
    result.keptUp = result.lateTailMedianMs < _settings.keepUpMs &&
                    result.lineRate >= 0.98 * _settings.lineRate;
    return result;
  }

  const LiveSettings& _settings;
  const std::size_t _total, _perSurface, _surfaceCount;
  std::vector<QUAX::ScanLine> _profiles;
  std::vector<std::unique_ptr<QUAX::ScanSurface>> _surfaces;
  std::unique_ptr<std::atomic<std::size_t>[]> _finished;
  std::vector<Clock::time_point> _appended, _filteredAt;
  std::atomic<std::size_t> _acquired{0}, _filtered{0}, _next{0}, _refused{0};
  std::atomic<long long> _lastLagUs{0};
  std::atomic<std::size_t> _filtersDone{0};
  std::atomic<bool> _stalled{false};
  double _worstLateMs = 0.0;  // written by the acquisition thread only
  std::exception_ptr _acquisitionError;
  const QUAX::ScanAverageFilter _average;
  const QUAX::ScanChordalDeviationFilter _chordal;
  std::promise<Clock::time_point> _started;
};

}  // namespace

LiveResult runLivePipeline(
    const LiveSettings& settings,
    const std::function<void(const LiveProgress&)>& progress) {
  checkSettings(settings);
  PipelineRun run(settings);
  return run.run(progress);
}

}  // namespace quaxscan
