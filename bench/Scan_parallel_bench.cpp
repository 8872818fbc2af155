// SPDX-License-Identifier: MIT
// The parallel filter walk over a set of 2 surfaces of 200 frames of 2,000
// points, on 1 and 2 threads: points and lines per second (wall time), so
// that the ratio of the two shows the scaling.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "scan/filters/ParallelFilter.h"
#include "scan/filters/ScanAverageFilter.h"
#include "scan/filters/ScanChordalDeviationFilter.h"
#include "scan/filters/ScanNPointFilter.h"
#include "scan/model/ScanFrame.h"
#include "scan/model/ScanLine.h"
#include "scan/model/ScanSet.h"
#include "scan/model/ScanSurface.h"

namespace {

using QUAX::ScanLine;
using Point = QUAX::_GeoPoint<double>;

constexpr std::size_t kSurfaces = 2;
constexpr std::size_t kFrames = 200;
constexpr std::size_t kPoints = 2000;

// A profile 200 units wide: a smooth surface with a step and noise of 0.02.
ScanLine profile(std::uint32_t seed) {
  std::mt19937 random(seed);
  std::normal_distribution<double> noise(0.0, 0.02);
  ScanLine line;
  const double spacing = 200.0 / static_cast<double>(kPoints);
  for (std::size_t i = 0; i < kPoints; ++i) {
    const double x = spacing * static_cast<double>(i);
    const double z = 10.0 * std::sin(x / 15.0) + (x > 120.0 ? 2.0 : 0.0);
    line.appendPoint(Point(x + noise(random), 0.0, z + noise(random)));
  }
  return line;
}

std::unique_ptr<QUAX::ScanSet> makeSet(const std::vector<ScanLine>& lines) {
  auto set = std::make_unique<QUAX::ScanSet>();
  for (std::size_t s = 0; s < kSurfaces; ++s) {
    auto surface = std::make_unique<QUAX::ScanSurface>();
    for (std::size_t f = 0; f < kFrames; ++f) {
      surface->appendFrame(std::make_unique<QUAX::ScanFrame>(
          std::make_unique<ScanLine>(lines[f % lines.size()])));
    }
    surface->setComplete();
    set->addSurface(std::move(surface));
  }
  return set;
}

// Each iteration filters a fresh copy of the set (made outside the timing).
void runWalk(benchmark::State& state, const QUAX::ScanLineFilter& filter) {
  std::vector<ScanLine> lines;
  for (std::uint32_t i = 0; i < 16; ++i) lines.push_back(profile(i));
  const auto threads = static_cast<unsigned>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    auto set = makeSet(lines);
    state.ResumeTiming();
    QUAX::applyFilterParallel(filter, *set, threads);
    state.PauseTiming();
    set.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kSurfaces * kFrames * kPoints);
  state.counters["lines/s"] = benchmark::Counter(
      static_cast<double>(state.iterations() * kSurfaces * kFrames),
      benchmark::Counter::kIsRate);
}

void BM_ParallelAverage(benchmark::State& state) {
  runWalk(state, QUAX::ScanAverageFilter(5, 500.0));
}
BENCHMARK(BM_ParallelAverage)
    ->ArgName("threads")
    ->Arg(1)
    ->Arg(2)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

void BM_ParallelChordalDeviation(benchmark::State& state) {
  runWalk(state, QUAX::ScanChordalDeviationFilter(0.05, 2000.0, kPoints));
}
BENCHMARK(BM_ParallelChordalDeviation)
    ->ArgName("threads")
    ->Arg(1)
    ->Arg(2)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// The N-point filter's search for the limit that keeps 200 points: each line
// takes dozens of thinning runs, so this is the filter that most needs the
// second core.
void BM_ParallelNPointSearch(benchmark::State& state) {
  runWalk(state, QUAX::ScanNPointFilter(
                     200, QUAX::ScanNPointFilter::CHORDAL_DEVIATION));
}
BENCHMARK(BM_ParallelNPointSearch)
    ->ArgName("threads")
    ->Arg(1)
    ->Arg(2)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
