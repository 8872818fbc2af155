// SPDX-License-Identifier: MIT
// The live pipeline: an acquisition thread appends lines of 2,000 points at a
// set line rate while filter threads (one per core) take each frame as it
// arrives and run the average and chordal deviation filters on it.
//
// BM_LivePipeline/rate runs 2 s at one line rate; BM_LiveHighestRate steps
// the rate up by 1,000 lines/s from 2,000 until the pipeline falls behind
// (the median lag of the last tenth of the frames reaches 50 ms, or the
// acquisition falls below 98% of the rate) and reports the highest rate it kept
// up with. Counters: lines per second achieved, the lag from append to filtered
// (median, 99th percentile, max) in milliseconds, and kept_up (1 or 0);
// BM_LivePipeline also the CPU time per line and the rate all cores could
// carry at that cost.
#include <benchmark/benchmark.h>

#include <ctime>
#include <thread>

#include "apps/quaxscan/LivePipeline.h"

namespace {

void setCounters(benchmark::State& state, const quaxscan::LiveResult& r) {
  state.counters["lines_per_s"] = r.lineRate;
  state.counters["lag_median_ms"] = r.lagMedianMs;
  state.counters["lag_p99_ms"] = r.lagP99Ms;
  state.counters["lag_max_ms"] = r.lagMaxMs;
  state.counters["kept_up"] = r.keptUp ? 1.0 : 0.0;
}

void BM_LivePipeline(benchmark::State& state) {
  quaxscan::LiveSettings settings;
  settings.lineRate = static_cast<double>(state.range(0));
  quaxscan::LiveResult result;
  double cpuSeconds = 0.0;
  for (auto _ : state) {
    const std::clock_t start = std::clock();  // CPU time of all threads
    result = quaxscan::runLivePipeline(settings);
    cpuSeconds = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
  }
  setCounters(state, result);
  // The CPU time one line costs (acquisition, filters, waiting and locks),
  // and the line rate all cores could carry at that cost: a figure that
  // holds even while other work shares the machine.
  const double perLine = cpuSeconds / static_cast<double>(result.frames);
  state.counters["cpu_us_per_line"] = 1e6 * perLine;
  state.counters["capacity_lines_per_s"] =
      perLine > 0.0 ? std::thread::hardware_concurrency() / perLine : 0.0;
}
BENCHMARK(BM_LivePipeline)
    ->ArgName("rate")
    ->Arg(5000)
    ->Arg(10000)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);

void BM_LiveHighestRate(benchmark::State& state) {
  quaxscan::LiveResult best;
  double bestRate = 0.0;
  for (auto _ : state) {
    for (double rate = 2000.0; rate <= 40000.0; rate += 1000.0) {
      quaxscan::LiveSettings settings;
      settings.lineRate = rate;
      const quaxscan::LiveResult result = quaxscan::runLivePipeline(settings);
      if (!result.keptUp) break;
      best = result;
      bestRate = rate;
    }
  }
  setCounters(state, best);
  state.counters["highest_rate"] = bestRate;
}
BENCHMARK(BM_LiveHighestRate)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);

}  // namespace
