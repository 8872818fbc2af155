// SPDX-License-Identifier: MIT
// A live pipeline: a simulated acquisition thread appends lines of 2,000
// points at a set line rate while filter threads smooth and thin each line
// as it arrives. A progress line shows frames acquired and filtered, the
// line rate and the lag from append to filtered.
//
//   quax_live_filter [lines per second = 10000] [seconds = 3] [filter threads =
//   0: all cores]
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "apps/quaxscan/LivePipeline.h"

int main(int argc, char** argv) {
  quaxscan::LiveSettings settings;
  if (argc > 1) settings.lineRate = std::atof(argv[1]);
  if (argc > 2) settings.seconds = std::atof(argv[2]);
  if (argc > 3)
    settings.filterThreads = static_cast<unsigned>(std::atoi(argv[3]));
  std::printf("live pipeline: %.0f lines/s of %zu points for %.1f s\n",
              settings.lineRate, settings.pointsPerLine, settings.seconds);
  try {
    const quaxscan::LiveResult result = quaxscan::runLivePipeline(
        settings, [](const quaxscan::LiveProgress& p) {
          const double rate = p.seconds > 0.0
                                  ? static_cast<double>(p.acquired) / p.seconds
                                  : 0.0;
          std::fprintf(stderr,
                       "\racquired %zu/%zu  filtered %zu  %.0f lines/s  "
                       "lag %.1f ms   ",
                       p.acquired, p.total, p.filtered, rate, p.lastLagMs);
          std::fflush(stderr);
        });
    std::fprintf(stderr, "\n");
    std::printf(
        "%zu frames at %.0f lines/s: lag median %.2f ms, 99th percentile "
        "%.2f ms, max %.2f ms, median of the last tenth %.2f ms; "
        "acquisition up to %.1f ms late; %s\n",
        result.frames, result.lineRate, result.lagMedianMs, result.lagP99Ms,
        result.lagMaxMs, result.lateTailMedianMs, result.acquisitionLateMs,
        result.keptUp ? "kept up" : "fell behind (lag grew)");
    return result.keptUp ? 0 : 2;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "\nquax_live_filter: %s\n", e.what());
    return 1;
  }
}
