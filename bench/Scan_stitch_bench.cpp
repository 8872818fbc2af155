// SPDX-License-Identifier: MIT
// Stitching two overlapping sweeps of N points each (adding both surfaces
// and three iterations), with the nearest-point grid and, on the smaller
// sizes, with the pass over every point that the grid replaces.
#include <benchmark/benchmark.h>

#include <cmath>
#include <map>
#include <memory>
#include <utility>

#include "scan/model/ScanFrame.h"
#include "scan/model/ScanLine.h"
#include "scan/model/ScanSurface.h"
#include "scan/stitch/ScanStitchTool.h"

namespace {

using QUAX::ScanStitchTool;
using QUAX::ScanSurface;

constexpr double kSpacing = 0.1;
constexpr double kTolerance = 0.3;

class EveryPointStitchTool : public ScanStitchTool {
 public:
  explicit EveryPointStitchTool(double tolerance) : ScanStitchTool(tolerance) {
    setEveryPointSearch(true);
  }
};

// A wavy part swept in lines of `perLine` points, starting at (x0, y0).
std::unique_ptr<ScanSurface> sweep(int frames, int perLine, double x0,
                                   double y0, double lift) {
  auto surface = std::make_unique<ScanSurface>();
  for (int i = 0; i < frames; ++i) {
    auto line = std::make_unique<QUAX::ScanLine>();
    line->getPoints().reserveBlock(static_cast<std::size_t>(perLine));
    const double y = y0 + i * kSpacing;
    for (int j = 0; j < perLine; ++j) {
      const double x = x0 + j * kSpacing;
      line->getPoint(static_cast<std::size_t>(j))
          ->setPosition(x, y,
                        2.0 * std::sin(x / 10.0) * std::cos(y / 13.0) + lift);
    }
    surface->appendFrame(std::make_unique<QUAX::ScanFrame>(std::move(line)));
  }
  surface->setComplete();
  return surface;
}

struct Pair {
  std::unique_ptr<ScanSurface> first, second;
};

// Two sweeps of about `points` points each, the second shifted by a third
// of the width and lifted by 0.05. Built once per size.
Pair& pairOf(int points) {
  static std::map<int, Pair> pairs;
  auto it = pairs.find(points);
  if (it != pairs.end()) return it->second;
  const int frames = static_cast<int>(std::lround(std::sqrt(points)));
  const int perLine = points / frames;
  const double width = perLine * kSpacing;
  Pair pair{sweep(frames, perLine, 0.0, 0.0, 0.0),
            sweep(frames, perLine, width / 3.0, width / 5.0, 0.05)};
  return pairs.emplace(points, std::move(pair)).first->second;
}

template <class Tool>
void stitchPair(benchmark::State& state) {
  Pair& pair = pairOf(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    Tool tool(kTolerance);
    tool.addSurfacePointer(pair.first.get(), true);
    tool.addSurfacePointer(pair.second.get(), true);
    tool.stitchSurfaces(3, ScanStitchTool::STITCH_TO_REFERENCE);
  }
  state.SetItemsProcessed(state.iterations() * 2 * state.range(0));
  state.counters["points"] = static_cast<double>(2 * state.range(0));
}

void BM_StitchWithGrid(benchmark::State& state) {
  stitchPair<ScanStitchTool>(state);
}
BENCHMARK(BM_StitchWithGrid)
    ->Arg(10000)
    ->Arg(30000)
    ->Arg(100000)
    ->Arg(300000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Every search walks all points of the surface: cost grows with samples
// times points, so it stays on the small sizes.
void BM_StitchWithEveryPointPass(benchmark::State& state) {
  stitchPair<EveryPointStitchTool>(state);
}
BENCHMARK(BM_StitchWithEveryPointPass)
    ->Arg(10000)
    ->Arg(30000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
