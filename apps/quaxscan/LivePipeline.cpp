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

}  // namespace

LiveResult runLivePipeline(
    const LiveSettings& settings,
    const std::function<void(const LiveProgress&)>& progress) {
  if (!(settings.lineRate > 0.0) || !(settings.seconds > 0.0) ||
      settings.pointsPerLine < 3 || settings.framesPerSurface == 0 ||
      !(settings.deviationLimit > 0.0)) {
    throw std::invalid_argument(
        "live pipeline: the line rate, the time, the deviation limit and the "
        "frames per surface must be positive and a line needs 3 points");
  }
  const auto total = static_cast<std::size_t>(
      std::max(1.0, std::round(settings.lineRate * settings.seconds)));
  const std::size_t perSurface = settings.framesPerSurface;
  const std::size_t surfaceCount = (total + perSurface - 1) / perSurface;
  auto framesOf = [&](std::size_t s) {
    return std::min(perSurface, total - s * perSurface);
  };

  // A few profiles of the simulated part, copied into each frame as the
  // camera's lines would be.
  QUAX::ScannerSettings scannerSettings;
  scannerSettings.pointsPerLine = settings.pointsPerLine;
  QUAX::SimulatedScanner scanner(scannerSettings);
  std::vector<QUAX::ScanLine> profiles;
  for (std::size_t i = 0; i < 16; ++i) profiles.push_back(*scanner.profile(i));

  std::vector<std::unique_ptr<QUAX::ScanSurface>> surfaces(surfaceCount);
  for (auto& surface : surfaces) {
    surface = std::make_unique<QUAX::ScanSurface>();
  }
  // Frames filtered per surface, plus one once the filler has completed it:
  // whoever brings it to the end drops the surface.
  std::unique_ptr<std::atomic<std::size_t>[]> finished(
      new std::atomic<std::size_t>[surfaceCount]);
  for (std::size_t s = 0; s < surfaceCount; ++s) finished[s] = 0;
  auto finishOne = [&](std::size_t s) {
    if (finished[s].fetch_add(1) + 1 == framesOf(s) + 1) surfaces[s].reset();
  };

  std::vector<Clock::time_point> appended(total), filteredAt(total);
  std::atomic<std::size_t> acquired{0}, filtered{0}, next{0}, refused{0};
  std::atomic<long long> lastLagUs{0};
  std::atomic<std::size_t> filtersDone{0};
  std::atomic<bool> stalled{false};
  double worstLateMs = 0.0;
  std::exception_ptr acquisitionError;

  const QUAX::ScanAverageFilter average(5, 1.0);
  const QUAX::ScanChordalDeviationFilter chordal(
      settings.deviationLimit, 2000.0, settings.pointsPerLine);

  // The clock starts once the acquisition thread's memory is warm.
  std::promise<Clock::time_point> started;
  std::thread acquisition([&] {
    if (settings.warmUp) warmUp(profiles, 2 * perSurface);
    const Clock::time_point start = Clock::now();
    started.set_value(start);
    std::size_t s = 0;
    try {
      const std::chrono::duration<double> period(1.0 / settings.lineRate);
      for (std::size_t k = 0; k < total; ++k) {
        const Clock::time_point due =
            start + std::chrono::duration_cast<Clock::duration>(
                        period * static_cast<double>(k));
        const Clock::time_point now = Clock::now();
        if (now < due) {
          std::this_thread::sleep_until(due);
        } else {
          worstLateMs = std::max(worstLateMs, msBetween(due, now));
        }
        auto frame = std::make_unique<QUAX::ScanFrame>(
            std::make_unique<QUAX::ScanLine>(profiles[k % profiles.size()]));
        frame->getSyncObject()->setDataState(1);
        s = k / perSurface;
        appended[k] = Clock::now();
        // Counted before the append: a filter thread may take the frame
        // the moment it is in, and filtered must never pass acquired.
        acquired.store(k + 1);
        surfaces[s]->appendFrame(std::move(frame));
        if (k + 1 == total || (k + 1) % perSurface == 0) {
          surfaces[s]->setComplete();
          finishOne(s);
          ++s;
        }
      }
    } catch (...) {
      // Wake the filter threads: the frames that never came are past the
      // end of complete surfaces.
      acquisitionError = std::current_exception();
      for (; s < surfaceCount; ++s) {
        surfaces[s]->setComplete();
        finishOne(s);
      }
    }
  });

  auto filterFrames = [&] {
    for (std::size_t k = next.fetch_add(1); k < total; k = next.fetch_add(1)) {
      const std::size_t s = k / perSurface;
      QUAX::ScanLine* line = nullptr;
      try {
        // The waiting getFrame that catches every append at once: a frame
        // appended just before the wait costs no poll interval of lag.
        line = surfaces[s]->getFrame(k % perSurface, kFrameWait)->getScanLine();
      } catch (const QUAX::EScanSurfaceRangeException&) {
        return;  // the acquisition failed
      } catch (const QUAX::EScanSurfaceWaitTimeout&) {
        stalled = true;  // the acquisition hangs
        return;
      }
      try {
        QUAX::filterScanLine(average, line);
        QUAX::filterScanLine(chordal, line);
      } catch (const QUAX::EScanException&) {
        refused.fetch_add(1);
      }
      filteredAt[k] = Clock::now();
      lastLagUs.store(std::chrono::duration_cast<std::chrono::microseconds>(
                          filteredAt[k] - appended[k])
                          .count());
      filtered.fetch_add(1);
      finishOne(s);
    }
  };
  auto filterThread = [&] {
    filterFrames();
    filtersDone.fetch_add(1);
  };
  const Clock::time_point start = started.get_future().get();
  unsigned threadCount = settings.filterThreads;
  if (threadCount == 0)
    threadCount = std::max(1u, std::thread::hardware_concurrency());
  std::vector<std::thread> filters;
  for (unsigned t = 0; t < threadCount; ++t) filters.emplace_back(filterThread);

  auto report = [&] {
    if (!progress) return;
    LiveProgress p;
    p.filtered = filtered.load();  // first: acquired only grows after it
    p.acquired = acquired.load();
    p.total = total;
    p.seconds = msBetween(start, Clock::now()) / 1000.0;
    p.lastLagMs = static_cast<double>(lastLagUs.load()) / 1000.0;
    progress(p);
  };
  while (filtersDone.load() < filters.size()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    report();
  }
  acquisition.join();
  for (std::thread& t : filters) t.join();
  report();
  if (acquisitionError) std::rethrow_exception(acquisitionError);
  if (stalled) {
    throw std::runtime_error(
        "live pipeline: the acquisition delivered no frame for a minute");
  }

  LiveResult result;
  result.frames = total;
  result.refusedLines = refused.load();
  result.acquisitionLateMs = worstLateMs;
  const double spanMs = msBetween(appended.front(), appended.back());
  result.lineRate = spanMs > 0.0
                        ? 1000.0 * static_cast<double>(total - 1) / spanMs
                        : settings.lineRate;
  std::vector<double> lags(total);
  for (std::size_t k = 0; k < total; ++k) {
    lags[k] = msBetween(appended[k], filteredAt[k]);
  }
  std::vector<double> tail(
      lags.end() -
          static_cast<std::ptrdiff_t>(std::max<std::size_t>(1, total / 10)),
      lags.end());
  std::sort(tail.begin(), tail.end());
  std::sort(lags.begin(), lags.end());
  result.lagMedianMs = quantile(lags, 0.5);
  result.lagP99Ms = quantile(lags, 0.99);
  result.lagMaxMs = lags.back();
  result.lateTailMedianMs = quantile(tail, 0.5);
  // A stall of the acquisition thread is caught up by the rate limiter;
  // only an acquisition that could not keep its rate counts against it.
  result.keptUp = result.lateTailMedianMs < settings.keepUpMs &&
                  result.lineRate >= 0.98 * settings.lineRate;
  return result;
}

}  // namespace quaxscan
