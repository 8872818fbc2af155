// SPDX-License-Identifier: MIT
// The view page written for simulated scans (a blade-like part in two
// overlapping sweeps, with noise, the part's hole, dropouts and gray sums),
// from 100,000 to 3,000,000 points, coloured by height, surface, gray sum
// and overlap; deviation (which runs a filter over every line) at 1M. The
// page goes to a stream that only counts its bytes. Counters: points per
// second, the page's megabytes, and bytes per point.
//
// BM_ViewPage/<points in thousands>/<colour> and BM_ViewPageThinned: 3M
// points thinned to the default limit and to 1M.
#include <benchmark/benchmark.h>

#include <memory>
#include <ostream>
#include <streambuf>

#include "acquire/SimulatedScanner.h"
#include "view/ScanView.h"

namespace {

// Counts what is written, keeps nothing.
class CountingBuffer : public std::streambuf {
 public:
  std::size_t count = 0;

 protected:
  std::streamsize xsputn(const char*, std::streamsize n) override {
    count += std::size_t(n);
    return n;
  }
  int_type overflow(int_type c) override {
    ++count;
    return c;
  }
};

// About `thousands` thousand points: two sweeps of lines of 2,000 points.
std::unique_ptr<QUAX::ScanSet> scan(std::int64_t thousands) {
  QUAX::SimulationSettings settings;
  settings.scanner.pointsPerLine = 2000;
  settings.scanner.lineWidth = 80.0;
  settings.scanner.frameSpacing = 0.05;
  settings.scanner.graysum = true;
  // Dropouts and the hole leave about 1,850 points of a line.
  settings.framesPerSurface = std::size_t(thousands * 1000 / 3700 + 1);
  return QUAX::simulateScanSet(settings);
}

void run(benchmark::State& state, const QUAX::ScanSet& set,
         const QUAX::ViewOptions& options) {
  QUAX::ViewReport report;
  std::size_t bytes = 0;
  for (auto _ : state) {
    CountingBuffer buffer;
    std::ostream out(&buffer);
    report = QUAX::writeScanView(set, options, out);
    bytes = buffer.count;
  }
  state.counters["points_per_s"] = benchmark::Counter(
      double(report.points), benchmark::Counter::kIsIterationInvariantRate);
  state.counters["points"] = double(report.points);
  state.counters["shown"] = double(report.shown);
  state.counters["page_MB"] = double(bytes) / 1e6;
  state.counters["bytes_per_point"] = double(bytes) / double(report.shown);
}

void BM_ViewPage(benchmark::State& state) {
  static const auto kColours = {QUAX::ViewColour::kHeight,
                                QUAX::ViewColour::kSurface,
                                QUAX::ViewColour::kGray,
                                QUAX::ViewColour::kOverlap,
                                QUAX::ViewColour::kDeviation};
  const auto set = scan(state.range(0));
  QUAX::ViewOptions options;
  options.colour = kColours.begin()[state.range(1)];
  state.SetLabel(QUAX::viewColourName(options.colour));
  run(state, *set, options);
}
BENCHMARK(BM_ViewPage)
    ->ArgsProduct({{100, 1000, 3000}, {0, 1, 2, 3}})
    ->Args({1000, 4})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

void BM_ViewPageThinned(benchmark::State& state) {
  const auto set = scan(3000);
  QUAX::ViewOptions options;
  options.maxPoints = std::uint32_t(state.range(0));
  run(state, *set, options);
}
BENCHMARK(BM_ViewPageThinned)
    ->Arg(1000000)
    ->Arg(QUAX::ViewOptions::kDefaultMaxPoints)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

}  // namespace
