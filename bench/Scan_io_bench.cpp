// SPDX-License-Identifier: MIT
// Scan files: reading, writing and converting (frame by frame) binary PLY,
// ASCII PLY and text, in points and bytes per second, with the peak of the
// heap during one run ("peak MB", everything the process allocated, the
// set's points included). Scans of 60 k and 600 k points, as a line scanner
// gives them: profiles of varying length over a part with a step, dropouts,
// gaps between sweeps, with no items, gray sums, or gray sums and pixels.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <random>
#include <string>

#include "bench/HeapCounter.h"
#include "scan/io/ScanFile.h"
#include "scan/io/ScanFileFilter.h"
#include "scan/model/ScanPointItems.h"
#include "scan/model/ScanPointPool.h"
#include "scan/model/ScanSet.h"
#include "scan/model/ScanSurface.h"

using heap_counter::resetPeak;

namespace {

namespace fs = std::filesystem;
using namespace QUAX;

// Gray sums given one by one with addItem (a heap block per list and per
// item, scattered over the heap) rather than as the readers and the
// scanner sources give them (a line's lists in one block, items inside).
enum Items { kNone, kGraysum, kGraysumPixels, kGraysumOneByOne };

// `points` points in sweeps of 300 frames of up to 1000 points (each line
// a profile of its own length, with dropouts), as a line scanner gives them.
std::unique_ptr<ScanSet> scan(std::size_t points, Items items) {
  std::mt19937 random(7);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  auto set = std::make_unique<ScanSet>();
  std::size_t made = 0;
  for (std::size_t s = 0; made < points; ++s) {
    auto surface = std::make_unique<ScanSurface>();
    for (std::size_t f = 0; f < 300 && made < points; ++f) {
      auto line = std::make_unique<ScanLine>();
      const std::size_t wanted =
          std::min(points - made, std::size_t(600 + 400 * unit(random)));
      const bool dropout = unit(random) < 0.1;
      const double y = double(s) * 100.0 + double(f) * 0.5;
      line->getPoints().reserveBlock(wanted);
      if (items == kGraysum || items == kGraysumPixels) {
        ScanPoint::createExtensionLists(line->getPoints().data(), wanted);
      }
      for (std::size_t i = 0; i < wanted; ++i) {
        const double x = -40.0 + 80.0 * double(i) / double(wanted);
        const double z = (x > 5.0 ? 3.0 : 0.0) + 0.2 * std::sin(x + y) +
                         0.02 * unit(random) + (dropout && i > wanted / 2 ? 9 : 0);
        ScanPoint* p = line->getPoint(i);
        p->setPosition(x, y, z);
        if (items == kNone) continue;
        const auto gray = std::uint32_t(1000 + 4000 * unit(random));
        if (items == kGraysumOneByOne) {
          p->createExtensionList();
          auto* g = new ScanPointGraysumData();
          g->setGraysum(gray);
          p->addItem(g);
          continue;
        }
        p->emplaceItem<ScanPointGraysumData>()->setGraysum(gray);
        if (items != kGraysumPixels) continue;
        auto* tp = p->emplaceItem<ScanPointTPData>();
        tp->setLowPixel(std::uint32_t(i));
        tp->setHighPixel(std::uint32_t(i + 3));
      }
      made += wanted;
      surface->appendFrame(std::make_unique<ScanFrame>(std::move(line)));
    }
    surface->setComplete();
    set->addSurface(std::move(surface));
  }
  return set;
}

fs::path fileOf(std::size_t points, Items items, ScanFileFormat format) {
  const fs::path path =
      fs::temp_directory_path() /
      ("quax-io-bench-" + std::to_string(points) + "-" +
       std::to_string(int(items)) + "-" + std::to_string(int(format)) +
       (format == ScanFileFormat::kText ? ".txt" : ".ply"));
  if (!fs::exists(path)) writeScanSetFile(*scan(points, items), format, path);
  return path;
}

void count(benchmark::State& state, std::size_t points, std::size_t bytes,
           long long heapBefore) {
  state.counters["points/s"] = benchmark::Counter(
      double(points), benchmark::Counter::kIsIterationInvariantRate);
  state.counters["bytes/s"] = benchmark::Counter(
      double(bytes), benchmark::Counter::kIsIterationInvariantRate);
  state.counters["peak MB"] =
      double(heap_counter::peak.load() - heapBefore) / 1e6;
}

void BM_Read(benchmark::State& state) {
  const auto points = std::size_t(state.range(0));
  const auto items = Items(state.range(1));
  const auto format = ScanFileFormat(state.range(2));
  const fs::path path = fileOf(points, items, format);
  // Chunks kept from an earlier read would count as held before: the peak
  // then leaves out the points' memory.
  QUAX::ScanPointPool::releaseKept();
  const long long before = heap_counter::now.load();
  resetPeak();
  // Freeing the set is timed apart: "points/s" is the read alone; "with
  // free" the read and the freeing of what it built (wall clock, both), as
  // a host that reads one set after another pays.
  using Clock = std::chrono::steady_clock;
  Clock::duration reading{}, freeing{};
  for (auto _ : state) {
    const auto start = Clock::now();
    auto set = readScanSetFile(path);
    benchmark::DoNotOptimize(set.get());
    state.PauseTiming();
    const auto read = Clock::now();
    set.reset();
    freeing += Clock::now() - read;
    reading += read - start;
    state.ResumeTiming();
  }
  count(state, points, std::size_t(fs::file_size(path)), before);
  const double seconds =
      std::chrono::duration<double>(reading + freeing).count();
  state.counters["with free"] =
      double(points) * double(state.iterations()) / seconds;
}

void BM_Write(benchmark::State& state) {
  const auto points = std::size_t(state.range(0));
  const auto items = Items(state.range(1));
  const auto format = ScanFileFormat(state.range(2));
  const auto set = scan(points, items);
  const fs::path path = fs::temp_directory_path() / "quax-io-bench-out.ply";
  const long long before = heap_counter::now.load();
  resetPeak();
  for (auto _ : state) writeScanSetFile(*set, format, path);
  count(state, points, std::size_t(fs::file_size(path)), before);
  fs::remove(path);
}

// Read (in one pass) and write frame by frame, as quaxscan convert does.
void BM_Convert(benchmark::State& state) {
  const auto points = std::size_t(state.range(0));
  const auto items = Items(state.range(1));
  const fs::path in = fileOf(points, items, ScanFileFormat::kPlyBinary);
  const fs::path out = fs::temp_directory_path() / "quax-io-bench-conv.ply";
  const long long before = heap_counter::now.load();
  resetPeak();
  for (auto _ : state) {
    filterScanFile(in, out, ScanFileFormat::kPlyBinary, {}, 1);
  }
  count(state, points, std::size_t(fs::file_size(in)), before);
  fs::remove(out);
}

void sizes(benchmark::internal::Benchmark* b, bool allFormats,
           bool oneByOne = false) {
  for (long long points : {60000, 600000}) {
    for (long long items : {kNone, kGraysum, kGraysumPixels}) {
      b->Args({points, items, int(ScanFileFormat::kPlyBinary)});
    }
    if (oneByOne) {
      b->Args({points, kGraysumOneByOne, int(ScanFileFormat::kPlyBinary)});
    }
    if (!allFormats) continue;
    b->Args({points, kGraysum, int(ScanFileFormat::kPlyAscii)});
    b->Args({points, kNone, int(ScanFileFormat::kText)});
  }
  b->ArgNames({"points", "items", "format"})->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_Read)->Apply([](auto* b) { sizes(b, true); });
BENCHMARK(BM_Write)->Apply([](auto* b) { sizes(b, true, true); });
BENCHMARK(BM_Convert)->Apply([](auto* b) { sizes(b, false); });

}  // namespace
