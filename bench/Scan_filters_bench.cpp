// SPDX-License-Identifier: MIT
// Scan line filters on laser profiles of 2,000 and 8,000 points: points per
// second, allocations per filtered line once the buffers are warm, and the
// speed against the plain step-by-step algorithms of the tests'
// ReferenceFilters.h (the "x plain" counter; the BM_..._Plain benchmarks run
// those alone).
#include <benchmark/benchmark.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "scan/ScanErrors.h"
#include "scan/filters/FilterAccess.h"
#include "scan/filters/ScanAverageFilter.h"
#include "scan/filters/ScanChordalDeviationFilter.h"
#include "scan/filters/ScanNPointFilter.h"
#include "scan/model/ScanFrame.h"
#include "scan/model/ScanLine.h"
#include "scan/model/ScanSet.h"
#include "scan/model/ScanSurface.h"
#include "bench/HeapCounter.h"
#include "tests/scan/filters/ReferenceFilters.h"
#include "util/VXException.h"

using heap_counter::allocations;

namespace {

using QUAX::ScanLine;
using Point = QUAX::_GeoPoint<double>;

// A profile 200 units wide: a smooth surface with a step, measurement noise
// of 0.02 and two gaps of 5 units where the laser line was shadowed.
std::vector<Point> profile(std::size_t count, std::uint32_t seed = 42) {
  std::mt19937 random(seed);
  std::normal_distribution<double> noise(0.0, 0.02);
  std::vector<Point> points;
  const double spacing = 190.0 / static_cast<double>(count);
  for (std::size_t i = 0; i < count; ++i) {
    double x = spacing * static_cast<double>(i);
    if (i > count / 3) x += 5.0;
    if (i > 2 * count / 3) x += 5.0;
    const double z = 10.0 * std::sin(x / 15.0) + (x > 120.0 ? 2.0 : 0.0);
    points.emplace_back(x + noise(random), 0.0, z + noise(random));
  }
  return points;
}

// A block-backed line, as the library's readers, cameras and copies give
// lines: restoring it after a cut makes no allocation per point.
ScanLine lineOf(const std::vector<Point>& points) {
  ScanLine line;
  std::size_t next = 0;
  line.getPoints().makeBlock(points.size(),
                             [&points, &next] { return points[next++]; });
  return line;
}

// Gives the line back its original points (the thinning filters cut it).
void restore(ScanLine& line, const std::vector<Point>& points) {
  line.resize(points.size());
  for (std::size_t i = 0; i < points.size(); ++i) {
    line.getPoint(i)->setPosition(points[i]);
  }
}

// A plain algorithm, and a name for what it runs.
struct Plain {
  std::string key;
  std::function<void(const std::vector<Point>&)> run;
  void operator()(const std::vector<Point>& points) const { run(points); }
};

// Seconds of processor time per run of `plain` on `points`, over runs of at
// least a tenth of a second in all; measured once per algorithm and line
// (the benchmark calls its function several times).
double plainSeconds(const Plain& plain, const std::vector<Point>& points) {
  static std::map<std::string, double> measured;
  const std::string key = plain.key + "/" + std::to_string(points.size());
  const auto known = measured.find(key);
  if (known != measured.end()) return known->second;
  long runs = 0;
  const std::clock_t start = std::clock();
  std::clock_t now = start;
  do {
    try {
      plain(points);
    } catch (const QUAX::EVXException&) {
    }
    ++runs;
    now = std::clock();
  } while (now - start < CLOCKS_PER_SEC / 10);
  const double seconds = static_cast<double>(now - start) / CLOCKS_PER_SEC /
                         static_cast<double>(runs);
  measured[key] = seconds;
  return seconds;
}

// Runs `filter` on the line of `state.range(0)` points, restoring it before
// each run, and reports points per second, allocations per line and how many
// times faster than `plain` on the same points it runs.
template <class Filter>
void runFilter(benchmark::State& state, const Filter& filter,
               const Plain& plain) {
  const std::vector<Point> points =
      profile(static_cast<std::size_t>(state.range(0)));
  // A copied line keeps its points in one block, which restoring refills
  // without allocating.
  const ScanLine source = lineOf(points);
  ScanLine line(source);
  try {
    QUAX::ScanLineFilterAccess::filterLine(filter, &line);  // warm the buffers
  } catch (const QUAX::EVXException&) {
  }
  std::size_t kept = 0;
  const long long before = allocations.load();
  const std::clock_t start = std::clock();
  for (auto _ : state) {
    restore(line, points);
    try {
      QUAX::ScanLineFilterAccess::filterLine(filter, &line);
    } catch (const QUAX::EVXException&) {
    }
    kept = line.getPointCount();
    benchmark::DoNotOptimize(line.getPoint(0));
  }
  const double seconds = static_cast<double>(std::clock() - start) /
                         CLOCKS_PER_SEC /
                         static_cast<double>(state.iterations());
  const long long allocated = allocations.load() - before;
  state.counters["x plain"] =
      seconds > 0.0 ? plainSeconds(plain, points) / seconds : 0.0;
  state.SetItemsProcessed(state.iterations() * state.range(0));
  state.counters["lines/s"] = benchmark::Counter(
      static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["allocs/line"] =
      static_cast<double>(allocated) / static_cast<double>(state.iterations());
  state.counters["kept"] = static_cast<double>(kept);
}

// Runs `plain` alone on the points, for points per second.
void runPlain(benchmark::State& state, const Plain& plain) {
  const std::vector<Point> points =
      profile(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    try {
      plain(points);
    } catch (const QUAX::EVXException&) {
    }
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
  state.counters["lines/s"] = benchmark::Counter(
      static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// The plain algorithms, as ReferenceFilters.h writes them.
Plain plainAverage(int n) {
  // The filter's weights: the integer part of 100 exp(-x^2 / 2 sigma^2).
  std::vector<int> weights;
  const double sigma = n / 6.0;
  for (int k = 0; k < n; ++k) {
    const double x = k - n / 2;
    weights.push_back(
        static_cast<int>(std::exp(((x * x) * -0.5) / sigma / sigma) * 100.0));
  }
  return Plain{"average/" + std::to_string(n),
               [n, weights](const std::vector<Point>& points) {
                 benchmark::DoNotOptimize(
                     QUAX::reference::average(points, n, 500.0, weights));
               }};
}

Plain plainChordalDeviation(double limit) {
  return Plain{"chordal/" + std::to_string(limit),
               [limit](const std::vector<Point>& points) {
                 benchmark::DoNotOptimize(
                     QUAX::reference::chordalDeviation(points, limit, 2000.0));
               }};
}

Plain plainNPoint(int algorithm) {
  return Plain{
      "npoint/" + std::to_string(algorithm),
      [algorithm](const std::vector<Point>& points) {
        bool exact = false;
        switch (algorithm) {
          case 0:
            benchmark::DoNotOptimize(QUAX::reference::equalIndex(points, 200));
            break;
          case 1:
            benchmark::DoNotOptimize(
                QUAX::reference::equalArcLength(points, 200, exact));
            break;
          default:
            benchmark::DoNotOptimize(
                QUAX::reference::chordalSearch(points, 200));
            break;
        }
      }};
}

// The cost of restoring the line alone, to be taken off the figures below.
void BM_RestoreLine(benchmark::State& state) {
  const std::vector<Point> points =
      profile(static_cast<std::size_t>(state.range(0)));
  ScanLine line(lineOf(points));
  for (auto _ : state) {
    restore(line, points);
    benchmark::DoNotOptimize(line.getPoint(0));
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_RestoreLine)->Arg(2000)->Arg(8000);

void BM_AverageFilter(benchmark::State& state) {
  runFilter(
      state,
      QUAX::ScanAverageFilter(static_cast<std::int32_t>(state.range(1)), 500.0),
      plainAverage(static_cast<int>(state.range(1))));
}
BENCHMARK(BM_AverageFilter)
    ->ArgNames({"points", "n"})
    ->Args({2000, 5})
    ->Args({8000, 5})
    ->Args({2000, 9})
    ->Args({8000, 9})
    // A window beyond the four-lane pass's (n = 17): two points at a time.
    ->Args({2000, 21});

void BM_ChordalDeviationFilter(benchmark::State& state) {
  const double limit = static_cast<double>(state.range(1)) / 1000.0;
  runFilter(state, QUAX::ScanChordalDeviationFilter(limit, 2000.0, 8000),
            plainChordalDeviation(limit));
}
BENCHMARK(BM_ChordalDeviationFilter)
    ->ArgNames({"points", "limit_um"})
    ->Args({2000, 50})
    ->Args({8000, 50})
    ->Args({2000, 200})
    ->Args({8000, 200});

void BM_NPointFilter(benchmark::State& state) {
  runFilter(
      state,
      QUAX::ScanNPointFilter(
          200, static_cast<QUAX::ScanNPointFilter::ScanNPointFilterAlgorithm>(
                   state.range(1))),
      plainNPoint(static_cast<int>(state.range(1))));
}
BENCHMARK(BM_NPointFilter)
    ->ArgNames({"points", "algorithm"})
    ->Args({2000, 0})
    ->Args({8000, 0})
    ->Args({2000, 1})
    ->Args({8000, 1})
    ->Args({2000, 2})
    ->Args({8000, 2});

// The N-point search on 16 profiles that differ in their noise, filtered in
// turn as a scanner delivers its lines: where one line is filtered again and
// again (BM_NPointFilter), the processor learns its branches, and the line
// costs less than in a stream of different lines.
void BM_NPointFilterVaried(benchmark::State& state) {
  const auto count = static_cast<std::size_t>(state.range(0));
  std::vector<std::vector<Point>> profiles;
  for (std::uint32_t seed = 0; seed < 16; ++seed) {
    profiles.push_back(profile(count, seed));
  }
  const QUAX::ScanNPointFilter filter(
      200, QUAX::ScanNPointFilter::CHORDAL_DEVIATION);
  ScanLine line(lineOf(profiles[0]));
  std::size_t next = 0;
  for (auto _ : state) {
    restore(line, profiles[next]);
    next = (next + 1) % profiles.size();
    try {
      QUAX::ScanLineFilterAccess::filterLine(filter, &line);
    } catch (const QUAX::EVXException&) {
    }
    benchmark::DoNotOptimize(line.getPoint(0));
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
  state.counters["lines/s"] = benchmark::Counter(
      static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_NPointFilterVaried)->ArgNames({"points"})->Arg(2000)->Arg(8000);

// Turns a point 20 degrees about x, then 10 about z: a line of the x-z
// plane into a tilted plane.
Point tilted(double x, double y, double z) {
  const double degree = 3.14159265358979323846 / 180.0;
  const double ax = 20.0 * degree;
  const double az = 10.0 * degree;
  const double y1 = y * std::cos(ax) - z * std::sin(ax);
  const double z1 = y * std::sin(ax) + z * std::cos(ax);
  return Point(x * std::cos(az) - y1 * std::sin(az),
               x * std::sin(az) + y1 * std::cos(az), z1);
}

// Profiles of 2,000 points across 200 units, as a scanner gives them and as
// they are met after a rigid stitch, of four shapes (a wavy surface, a
// groove, a pipe on a plate, a bead), each with a step of 2 to 5 units and
// two shadowed gaps: 16 lines of each kind, filtered in turn, N = 200 (the
// "not exact" counter gives the share of lines that cannot be thinned to
// exactly N and end with that exception). Kind 0: in the x-z plane, noise of
// 0.01 in z; kind 1: noise of 0.01 in both cross coordinates (y and z), so
// off any plane; kind 2: kind 0 turned into a tilted plane (20 degrees about
// x, then 10 about z).
double heightOf(std::uint32_t shape, double x, double scale) {
  switch (shape % 4) {
    case 0:
      return 10.0 * scale * std::sin(x / 15.0);
    case 1:  // a groove of 40 units with sloped walls
      return x > 80.0 && x < 120.0 ? -scale * (20.0 - std::fabs(x - 100.0))
                                   : 0.0;
    case 2: {  // a pipe of radius 30 on a plate
      const double d = x - 100.0;
      return std::fabs(d) < 30.0 ? scale * std::sqrt(900.0 - d * d) : 0.0;
    }
    default:  // a weld bead
      return 4.0 * scale * std::exp(-(x - 90.0) * (x - 90.0) / 60.0);
  }
}

std::vector<Point> profileOfKind(int kind, std::uint32_t seed) {
  std::mt19937 random(seed);
  std::normal_distribution<double> noise(0.0, 0.01);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const double scale = 0.5 + unit(random);
  const double step = 2.0 + 3.0 * unit(random);
  const double stepAt = 40.0 + 120.0 * unit(random);
  std::vector<Point> points;
  for (std::size_t i = 0; i < 2000; ++i) {
    double x = 0.095 * static_cast<double>(i);
    if (i > 2000 / 3) x += 5.0;
    if (i > 2 * 2000 / 3) x += 5.0;
    const double y = kind == 1 ? noise(random) : 0.0;
    const double z =
        heightOf(seed, x, scale) + (x > stepAt ? step : 0.0) + noise(random);
    points.push_back(kind == 2 ? tilted(x, y, z) : Point(x, y, z));
  }
  return points;
}

// Lines like profile()'s (a sine surface, two shadowed gaps) with a step of
// 1 to 4 units at 120 and noise of 0.01, the lines a scanner gives most:
// kind 3 in the x-z plane (noise in z), kind 4 with noise in y and z, kind 5
// kind 3 turned into a tilted plane.
std::vector<Point> scannerProfile(int kind, std::uint32_t seed) {
  std::mt19937 random(seed);
  std::normal_distribution<double> noise(0.0, 0.01);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const double step = 1.0 + 3.0 * unit(random);
  std::vector<Point> points;
  for (std::size_t i = 0; i < 2000; ++i) {
    double x = 0.095 * static_cast<double>(i);
    if (i > 2000 / 3) x += 5.0;
    if (i > 2 * 2000 / 3) x += 5.0;
    const double y = kind == 4 ? noise(random) : 0.0;
    const double z =
        10.0 * std::sin(x / 15.0) + (x > 120.0 ? step : 0.0) + noise(random);
    x += noise(random);
    points.push_back(kind == 5 ? tilted(x, y, z) : Point(x, y, z));
  }
  return points;
}

void BM_NPointFilterLines(benchmark::State& state) {
  std::vector<std::vector<Point>> profiles;
  const int kind = static_cast<int>(state.range(0));
  for (std::uint32_t seed = 0; seed < 16; ++seed) {
    profiles.push_back(kind < 3 ? profileOfKind(kind, seed)
                                : scannerProfile(kind, seed));
  }
  const QUAX::ScanNPointFilter filter(
      200, QUAX::ScanNPointFilter::CHORDAL_DEVIATION);
  ScanLine line(lineOf(profiles[0]));
  std::size_t next = 0;
  std::int64_t notExact = 0;
  for (auto _ : state) {
    restore(line, profiles[next]);
    next = (next + 1) % profiles.size();
    try {
      QUAX::ScanLineFilterAccess::filterLine(filter, &line);
    } catch (const QUAX::EScanNPointFilterPointsNotExact&) {
      ++notExact;
    } catch (const QUAX::EVXException&) {
    }
    benchmark::DoNotOptimize(line.getPoint(0));
  }
  state.SetItemsProcessed(state.iterations() * 2000);
  state.counters["lines/s"] = benchmark::Counter(
      static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["not exact"] = benchmark::Counter(
      static_cast<double>(notExact) / static_cast<double>(state.iterations()),
      benchmark::Counter::kAvgThreads);
}
// One core, and the machine's two: one shared filter, a line per thread.
BENCHMARK(BM_NPointFilterLines)
    ->ArgNames({"kind"})
    ->DenseRange(0, 5)
    ->ThreadRange(1, 2)
    ->UseRealTime();

void BM_AverageFilter_Plain(benchmark::State& state) {
  runPlain(state, plainAverage(static_cast<int>(state.range(1))));
}
BENCHMARK(BM_AverageFilter_Plain)
    ->ArgNames({"points", "n"})
    ->Args({2000, 5})
    ->Args({2000, 9});

void BM_ChordalDeviationFilter_Plain(benchmark::State& state) {
  runPlain(state,
           plainChordalDeviation(static_cast<double>(state.range(1)) / 1000.0));
}
BENCHMARK(BM_ChordalDeviationFilter_Plain)
    ->ArgNames({"points", "limit_um"})
    ->Args({2000, 50})
    ->Args({8000, 200});

void BM_NPointFilter_Plain(benchmark::State& state) {
  runPlain(state, plainNPoint(static_cast<int>(state.range(1))));
}
BENCHMARK(BM_NPointFilter_Plain)
    ->ArgNames({"points", "algorithm"})
    ->Args({2000, 1})
    ->Args({2000, 2});

// applyFilter over a set of one surface with 100 frames of
// `state.range(0)` points: the walk with its read guards, frame fetches and
// the filtering of every line (restored before each run).
template <class Filter>
void runOverSet(benchmark::State& state, const Filter& filter) {
  constexpr std::size_t kFrames = 100;
  const std::vector<Point> points =
      profile(static_cast<std::size_t>(state.range(0)));
  const ScanLine source = lineOf(points);
  QUAX::ScanSet set;
  {
    auto surface = std::make_unique<QUAX::ScanSurface>();
    for (std::size_t f = 0; f < kFrames; ++f) {
      surface->appendFrame(std::make_unique<QUAX::ScanFrame>(
          std::make_unique<ScanLine>(source)));
    }
    surface->setComplete();
    set.addSurface(std::move(surface));
  }
  QUAX::ScanSurface* surface = set.getSurface(0);
  filter.applyFilter(set);  // warm the buffers
  const long long before = allocations.load();
  for (auto _ : state) {
    for (std::size_t f = 0; f < kFrames; ++f) {
      restore(*surface->getFrame(f)->getScanLine(), points);
    }
    filter.applyFilter(set);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0) *
                          static_cast<std::int64_t>(kFrames));
  state.counters["lines/s"] =
      benchmark::Counter(static_cast<double>(state.iterations() * kFrames),
                         benchmark::Counter::kIsRate);
  state.counters["allocs/line"] =
      static_cast<double>(allocations.load() - before) /
      static_cast<double>(state.iterations() * kFrames);
}

void BM_ApplyAverageFilter(benchmark::State& state) {
  runOverSet(state, QUAX::ScanAverageFilter(5, 500.0));
}
BENCHMARK(BM_ApplyAverageFilter)->ArgName("points")->Arg(2000)->Arg(8000);

void BM_ApplyChordalDeviationFilter(benchmark::State& state) {
  runOverSet(state, QUAX::ScanChordalDeviationFilter(0.05, 2000.0, 8000));
}
BENCHMARK(BM_ApplyChordalDeviationFilter)
    ->ArgName("points")
    ->Arg(2000)
    ->Arg(8000);

}  // namespace
