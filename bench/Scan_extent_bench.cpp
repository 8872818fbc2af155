// SPDX-License-Identifier: MIT
// Surface extents over complete surfaces of growing frame count. The cost
// per frame is one frame fetch under the surface's read guard, three point
// reads and one node, so the time should grow linearly with the frames.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <memory>

#include "geomath/GeoPoint.h"
#include "scan/extent/SurfaceExtent.h"
#include "scan/model/ScanFrame.h"
#include "scan/model/ScanLine.h"
#include "scan/model/ScanSurface.h"

namespace {

using QUAX::_GeoPoint;

// The extent reads only the middle, first and last point of a line, so the
// points per frame do not change its cost; 20 keep the largest surface small.
constexpr std::size_t kPointsPerFrame = 20;

// A gently winding surface: frame i's line runs across y at x = i, its
// middle wanders in z so that distances and differentials are not all 0.
std::unique_ptr<QUAX::_ScanSurface<double>> makeSurface(std::size_t frames) {
  auto surface = std::make_unique<QUAX::_ScanSurface<double>>();
  for (std::size_t i = 0; i < frames; ++i) {
    auto line = std::make_unique<QUAX::_ScanLine<double>>();
    const double x = static_cast<double>(i);
    const double z = 0.01 * static_cast<double>(i % 97);
    for (std::size_t j = 0; j < kPointsPerFrame; ++j) {
      line->appendPoint(_GeoPoint<double>(x, static_cast<double>(j), z));
    }
    surface->appendFrame(
        std::make_unique<QUAX::_ScanFrame<double>>(std::move(line)));
  }
  surface->setComplete();
  return surface;
}

void BM_CalculateExtents(benchmark::State& state) {
  const auto frames = static_cast<std::size_t>(state.range(0));
  const auto surface = makeSurface(frames);
  for (auto _ : state) {
    QUAX::SurfaceExtent extent;
    extent.calculateExtents(surface.get());
    benchmark::DoNotOptimize(extent);
  }
  state.SetComplexityN(state.range(0));
  state.SetItemsProcessed(state.iterations() *
                          static_cast<std::int64_t>(frames));
  state.counters["frames"] = static_cast<double>(frames);
}
// The walk alone, for comparison: the fresh frame count and the frame fetch
// that calculateExtents makes for every frame, each under the read guard.
void BM_FrameWalk(benchmark::State& state) {
  const auto frames = static_cast<std::size_t>(state.range(0));
  const auto surface = makeSurface(frames);
  for (auto _ : state) {
    std::size_t points = 0;
    for (std::size_t i = 0; i < surface->getFrameCount(); ++i) {
      points += surface->getFrame(i)->getScanLine()->getPointCount();
    }
    benchmark::DoNotOptimize(points);
  }
  state.SetComplexityN(state.range(0));
  state.SetItemsProcessed(state.iterations() *
                          static_cast<std::int64_t>(frames));
}
BENCHMARK(BM_FrameWalk)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMicrosecond)
    ->Complexity(benchmark::oN);

BENCHMARK(BM_CalculateExtents)
    ->Arg(1000)
    ->Arg(3000)
    ->Arg(10000)
    ->Arg(30000)
    ->Arg(100000)
    ->Unit(benchmark::kMicrosecond)
    ->Complexity(benchmark::oN);

}  // namespace
